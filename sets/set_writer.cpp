// Staging the values a source hands over for one set, and merging them into what it held.
#include "sets/set_writer.h"

#include <algorithm>

#include "registry/registry_types.h"
#include "text/ascii_case.h"
#include "text/unicode_text.h"

void SetWriter::Upcase(std::u16string_view name) {
    upper_.resize(name.size());
    char16_t* units = &upper_[0];
    for (size_t i = 0; i < name.size(); ++i) {
        units[i] = UpcaseUnit(name[i]);
    }
}

void SetWriter::Begin(StoredRoot* root, std::u16string_view name) {
    End();
    Upcase(name);
    hash_ = HashUnits(upper_);
    root_ = root;
    set_ = root->Find(upper_, hash_);
    name_.assign(name);
}

void SetWriter::AppendAnsi(std::string_view utf16Le) {
    // A trailing odd byte is not part of any character: the registry drops it.
    const size_t units = utf16Le.size() / sizeof(char16_t);
    bool ascii = arena_->codepage().keepsAscii();
    for (size_t i = 0; ascii && i < units; ++i) {
        ascii = LoadUtf16Le(utf16Le.data() + i * sizeof(char16_t)) < kFirstNonAscii;
    }
    if (ascii) {
        for (size_t i = 0; i < units; ++i) {
            stagedData_.push_back(utf16Le[i * sizeof(char16_t)]);
        }
        return;
    }
    text_.clear();
    AppendUtf16FromLe(utf16Le, &text_);
    arena_->codepage().FromUtf16(text_, &ansi_);
    stagedData_ += ansi_;
}

void SetWriter::SetValue(std::u16string_view name, uint32_t type, std::string_view data) {
    uint32_t number = guess_.Guess(name);
    if (number != kNoValueName) {
        guess_.Held(number);
    } else {
        Upcase(name);
        number = arena_->names().Add(upper_);
        guess_.Learn(number, name);
    }
    const size_t offset = stagedData_.size();
    if (IsTextType(type)) {
        AppendAnsi(data);
    } else {
        stagedData_.append(data);
    }
    staged_.push_back({number, offset, stagedData_.size() - offset, false});
}

void SetWriter::DeleteValue(std::u16string_view name) {
    Upcase(name);
    // A name no value ever had is in no set.
    const uint32_t number = arena_->names().Find(upper_);
    if (number != kNoValueName) {
        staged_.push_back({number, 0, 0, true});
    }
}

void SetWriter::MergeStaged(const StoredSet* existing) {
    values_.clear();
    const std::string_view staged(stagedData_);
    // Most sets are written once, each value once and in the same order as in the set before.
    bool inOrder = existing == nullptr;
    for (size_t i = 0; inOrder && i < staged_.size(); ++i) {
        const Staged& value = staged_[i];
        inOrder = !value.deleted && (values_.empty() || values_.back().first < value.name);
        values_.emplace_back(value.name, staged.substr(value.offset, value.length));
    }
    if (inOrder) {
        return;
    }
    values_.clear();
    if (existing != nullptr) {
        const ValueShapes& shapes = arena_->shapes();
        const uint32_t* names = shapes.Names(existing->shape);
        for (size_t i = 0; i < shapes.Count(existing->shape); ++i) {
            values_.emplace_back(names[i], StoredValueAt(*arena_, *existing, i));
        }
    }
    for (const Staged& value : staged_) {
        const auto at = std::lower_bound(
            values_.begin(), values_.end(), value.name,
            [](const StoredValue& held, uint32_t name) { return held.first < name; });
        const bool held = at != values_.end() && at->first == value.name;
        if (value.deleted) {
            if (held) {
                values_.erase(at);
            }
        } else if (held) {
            at->second = staged.substr(value.offset, value.length);
        } else {
            values_.insert(at, {value.name, staged.substr(value.offset, value.length)});
        }
    }
}

void SetWriter::End() {
    if (root_ == nullptr) {
        return;
    }
    const StoredSet* existing = set_ != nullptr && !set_->deleted ? set_ : nullptr;
    // A set met again with nothing new stays as it was packed.
    if (existing == nullptr || !staged_.empty()) {
        MergeStaged(existing);
        if (existing != nullptr) {
            // The set keeps the spelling it was first written with.
            const std::u16string_view kept = existing->name();
            name_.assign(kept.begin(), kept.end());
        }
        arena_->Pack(name_, values_, set_ != nullptr ? set_ : root_->Add(StoredSet(), hash_));
    }
    root_ = nullptr;
    set_ = nullptr;
    staged_.clear();
    stagedData_.clear();
}
