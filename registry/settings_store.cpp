// The value readers shared by every settings store.
#include "registry/settings_store.h"

#include <utility>

#include "text/text_limits.h"

const char* const kSettingsRootPaths[2] = {
    "SOFTWARE\\Quorix\\Layrscan\\Settings",
    "SOFTWARE\\Zentyl\\Layrscan\\Settings",
};

bool SettingsStore::OwnSetName(SettingsKey, uint32_t, std::u16string*) {
    return false;
}

int ReadTextValue(SettingsStore& store, SettingsKey set, const char* valueName, TextValueData* data,
                  ValueReadOutcome* outcome) {
    uint32_t length = 0;
    const QueryStatus status =
        store.QueryValue(set, valueName, data->bytes, kTextValueSize, &length);
    if (outcome != nullptr) {
        *outcome = {status, length};
    }
    if (status != QueryStatus::kFound) {
        return 0;
    }
    data->length = length;
    return 1;
}

int ReadIntValue(SettingsStore& store, SettingsKey set, const char* valueName, int32_t* value,
                 ValueReadOutcome* outcome) {
    unsigned char bytes[kIntValueSize];
    uint32_t length = 0;
    const QueryStatus status = store.QueryValue(set, valueName, bytes, kIntValueSize, &length);
    if (outcome != nullptr) {
        *outcome = {status, length};
    }
    if (status != QueryStatus::kFound || length != kIntValueSize) {
        return 0;
    }
    *value = static_cast<int32_t>(
        static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    return 1;
}

bool ListSetNames(SettingsStore& store, const char** rootPath, std::vector<ListedSet>* sets,
                  bool* complete) {
    SettingsKey root = nullptr;
    if (!store.FindSettingsRoot(rootPath, &root)) {
        return false;
    }
    *complete = true;
    char name[kMaxListedNameBytes];
    for (uint32_t index = 0;; ++index) {
        const EnumStatus status = store.EnumerateSetName(root, index, name, sizeof name);
        if (status == EnumStatus::kNoMoreItems) {
            break;
        }
        if (status == EnumStatus::kFailed) {
            *complete = false;
            break;
        }
        if (status == EnumStatus::kNameTooLong) {
            *complete = false;
            continue;
        }
        ListedSet set;
        set.name = name;
        set.nameInCodepage = status == EnumStatus::kName;
        if (!set.nameInCodepage && !store.OwnSetName(root, index, &set.ownName)) {
            set.ownName.clear();
        }
        sets->push_back(std::move(set));
    }
    store.CloseSettingsKey(root);
    return true;
}
