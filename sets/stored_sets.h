// The sets of a settings root and their values, packed: an export of many thousand sets is kept
// in little more than the size of its values' data.
//
// A value name is kept once for the whole store, as a number (sets/value_names.h). A set
// keeps the sorted numbers of its value names as a shape, which every set with the same names
// shares, and one piece of storage: the units of its name, the offsets of its values' data, and
// that data, in the form an ANSI caller gets it (text already in the code page). Nothing of a
// set moves once packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sets/hash_index.h"
#include "sets/value_names.h"
#include "text/codepage.h"

// The sorted value name numbers of sets, each list kept once.
class ValueShapes {
  public:
    // The number of the shape of these names (sorted, each once), added when new.
    uint32_t Add(const std::vector<uint32_t>& names);
    size_t Count(uint32_t shape) const { return starts_[shape + 1] - starts_[shape]; }
    // The name numbers of shape.
    const uint32_t* Names(uint32_t shape) const { return names_.data() + starts_[shape]; }
    // Sets *position to where name lies in shape. Returns false when it does not.
    bool Find(uint32_t shape, uint32_t name, size_t* position) const;

  private:
    std::vector<uint32_t> names_;
    std::vector<uint32_t> starts_ = {0};
    HashIndex index_;
};

// A value of a set: the number of its name, and its data.
using StoredValue = std::pair<uint32_t, std::string_view>;

struct StoredSet;

// Where the sets of a store keep their names and values: shared by all its sources.
class SettingsArena {
  public:
    // codepage converts text values for ANSI callers; it must outlive the arena.
    explicit SettingsArena(const Codepage& codepage) : codepage_(codepage) {}
    SettingsArena(const SettingsArena&) = delete;
    SettingsArena& operator=(const SettingsArena&) = delete;

    const Codepage& codepage() const { return codepage_; }
    ValueNames& names() { return names_; }
    const ValueNames& names() const { return names_; }
    ValueShapes& shapes() { return shapes_; }
    const ValueShapes& shapes() const { return shapes_; }

    // Storage for units UTF-16 units that never moves, not initialised.
    char16_t* Allocate(size_t units);

    // Packs name and values (sorted by name number, each name once) into set: the name's
    // units, then one offset for each value's data and one for their end, as wide as the data
    // needs, then the data.
    void Pack(std::u16string_view name, const std::vector<StoredValue>& values, StoredSet* set);

  private:
    const Codepage& codepage_;
    ValueNames names_;
    ValueShapes shapes_;
    std::vector<std::unique_ptr<char16_t[]>> blocks_;
    char16_t* free_ = nullptr;  // the unused end of the last block
    size_t freeUnits_ = 0;
    std::vector<uint32_t> shapeNames_;  // kept from one Pack to the next, to reuse its storage
};

// A set as a source holds it.
struct StoredSet {
    const char16_t* packed = nullptr;  // in the arena: the name, then the values (Pack)
    uint32_t shape = 0;
    uint16_t nameLength = 0;
    uint8_t offsetBytes = 0;  // the size of each offset of the values' data
    bool deleted = false;     // a deletion line removed it; a key line may bring it back

    std::u16string_view name() const { return {packed, nameLength}; }
};

// The data of the value at position of set's shape.
std::string_view StoredValueAt(const SettingsArena& arena, const StoredSet& set, size_t position);

// Finds the data of the value numbered name in set. Returns false when the set has none.
bool FindStoredValue(const SettingsArena& arena, const StoredSet& set, uint32_t name,
                     std::string_view* data);

// The sets of one place a settings root may lie in.
class StoredRoot {
  public:
    bool exists = false;

    // The set whose upper-cased name is upper (hash: HashUnits(upper)), deleted or not; null
    // when there never was one since the last Clear.
    StoredSet* Find(std::u16string_view upper, uint32_t hash);
    // Adds a set that Find does not know; its name must be packed before the next Find.
    StoredSet* Add(const StoredSet& set, uint32_t hash);
    // Removes every set.
    void Clear();
    // The sets not deleted, in the registry's order.
    std::vector<const StoredSet*> Sorted() const;
    // Frees what only finding sets by name needs, once no set is added any more.
    void FinishReading() { index_.Clear(); }

  private:
    std::deque<StoredSet> sets_;  // a deque: sets never move as it grows
    HashIndex index_;
};
