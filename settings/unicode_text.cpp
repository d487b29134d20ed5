// UTF-16 little-endian packing and UTF-8 decoding.
#include "settings/unicode_text.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

void AppendUtf16Le(std::u16string_view text, std::string* bytes) {
    char pair[2];
    for (char16_t unit : text) {
        StoreUtf16Le(unit, pair);
        bytes->append(pair, sizeof pair);
    }
}

void AppendUtf16FromLe(std::string_view bytes, std::u16string* text) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text->push_back(LoadUtf16Le(bytes.data() + i));
    }
}

void AppendUtf8Decoded(std::string_view bytes, std::u16string* text) {
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            text->push_back(kReplacement);
            ++i;
            continue;
        }
        size_t used = 1;
        for (; used <= extra && i + used < bytes.size(); ++used) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + used]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (used != extra + 1 || code < kMinimum[extra] || code > 0x10FFFF ||
            (code >= 0xD800 && code < 0xE000)) {
            text->push_back(kReplacement);
            i += used;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text->push_back(static_cast<char16_t>(code));
        }
        i += used;
    }
}
