// ASCII case-insensitive comparison of byte and UTF-16 text.
#include "text/ascii_case.h"

namespace {

constexpr char32_t CharacterOf(char c) {
    return static_cast<unsigned char>(c);
}
constexpr char32_t CharacterOf(char16_t c) {
    return c;
}

template <typename CharA>
bool Equals(std::basic_string_view<CharA> a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(CharacterOf(a[i])) != AsciiLower(CharacterOf(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return Equals(a, b);
}

bool EqualsAsciiNoCase(std::u16string_view a, std::string_view b) {
    return Equals(a, b);
}
