// Linear probing over a table that doubles when three quarters full.
#include "sets/hash_index.h"

namespace {

constexpr size_t kFirstSlots = 16;
// At most three quarters of the slots hold an entry, so that a probe ends soon.
constexpr size_t kMaxUsedSlots = 3;
constexpr size_t kPerSlots = 4;

}  // namespace

uint32_t HashUnits(std::u16string_view units) {
    RunHash hash;
    for (char16_t unit : units) {
        hash.Add(unit);
    }
    return hash.value();
}

void HashIndex::Insert(uint32_t hash, uint32_t number) {
    if ((count_ + 1) * kPerSlots > slots_.size() * kMaxUsedSlots) {
        Grow();
    }
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].number != kNone) {
        i = (i + 1) & mask;
    }
    slots_[i] = {number, hash};
    ++count_;
}

void HashIndex::Clear() {
    std::vector<Slot>().swap(slots_);
    count_ = 0;
}

void HashIndex::Grow() {
    std::vector<Slot> old(slots_.empty() ? kFirstSlots : slots_.size() * 2, Slot{kNone, 0});
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.number == kNone) {
            continue;
        }
        size_t i = slot.hash & mask;
        while (slots_[i].number != kNone) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
    }
}
