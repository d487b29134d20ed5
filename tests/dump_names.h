// How the settings dumps write value and set names: printable ASCII as it is, every other byte
// and the characters \ and ( as \xNN, the default value as "(default)". Shared by the native
// dump and the Windows probe, which is built without the core.
#pragma once

#include <cstdio>
#include <string>

inline std::string EscapeDumpName(const std::string& bytes) {
    if (bytes.empty()) {
        return "(default)";
    }
    std::string text;
    for (unsigned char c : bytes) {
        if (c > 0x20 && c < 0x7F && c != '\\' && c != '(') {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

// The bytes of an escaped name. Returns false when text is not in escaped form.
inline bool UnescapeDumpName(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text == "(default)") {
        return true;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes->push_back(text[i]);
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') {
            return false;
        }
        bytes->push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
        i += 3;
    }
    return true;
}
