// The settings store on the live Windows registry (advapi32).
#include "registry/registry_store_win32.h"

#include <windows.h>

namespace {

// A 64-bit process must ask for the 32-bit view explicitly; a 32-bit process gets it anyway
// (and XP, which has no views, would not know the flag).
#ifdef _WIN64
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kRegistryView = 0;
#endif

HKEY ToHkey(SettingsKey key) {
    return reinterpret_cast<HKEY>(key);
}
SettingsKey FromHkey(HKEY key) {
    return reinterpret_cast<SettingsKey>(key);
}

// Returns true and sets *key when RegOpenKeyExA opens subKey of parent with access.
bool OpenKey(HKEY parent, const char* subKey, REGSAM access, SettingsKey* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, subKey, 0, access | kRegistryView, &opened) != ERROR_SUCCESS) {
        return false;
    }
    *key = FromHkey(opened);
    return true;
}

// Returns true unless name, read back through the system's code page, differs from the name
// RegEnumKeyW gives for index: then RegEnumKeyA made it up of look-alike letters or '?'.
bool ListedAsItIs(HKEY root, DWORD index, const char* name) {
    WCHAR own[kMaxRegistryKeyChars + 1];
    if (RegEnumKeyW(root, index, own, kMaxRegistryKeyChars + 1) != ERROR_SUCCESS) {
        return true;  // nothing to tell it by; opening it will say whether it is the set
    }
    WCHAR back[kMaxRegistryKeyChars + 1];
    const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, back, kMaxRegistryKeyChars + 1);
    return length > 0 && lstrcmpW(own, back) == 0;
}

}  // namespace

bool RegistrySettingsStore::FindSettingsRoot(const char** rootPath, SettingsKey* root) {
    for (const char* candidate : kSettingsRootPaths) {
        if (OpenKey(HKEY_LOCAL_MACHINE, candidate, KEY_ENUMERATE_SUB_KEYS, root)) {
            *rootPath = candidate;
            return true;
        }
    }
    return false;
}

EnumStatus RegistrySettingsStore::EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                                   size_t nameSize) {
    const DWORD size = nameSize > MAXDWORD ? MAXDWORD : static_cast<DWORD>(nameSize);
    switch (RegEnumKeyA(ToHkey(root), index, name, size)) {
        case ERROR_SUCCESS:
            return ListedAsItIs(ToHkey(root), index, name) ? EnumStatus::kName
                                                           : EnumStatus::kNameNotInCodepage;
        case ERROR_MORE_DATA:
            return EnumStatus::kNameTooLong;
        case ERROR_NO_MORE_ITEMS:
            return EnumStatus::kNoMoreItems;
        default:
            // Say so, but never retry: a key deleted while it is listed fails for good.
            return EnumStatus::kFailed;
    }
}

bool RegistrySettingsStore::OwnSetName(SettingsKey root, uint32_t index, std::u16string* name) {
    WCHAR own[kMaxRegistryKeyChars + 1];
    if (RegEnumKeyW(ToHkey(root), index, own, kMaxRegistryKeyChars + 1) != ERROR_SUCCESS) {
        return false;
    }
    name->assign(reinterpret_cast<const char16_t*>(own));
    return true;
}

bool RegistrySettingsStore::OpenSettingsRoot(const char* rootPath, SettingsKey* root) {
    return OpenKey(HKEY_LOCAL_MACHINE, rootPath, KEY_READ, root);
}

bool RegistrySettingsStore::OpenSettingsSet(SettingsKey root, const char* setName,
                                            SettingsKey* set) {
    return OpenKey(ToHkey(root), setName, KEY_READ, set);
}

QueryStatus RegistrySettingsStore::QueryValue(SettingsKey set, const char* valueName, void* buffer,
                                              uint32_t size, uint32_t* length) {
    DWORD dataSize = size;
    switch (RegQueryValueExA(ToHkey(set), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer),
                             &dataSize)) {
        case ERROR_SUCCESS:
            *length = dataSize;
            return QueryStatus::kFound;
        case ERROR_MORE_DATA:
            *length = dataSize;
            return QueryStatus::kTooLong;
        default:
            return QueryStatus::kMissing;
    }
}

void RegistrySettingsStore::CloseSettingsKey(SettingsKey key) {
    // A key that fails to close leaves nothing for the caller to undo or report.
    (void)RegCloseKey(ToHkey(key));
}
