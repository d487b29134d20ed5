// The writer that packs the sets a source hands over, one set at a time, value by value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sets/stored_sets.h"
#include "sets/value_names.h"

// Collects the values of one set at a time, as a source hands them over, and packs them.
class SetWriter {
  public:
    explicit SetWriter(SettingsArena* arena) : arena_(arena) {}
    SetWriter(const SetWriter&) = delete;
    SetWriter& operator=(const SetWriter&) = delete;

    // Packs the set begun before, if any, and begins the set name of root: the one there is
    // (its values stay unless replaced or deleted), or a new one spelled so.
    void Begin(StoredRoot* root, std::u16string_view name);
    // A value of the set begun: data as the registry stores it, of a value type.
    void SetValue(std::u16string_view name, uint32_t type, std::string_view data);
    void DeleteValue(std::u16string_view name);
    // Packs the set begun, if any.
    void End();

  private:
    // A value as handed over: its data in stagedData_, or a deletion.
    struct Staged {
        uint32_t name;
        size_t offset;
        size_t length;
        bool deleted;
    };

    // Puts name upper-cased into upper_.
    void Upcase(std::u16string_view name);
    // Appends UTF-16LE text data to stagedData_ as an ANSI caller gets it.
    void AppendAnsi(std::string_view utf16Le);
    // Lays the staged values over those the set has: values_ sorted by name number.
    void MergeStaged(const StoredSet* existing);

    SettingsArena* arena_;
    StoredRoot* root_ = nullptr;  // null when no set is begun
    StoredSet* set_ = nullptr;    // the set begun when it exists already
    std::u16string name_;         // the name of a new set
    uint32_t hash_ = 0;
    std::u16string upper_;
    std::u16string text_;
    std::string ansi_;
    std::vector<Staged> staged_;
    std::string stagedData_;
    std::vector<StoredValue> values_;
    NameGuess<char16_t> guess_;
};
