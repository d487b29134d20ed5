// Marvin32, the keyed hash with which Windows checks the entries of a hive's transaction logs.
#pragma once

#include <cstddef>
#include <cstdint>

// The Marvin32 hash of the size bytes at data under seed (its low half is the algorithm's first
// state word, its high half the second). Returns the two state words as one number, the second
// in the upper half, which is how a log entry stores it (little-endian).
uint64_t Marvin32(const unsigned char* data, size_t size, uint64_t seed);
