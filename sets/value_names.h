// Registry names as the registry compares them, and the value names of a store, each kept once
// as a number that the sets hold instead of the name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sets/hash_index.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

constexpr uint32_t kNoValueName = UINT32_MAX;

// RegistryUpcase, without a call for the ASCII letters that almost every name is made of.
inline char16_t UpcaseUnit(char16_t unit) {
    if (unit < kFirstNonAscii) {
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
    }
    return RegistryUpcase(unit);
}

// A name as the registry compares and sorts it: each UTF-16 unit upper-cased.
std::u16string UpcaseName(std::u16string_view name);

// Compares a name with one already upper-cased as the registry sorts them: <0, 0 or >0.
int CompareWithUpcased(std::u16string_view name, std::u16string_view upper);

// Compares two names as the registry sorts them: <0, 0 or >0.
int CompareNames(std::u16string_view a, std::u16string_view b);

// The value names of a store, upper-cased, each with its number.
class ValueNames {
  public:
    // The number of upper, given one when it has none yet.
    uint32_t Add(std::u16string_view upper);
    // The number of upper, or kNoValueName.
    uint32_t Find(std::u16string_view upper) const;
    // Sets *number to that of an ASCII name in any case, or kNoValueName. Returns false, leaving
    // it alone, when name is not ASCII.
    bool FindAscii(const char* name, uint32_t* number) const;

  private:
    std::u16string_view Name(uint32_t number) const;

    std::u16string units_;                // every name, one after the other
    std::vector<uint32_t> starts_ = {0};  // where name n starts; its end is where n + 1 starts
    HashIndex index_;
};

// Guesses the number of the next value name from the order names came in before: sets mostly
// hold, and are asked for, the same names in the same order. The guess is the name that came
// after the last one the time before, when the name is spelled the same as then: cheaper to
// check than a name is to look up.
template <typename Char>
class NameGuess {
  public:
    using View = std::basic_string_view<Char>;

    // The number of name when the guess holds, else kNoValueName.
    uint32_t Guess(View name) const {
        if (last_ >= follows_.size()) {
            return kNoValueName;
        }
        const uint32_t likely = follows_[last_];
        return likely != kNoValueName && View(spellings_[likely]) == name ? likely : kNoValueName;
    }
    // The guess held.
    void Held(uint32_t number) { last_ = number; }
    // The guess failed, and name was looked up as number.
    void Learn(uint32_t number, View name) {
        if (number >= follows_.size()) {
            follows_.resize(number + 1, kNoValueName);
            spellings_.resize(number + 1);
        }
        if (last_ < follows_.size()) {
            follows_[last_] = number;
        }
        spellings_[number].assign(name.data(), name.size());
        last_ = number;
    }

  private:
    std::vector<uint32_t> follows_;  // by name number: the one that came after it last
    std::vector<std::basic_string<Char>> spellings_;  // by name number: as it came last
    uint32_t last_ = kNoValueName;
};
