// An open-addressing hash index over numbered entries whose keys their owner keeps elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A hash of a run of numbers (FNV-1a over each number), built one number at a time.
class RunHash {
  public:
    void Add(uint32_t number) { hash_ = (hash_ ^ number) * kPrime; }
    uint32_t value() const { return hash_; }

  private:
    static constexpr uint32_t kOffset = 2166136261u;
    static constexpr uint32_t kPrime = 16777619u;
    uint32_t hash_ = kOffset;
};

// The RunHash of a run of UTF-16 units, as the index of names uses it.
uint32_t HashUnits(std::u16string_view units);

class HashIndex {
  public:
    static constexpr uint32_t kNone = UINT32_MAX;

    // The number of the entry with this hash for which matches(number) is true, or kNone.
    template <typename Matches>
    uint32_t Find(uint32_t hash, Matches matches) const {
        if (slots_.empty()) {
            return kNone;
        }
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.number == kNone) {
                return kNone;
            }
            if (slot.hash == hash && matches(slot.number)) {
                return slot.number;
            }
        }
    }

    // Adds an entry that Find does not hold yet.
    void Insert(uint32_t hash, uint32_t number);

    // Forgets every entry and frees the storage.
    void Clear();

  private:
    // A slot keeps its entry's hash, so that growing needs no key.
    struct Slot {
        uint32_t number;
        uint32_t hash;
    };
    void Grow();

    std::vector<Slot> slots_;  // a power of two of them, never more than three quarters used
    size_t count_ = 0;
};
