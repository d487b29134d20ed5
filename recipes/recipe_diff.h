// The unified diff of a recipe's text, in the form GNU patch and git apply read back.
#pragma once

#include <string>

constexpr int kDiffContextLines = 3;

// Returns the unified diff that turns before into after, the bytes of the recipe file named
// fileName (the name in its directory, as the file system spells it): "--- a/NAME" and
// "+++ b/NAME" (before null, for a file that does not exist yet: "--- /dev/null"), then hunks
// with kDiffContextLines lines of context. A line is the bytes up to and including an LF, as
// patch reads them, so CR LF, LF and a lone CR stay the line's own bytes; a last line without
// an LF is followed by "\ No newline at end of file". A name holding a blank, a quote, a
// backslash, a control or a non-ASCII byte is quoted in C style, as diffutils and git quote
// it. Returns "" when there is no difference.
std::string RecipeDiff(const std::string& fileName, const std::string* before,
                       const std::string& after);
