// A canonical text dump of what a settings store answers, line for line the form that
// tests/win32/registry_dump.cpp prints for the live registry, so the two can be compared.
//
//   root PATH                     the root found (or "root none")
//   enum32 INDEX STATUS [NAME]    each listing call with a 32-byte buffer, up to 259
//   set NAME                      each set as listed with a 256-byte buffer
//   open STATUS                   opening it
//   value NAME SIZE STATUS [LENGTH [BYTES]]   the query with a SIZE-byte buffer
//
// STATUS is the Windows error code (0, 2 not found, 234 more data, 259 no more items).
// LENGTH is the data's length when it fitted or the length needed when it did not. Names
// are escaped: bytes outside 0x21..0x7E, "\" and "(" as \xNN; the default value's name
// is "(default)".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "registry/settings_store.h"
#include "tests/dump_names.h"

constexpr unsigned long kDumpSuccess = 0;
constexpr unsigned long kDumpFileNotFound = 2;
constexpr unsigned long kDumpMoreData = 234;
constexpr unsigned long kDumpNoMoreItems = 259;
constexpr size_t kDumpShortNameSize = 32;
constexpr size_t kDumpLongNameSize = 256;
constexpr uint32_t kDumpWholeValueSize = 1 << 21;  // more than any value the store keeps

inline void AppendDumpValue(SettingsStore& store, SettingsKey set, const std::string& name,
                            uint32_t size, std::string* out) {
    std::vector<unsigned char> buffer(kDumpWholeValueSize);
    uint32_t length = 0;
    *out += "value " + EscapeDumpName(name) + " " + std::to_string(size) + " ";
    const QueryStatus status = store.QueryValue(set, name.c_str(), buffer.data(), size, &length);
    if (status == QueryStatus::kFound) {
        *out += std::to_string(kDumpSuccess) + " " + std::to_string(length);
        for (uint32_t i = 0; i < length; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), " %02x", buffer[i]);
            *out += hex;
        }
    } else if (status == QueryStatus::kTooLong) {
        *out += std::to_string(kDumpMoreData) + " " + std::to_string(length);
    } else {
        *out += std::to_string(kDumpFileNotFound);
    }
    *out += "\n";
}

// Dumps the store's root, listing, and the named values of every set, with both sizes.
inline std::string DumpSettingsStore(SettingsStore& store,
                                     const std::vector<std::string>& valueNames) {
    const char* rootPath = nullptr;
    SettingsKey root = nullptr;
    if (!store.FindSettingsRoot(&rootPath, &root)) {
        return "root none\n";
    }
    std::string out = std::string("root ") + rootPath + "\n";
    std::vector<std::string> names;
    for (uint32_t index = 0;; ++index) {
        char shortName[kDumpShortNameSize];
        const EnumStatus status = store.EnumerateSetName(root, index, shortName, sizeof(shortName));
        out += "enum32 " + std::to_string(index) + " ";
        if (status == EnumStatus::kNoMoreItems) {
            out += std::to_string(kDumpNoMoreItems) + "\n";
            break;
        }
        if (status == EnumStatus::kNameTooLong) {
            out += std::to_string(kDumpMoreData) + "\n";
        } else {
            out += std::to_string(kDumpSuccess) + " " + EscapeDumpName(shortName) + "\n";
        }
        char longName[kDumpLongNameSize];
        const EnumStatus longStatus =
            store.EnumerateSetName(root, index, longName, sizeof(longName));
        // A name outside the code page is listed as Windows lists it; whether it opens is for
        // OpenSettingsSet to say.
        if (longStatus == EnumStatus::kName || longStatus == EnumStatus::kNameNotInCodepage) {
            names.push_back(longName);
        }
    }
    for (const std::string& name : names) {
        out += "set " + EscapeDumpName(name) + "\n";
        SettingsKey set = nullptr;
        if (!store.OpenSettingsSet(root, name.c_str(), &set)) {
            out += "open " + std::to_string(kDumpFileNotFound) + "\n";
            continue;
        }
        out += "open " + std::to_string(kDumpSuccess) + "\n";
        for (const std::string& valueName : valueNames) {
            AppendDumpValue(store, set, valueName, kTextValueSize, &out);
            AppendDumpValue(store, set, valueName, kIntValueSize, &out);
        }
        store.CloseSettingsKey(set);
    }
    store.CloseSettingsKey(root);
    return out;
}
