// An in-memory settings store for unit tests: sets and raw value data, nothing else.
#pragma once

#include <strings.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/settings_store.h"

class MemoryStore : public SettingsStore {
  public:
    struct Set {
        std::string name;
        std::map<std::string, std::string> values;  // value name -> raw data
        bool openable = true;
    };

    // rootIndex: which of kSettingsRootPaths holds the sets; -1 for no root at all.
    explicit MemoryStore(int rootIndex = 0) : rootIndex_(rootIndex) {}

    Set& AddSet(const std::string& name) {
        sets_.push_back(Set{name, {}, true});
        return sets_.back();
    }
    // Raw data helpers for the value kinds the instrument software stores.
    static std::string Text(const std::string& text) { return text + std::string(1, '\0'); }
    static std::string Dword(int32_t value) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
        }
        return bytes;
    }

    int openKeys() const { return openKeys_; }
    // From index on, the listing fails as the registry's does for a key deleted meanwhile.
    void FailListingAt(uint32_t index) { failAt_ = index; }

    bool FindSettingsRoot(const char** rootPath, SettingsKey* root) override {
        if (rootIndex_ < 0) {
            return false;
        }
        *rootPath = kSettingsRootPaths[rootIndex_];
        return OpenSettingsRoot(*rootPath, root);
    }
    EnumStatus EnumerateSetName(SettingsKey, uint32_t index, char* name, size_t nameSize) override {
        if (index >= failAt_) {
            return EnumStatus::kFailed;
        }
        if (index >= sets_.size()) {
            return EnumStatus::kNoMoreItems;
        }
        if (sets_[index].name.size() >= nameSize) {
            return EnumStatus::kNameTooLong;
        }
        std::memcpy(name, sets_[index].name.c_str(), sets_[index].name.size() + 1);
        return EnumStatus::kName;
    }
    bool OpenSettingsRoot(const char* rootPath, SettingsKey* root) override {
        if (rootIndex_ < 0 || std::strcmp(rootPath, kSettingsRootPaths[rootIndex_]) != 0) {
            return false;
        }
        ++openKeys_;
        *root = reinterpret_cast<SettingsKey>(&sets_);
        return true;
    }
    bool OpenSettingsSet(SettingsKey, const char* setName, SettingsKey* set) override {
        for (Set& candidate : sets_) {
            if (strcasecmp(candidate.name.c_str(), setName) == 0 && candidate.openable) {
                ++openKeys_;
                *set = reinterpret_cast<SettingsKey>(&candidate);
                return true;
            }
        }
        return false;
    }
    QueryStatus QueryValue(SettingsKey key, const char* valueName, void* buffer, uint32_t size,
                           uint32_t* length) override {
        const Set* set = reinterpret_cast<const Set*>(key);
        for (const auto& [name, data] : set->values) {
            if (strcasecmp(name.c_str(), valueName) == 0) {
                *length = static_cast<uint32_t>(data.size());
                if (data.size() > size) {
                    return QueryStatus::kTooLong;
                }
                std::memcpy(buffer, data.data(), data.size());
                return QueryStatus::kFound;
            }
        }
        return QueryStatus::kMissing;
    }
    void CloseSettingsKey(SettingsKey) override { --openKeys_; }

  private:
    int rootIndex_;
    std::vector<Set> sets_;  // grown only before keys are handed out
    int openKeys_ = 0;
    uint32_t failAt_ = UINT32_MAX;
};
