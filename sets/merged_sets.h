// The sets as the instrument software saw them: a machine's settings and a user's virtual store
// merged as Windows' registry virtualisation shows them to a 32-bit program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/settings_store.h"
#include "sets/stored_sets.h"

class Codepage;

// Where a set of the root comes from.
struct SetOrigin {
    bool machine;       // the machine's settings hold it
    bool virtualStore;  // the user's virtual store holds it
};

// A set as the program sees it: the machine's values with the virtual store's laid over them.
struct MergedSet {
    const StoredSet* machine;  // null when the machine does not hold the set
    const StoredSet* store;    // null when the virtual store does not hold it

    // The machine's spelling, when it has the set.
    std::u16string_view name() const { return (machine != nullptr ? machine : store)->name(); }
    SetOrigin origin() const { return {machine != nullptr, store != nullptr}; }
};

// A root path as the program sees it.
struct MergedRoot {
    bool exists = false;
    std::vector<MergedSet> sets;  // in the registry's order
    // The listed names in name order, made when a set's origin is first asked for.
    struct ListedName {
        std::string ansi;
        bool exact;  // every character had its counterpart in the code page
        size_t index;
    };
    std::vector<ListedName> byListedName;
};

// Merges the sets of a root path on the machine and in the virtual store (either may be null)
// into *merged: a set both hold is one set. The root exists when it exists in either.
void MergeSets(const StoredRoot* machine, const StoredRoot* store, MergedRoot* merged);

// The index in root of the set whose upper-cased name is upper, trying hint first (sets are
// mostly opened in the order they are listed); root.sets.size() when there is none.
size_t FindMergedSet(const MergedRoot& root, std::u16string_view upper, size_t hint);

// Finds the data of the value numbered name in set: the virtual store's value wins over the
// machine's. Returns false when neither holds it.
bool FindMergedValue(const SettingsArena& arena, const MergedSet& set, uint32_t name,
                     std::string_view* data);

// Where the set of root that a listing named as set comes from, the names listed through
// codepage; both false for a name it does not list. Sets listed under the same look-alike name
// give the first one's origin.
SetOrigin OriginOfListedSet(const Codepage& codepage, MergedRoot* root, const ListedSet& set);
