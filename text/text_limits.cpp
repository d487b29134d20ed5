// The bounded copy for fixed-size text storage.
#include "text/text_limits.h"

bool CopyBounded(char* destination, size_t size, const char* source) {
    if (size == 0) {
        return false;
    }
    size_t i = 0;
    for (; i + 1 < size && source[i] != '\0'; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
    return source[i] == '\0';
}
