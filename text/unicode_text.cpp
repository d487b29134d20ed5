// UTF-16 little-endian packing and UTF-8 decoding.
#include "text/unicode_text.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

void AppendUtf16Le(std::u16string_view text, std::string* bytes) {
    if (HostIsLittleEndian()) {
        bytes->append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
        return;
    }
    const size_t kept = bytes->size();
    bytes->resize(kept + text.size() * sizeof(char16_t));
    char* out = &(*bytes)[kept];
    for (size_t i = 0; i < text.size(); ++i) {
        StoreUtf16Le(text[i], out + i * sizeof(char16_t));
    }
}

void AppendUtf16FromLe(std::string_view bytes, std::u16string* text) {
    const size_t units = bytes.size() / sizeof(char16_t);
    const size_t kept = text->size();
    text->resize(kept + units);
    char16_t* out = &(*text)[kept];
    if (HostIsLittleEndian()) {
        std::memcpy(out, bytes.data(), units * sizeof(char16_t));
        return;
    }
    for (size_t i = 0; i < units; ++i) {
        out[i] = LoadUtf16Le(bytes.data() + i * sizeof(char16_t));
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
