// The system's own words for a Windows error code, for messages to the user.
#pragma once

#include <string>

// "error N: the system's message for N", without the message's trailing line break and stop.
std::string DescribeSystemError(unsigned long code);
