// The packed layout of sets and their values, and finding sets again by name.
#include "sets/stored_sets.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBlockUnits = 1 << 15;  // 64 KB blocks hold the packed sets
// Larger pieces get a block of their own, so that little of a block is left unused.
constexpr size_t kMaxSharedUnits = kBlockUnits / 4;
constexpr uint64_t kMaxByteOffset = UINT8_MAX;
constexpr uint64_t kMaxShortOffset = UINT16_MAX;
constexpr uint64_t kMaxOffset = UINT32_MAX;

uint32_t HashNames(const std::vector<uint32_t>& names) {
    RunHash hash;
    for (uint32_t name : names) {
        hash.Add(name);
    }
    return hash.value();
}

uint64_t LoadOffset(const char* offsets, size_t index, size_t width) {
    const char* at = offsets + index * width;
    if (width == sizeof(uint8_t)) {
        return static_cast<unsigned char>(*at);
    }
    if (width == sizeof(uint16_t)) {
        uint16_t offset;
        std::memcpy(&offset, at, sizeof offset);
        return offset;
    }
    if (width == sizeof(uint32_t)) {
        uint32_t offset;
        std::memcpy(&offset, at, sizeof offset);
        return offset;
    }
    uint64_t offset;
    std::memcpy(&offset, at, sizeof offset);
    return offset;
}

void StoreOffset(char* offsets, size_t index, size_t width, uint64_t offset) {
    char* at = offsets + index * width;
    if (width == sizeof(uint8_t)) {
        *at = static_cast<char>(offset);
    } else if (width == sizeof(uint16_t)) {
        const uint16_t narrow = static_cast<uint16_t>(offset);
        std::memcpy(at, &narrow, sizeof narrow);
    } else if (width == sizeof(uint32_t)) {
        const uint32_t narrow = static_cast<uint32_t>(offset);
        std::memcpy(at, &narrow, sizeof narrow);
    } else {
        std::memcpy(at, &offset, sizeof offset);
    }
}

}  // namespace

std::string_view StoredValueAt(const SettingsArena& arena, const StoredSet& set, size_t position) {
    const size_t count = arena.shapes().Count(set.shape);
    const char* offsets = reinterpret_cast<const char*>(set.packed + set.nameLength);
    const uint64_t begin = LoadOffset(offsets, position, set.offsetBytes);
    const uint64_t end = LoadOffset(offsets, position + 1, set.offsetBytes);
    const char* data = offsets + (count + 1) * set.offsetBytes;
    return {data + begin, static_cast<size_t>(end - begin)};
}

uint32_t ValueShapes::Add(const std::vector<uint32_t>& names) {
    const uint32_t hash = HashNames(names);
    const uint32_t found = index_.Find(hash, [&](uint32_t shape) {
        return Count(shape) == names.size() && std::equal(names.begin(), names.end(), Names(shape));
    });
    if (found != HashIndex::kNone) {
        return found;
    }
    const uint32_t shape = static_cast<uint32_t>(starts_.size() - 1);
    names_.insert(names_.end(), names.begin(), names.end());
    starts_.push_back(static_cast<uint32_t>(names_.size()));
    index_.Insert(hash, shape);
    return shape;
}

bool ValueShapes::Find(uint32_t shape, uint32_t name, size_t* position) const {
    const uint32_t* begin = Names(shape);
    const uint32_t* end = begin + Count(shape);
    const uint32_t* found = std::lower_bound(begin, end, name);
    if (found == end || *found != name) {
        return false;
    }
    *position = static_cast<size_t>(found - begin);
    return true;
}

char16_t* SettingsArena::Allocate(size_t units) {
    if (units > freeUnits_) {
        if (units > kMaxSharedUnits) {
            blocks_.emplace_back(new char16_t[units]);
            return blocks_.back().get();
        }
        blocks_.emplace_back(new char16_t[kBlockUnits]);
        free_ = blocks_.back().get();
        freeUnits_ = kBlockUnits;
    }
    char16_t* piece = free_;
    free_ += units;
    freeUnits_ -= units;
    return piece;
}

void SettingsArena::Pack(std::u16string_view name, const std::vector<StoredValue>& values,
                         StoredSet* set) {
    shapeNames_.clear();
    uint64_t total = 0;
    for (const auto& value : values) {
        shapeNames_.push_back(value.first);
        total += value.second.size();
    }
    const size_t width = total <= kMaxByteOffset    ? sizeof(uint8_t)
                         : total <= kMaxShortOffset ? sizeof(uint16_t)
                         : total <= kMaxOffset      ? sizeof(uint32_t)
                                                    : sizeof(uint64_t);
    const size_t count = values.size();
    const size_t bytes = name.size() * sizeof(char16_t) + (count + 1) * width + total;
    char16_t* packed = Allocate((bytes + sizeof(char16_t) - 1) / sizeof(char16_t));
    std::copy(name.begin(), name.end(), packed);
    char* offsets = reinterpret_cast<char*>(packed + name.size());
    char* data = offsets + (count + 1) * width;
    uint64_t offset = 0;
    for (size_t i = 0; i < count; ++i) {
        StoreOffset(offsets, i, width, offset);
        std::memcpy(data + offset, values[i].second.data(), values[i].second.size());
        offset += values[i].second.size();
    }
    StoreOffset(offsets, count, width, offset);
    set->packed = packed;
    set->shape = shapes_.Add(shapeNames_);
    // A hive keeps a key name's length in 16 bits, an export at most 255 units.
    set->nameLength = static_cast<uint16_t>(name.size());
    set->offsetBytes = static_cast<uint8_t>(width);
    set->deleted = false;
}

bool FindStoredValue(const SettingsArena& arena, const StoredSet& set, uint32_t name,
                     std::string_view* data) {
    size_t position = 0;
    if (!arena.shapes().Find(set.shape, name, &position)) {
        return false;
    }
    *data = StoredValueAt(arena, set, position);
    return true;
}

StoredSet* StoredRoot::Find(std::u16string_view upper, uint32_t hash) {
    const uint32_t found = index_.Find(hash, [&](uint32_t number) {
        return CompareWithUpcased(sets_[number].name(), upper) == 0;
    });
    return found == HashIndex::kNone ? nullptr : &sets_[found];
}

StoredSet* StoredRoot::Add(const StoredSet& set, uint32_t hash) {
    sets_.push_back(set);
    index_.Insert(hash, static_cast<uint32_t>(sets_.size() - 1));
    return &sets_.back();
}

void StoredRoot::Clear() {
    exists = false;
    sets_.clear();
    index_.Clear();
}

std::vector<const StoredSet*> StoredRoot::Sorted() const {
    std::vector<const StoredSet*> sorted;
    for (const StoredSet& set : sets_) {
        if (!set.deleted) {
            sorted.push_back(&set);
        }
    }
    const auto before = [](const StoredSet* a, const StoredSet* b) {
        return CompareNames(a->name(), b->name()) < 0;
    };
    // Exports list the keys in the registry's order already.
    if (!std::is_sorted(sorted.begin(), sorted.end(), before)) {
        std::sort(sorted.begin(), sorted.end(), before);
    }
    return sorted;
}
