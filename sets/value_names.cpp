// Comparing names as the registry does, and numbering the value names of a store.
#include "sets/value_names.h"

#include <algorithm>

namespace {

int CompareUnits(char16_t a, char16_t b) {
    return a < b ? -1 : 1;
}

int CompareLengths(size_t a, size_t b) {
    return a == b ? 0 : a < b ? -1 : 1;
}

}  // namespace

std::u16string UpcaseName(std::u16string_view name) {
    std::u16string upper(name);
    for (char16_t& unit : upper) {
        unit = UpcaseUnit(unit);
    }
    return upper;
}

int CompareWithUpcased(std::u16string_view name, std::u16string_view upper) {
    const size_t common = std::min(name.size(), upper.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t unit = UpcaseUnit(name[i]);
        if (unit != upper[i]) {
            return CompareUnits(unit, upper[i]);
        }
    }
    return CompareLengths(name.size(), upper.size());
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t unitA = UpcaseUnit(a[i]);
        const char16_t unitB = UpcaseUnit(b[i]);
        if (unitA != unitB) {
            return CompareUnits(unitA, unitB);
        }
    }
    return CompareLengths(a.size(), b.size());
}

std::u16string_view ValueNames::Name(uint32_t number) const {
    return std::u16string_view(units_).substr(starts_[number],
                                              starts_[number + 1] - starts_[number]);
}

uint32_t ValueNames::Find(std::u16string_view upper) const {
    return index_.Find(HashUnits(upper), [&](uint32_t number) { return Name(number) == upper; });
}

bool ValueNames::FindAscii(const char* name, uint32_t* number) const {
    RunHash hash;
    size_t length = 0;
    for (; name[length] != '\0'; ++length) {
        const unsigned char byte = static_cast<unsigned char>(name[length]);
        if (byte >= kFirstNonAscii) {
            return false;
        }
        hash.Add(UpcaseUnit(byte));
    }
    *number = index_.Find(hash.value(), [&](uint32_t candidate) {
        const std::u16string_view held = Name(candidate);
        if (held.size() != length) {
            return false;
        }
        for (size_t i = 0; i < length; ++i) {
            if (held[i] != UpcaseUnit(static_cast<unsigned char>(name[i]))) {
                return false;
            }
        }
        return true;
    });
    return true;
}

uint32_t ValueNames::Add(std::u16string_view upper) {
    const uint32_t hash = HashUnits(upper);
    const uint32_t found =
        index_.Find(hash, [&](uint32_t number) { return Name(number) == upper; });
    if (found != kNoValueName) {
        return found;
    }
    const uint32_t number = static_cast<uint32_t>(starts_.size() - 1);
    units_.append(upper);
    starts_.push_back(static_cast<uint32_t>(units_.size()));
    index_.Insert(hash, number);
    return number;
}
