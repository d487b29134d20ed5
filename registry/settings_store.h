// The settings store: where the instrument's saved setups are read from.
//
// Contract, the same for every implementation (the live registry on Windows, copies of it
// anywhere: registry exports and hive files):
//  - FindSettingsRoot tries the two root paths in order and opens the first that exists with
//    the right to list its subkeys. The caller closes the key it gets.
//  - EnumerateSetName is called with index 0, 1, 2, ... on that key until it answers
//    kNoMoreItems or kFailed; a name that cannot be used (see EnumStatus) does not end the walk.
//  - OpenSettingsRoot / OpenSettingsSet open for reading; the caller closes what it opened.
//  - QueryValue behaves like RegQueryValueExA without a type: the value's data is copied when
//    it fits the buffer; a missing value or data longer than the buffer is a failure and leaves
//    the buffer untouched, data too long telling the size it needs. Text data is in the ANSI
//    code page with its stored terminator.
//  - Nothing is cached between calls that a caller could observe; no key stays open unless the
//    caller holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/text_limits.h"

struct SettingsKeyHandle;
using SettingsKey = SettingsKeyHandle*;

// The two places the instrument software keeps its setups, in the order they are tried.
extern const char* const kSettingsRootPaths[2];

constexpr uint32_t kTextValueSize = 32;  // bytes given to the text, flag and bitmask reader
constexpr uint32_t kIntValueSize = 4;    // bytes given to the integer reader
// Room for the longest name the registry allows, in any ANSI code page, with its terminator:
// the listing never leaves out a set for the length of its name.
constexpr size_t kMaxListedNameBytes = kMaxRegistryKeyChars * kMaxAnsiBytesPerUnit + 1;

// What a value query found.
enum class QueryStatus {
    kFound,    // the data is in the buffer; *length is its byte count
    kMissing,  // no value of that name (or it could not be read)
    kTooLong,  // the data does not fit the buffer, left untouched; *length is the size it needs
};

enum class EnumStatus {
    kName,         // name holds the set's name
    kNoMoreItems,  // index is past the last set
    kNameTooLong,  // the name does not fit the caller's buffer; go on with the next index
    // The root cannot be listed any further (it was changed or deleted meanwhile): the walk
    // ends here, and sets after index may be missing.
    kFailed,
    // name holds the set's name with look-alike letters or '?' for characters the code page
    // lacks; the Windows program cannot open this set by that name (it would open another set
    // of that name, or none).
    kNameNotInCodepage,
};

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Opens the first root path that exists. Returns true and sets *rootPath (one of
    // kSettingsRootPaths) and *root, or returns false when neither exists.
    virtual bool FindSettingsRoot(const char** rootPath, SettingsKey* root) = 0;

    // Names set number index of an open root in listing order into name (nameSize bytes).
    virtual EnumStatus EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                        size_t nameSize) = 0;

    // Opens a root path for reading. Returns false when it does not exist.
    virtual bool OpenSettingsRoot(const char* rootPath, SettingsKey* root) = 0;

    // Opens one set under an open root for reading. Returns false when it cannot be opened.
    virtual bool OpenSettingsSet(SettingsKey root, const char* setName, SettingsKey* set) = 0;

    // Copies the data of a value of an open set into buffer when it is at most size bytes.
    // Returns what it found (see QueryStatus).
    virtual QueryStatus QueryValue(SettingsKey set, const char* valueName, void* buffer,
                                   uint32_t size, uint32_t* length) = 0;

    // Closes a key this store opened.
    virtual void CloseSettingsKey(SettingsKey key) = 0;

    // Names set number index of an open root, one EnumerateSetName answered kNameNotInCodepage
    // for, as the store holds it, in UTF-16. Returns false when the store cannot tell (the
    // default).
    virtual bool OwnSetName(SettingsKey root, uint32_t index, std::u16string* name);
};

// The raw data of a text-like value (text, flag or bitmask) as the 32-byte reader gets it.
struct TextValueData {
    unsigned char bytes[kTextValueSize];
    uint32_t length;
};

// What a value reader's query found, for telling the user why a reader answered 0.
struct ValueReadOutcome {
    QueryStatus status;
    uint32_t length;  // the data's size in bytes (when too long, the size it needs)
};

// Reads a value through a 32-byte buffer. Returns 1 when it exists and fits, else 0. When
// outcome is not null it gets what the query found.
int ReadTextValue(SettingsStore& store, SettingsKey set, const char* valueName, TextValueData* data,
                  ValueReadOutcome* outcome = nullptr);

// Reads a value as a signed 32-bit little-endian integer. Returns 1 only when the value exists
// and its data is exactly 4 bytes (shorter data is never padded with stale memory), else 0.
// When outcome is not null it gets what the query found: kFound with a length other than 4
// for data of the wrong size.
int ReadIntValue(SettingsStore& store, SettingsKey set, const char* valueName, int32_t* value,
                 ValueReadOutcome* outcome = nullptr);

// A set as the listing names it.
struct ListedSet {
    std::string name;     // in the ANSI code page, as EnumerateSetName gives it
    bool nameInCodepage;  // false for kNameNotInCodepage: the name is not the set's own
    // When nameInCodepage is false: the set's own name, if the store can tell it (OwnSetName);
    // else empty.
    std::u16string ownName;
};

// Finds the settings root and appends its sets to *sets in listing order, every name the
// registry allows included (through kMaxListedNameBytes). Returns false when neither root
// exists; otherwise true with *rootPath set, and *complete false when a set may be missing: the
// store failed before the end of the list, or had a name longer than any the registry allows.
// Closes the key it opened.
bool ListSetNames(SettingsStore& store, const char** rootPath, std::vector<ListedSet>* sets,
                  bool* complete);
