// The entries one settings set yields, and the writer interface the conversion writes through.
#pragma once

#include <cstddef>
#include <string>

#include "text/text_limits.h"

// The most entries one recipe holds: as many as the conversion table writes when every rule
// writes every entry it can (the table checks that they fit).
constexpr size_t kRecipeEntryCapacity = 35;

// Receives the entries of one recipe, one section/key/text at a time, in conversion order.
class RecipeWriter {
  public:
    virtual ~RecipeWriter() = default;
    // section and key are the conversion table's literals; text is at most kMaxEntryTextChars.
    virtual void WriteEntry(const char* section, const char* key, const char* text) = 0;
};

struct RecipeEntry {
    const char* section;  // a literal of the conversion table
    const char* key;      // a literal of the conversion table
    char text[kMaxEntryTextChars + 1];
};

// Collects the entries of one set in order; what every recipe file target consumes.
class RecipeEntryList : public RecipeWriter {
  public:
    void WriteEntry(const char* section, const char* key, const char* text) override;

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const RecipeEntry& operator[](size_t i) const { return entries_[i]; }
    const RecipeEntry* begin() const { return entries_; }
    const RecipeEntry* end() const { return entries_ + count_; }

  private:
    RecipeEntry entries_[kRecipeEntryCapacity];
    size_t count_ = 0;
};
