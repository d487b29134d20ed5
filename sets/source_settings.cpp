// The settings of one source, and the collector that keeps what a source hands over in them.
#include "sets/source_settings.h"

#include "sets/value_names.h"

namespace {

using Path = std::vector<std::u16string_view>;

// A SID as message text: its characters are ASCII.
std::string Narrow(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text) {
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

}  // namespace

StoredRoot& SourceSettings::Root(SettingsPlace place, SettingsView view, size_t root) {
    return roots[static_cast<size_t>(place)][static_cast<size_t>(view)][root];
}

const StoredRoot& SourceSettings::Root(SettingsPlace place, SettingsView view, size_t root) const {
    return roots[static_cast<size_t>(place)][static_cast<size_t>(view)][root];
}

bool SourceSettings::Holds(SettingsPlace place) const {
    for (const auto& view : roots[static_cast<size_t>(place)]) {
        for (const StoredRoot& root : view) {
            if (root.exists) {
                return true;
            }
        }
    }
    return false;
}

bool SettingsCollector::OnKey(RegRootKey root, const Path& path) {
    writer_.End();
    const PathPlace found = FindPlace(root, path);
    if (found.reach != PathPlace::kBelow) {
        return false;
    }
    size_t pos = found.below;
    SettingsView view = SettingsView::kPlain;
    if (IsWow64Key(path[pos])) {
        OnWow64Key();
        view = SettingsView::kWow64;
        ++pos;
    }
    for (size_t index = 0; index < kRootCount; ++index) {
        const size_t rootNames = SettingsRootNames(index).size();
        if (FollowedRootNames(path, pos, index) != static_cast<int>(rootNames)) {
            continue;
        }
        OnRootKey(found.place, view, index);
        if (found.ofUser) {
            settings_->storeUsers.insert(Narrow(found.sid));
        }
        const size_t setPos = pos + rootNames;
        if (path.size() == setPos) {
            return false;
        }
        // A set, or a key below one: either way the set now exists.
        OnSetKey(found.place, view, index, path[setPos]);
        if (path.size() == setPos + 1) {
            return true;
        }
        writer_.End();
        return false;
    }
    return false;
}

void SettingsCollector::OnDeleteKey(RegRootKey root, const Path& path) {
    writer_.End();
    const PathPlace found = FindPlace(root, path);
    if (found.reach == PathPlace::kNone) {
        return;
    }
    for (size_t view = 0; view < kViewCount; ++view) {
        size_t from = found.below;
        if (found.reach == PathPlace::kBelow &&
            static_cast<SettingsView>(view) == SettingsView::kWow64) {
            if (!IsWow64Key(path[from])) {
                continue;
            }
            ++from;
        }
        for (size_t index = 0; index < kRootCount; ++index) {
            StoredRoot& stored =
                settings_->Root(found.place, static_cast<SettingsView>(view), index);
            if (found.reach == PathPlace::kAbove || from == path.size()) {
                stored.Clear();
                continue;
            }
            if (FollowedRootNames(path, from, index) < 0) {
                continue;
            }
            const size_t below = path.size() - from;
            const size_t rootNames = SettingsRootNames(index).size();
            if (below <= rootNames) {
                stored.Clear();
            } else if (below == rootNames + 1) {
                const std::u16string upper = UpcaseName(path.back());
                StoredSet* set = stored.Find(upper, HashUnits(upper));
                if (set != nullptr) {
                    set->deleted = true;
                }
            }
        }
    }
}

void SettingsCollector::OnValue(std::u16string_view name, uint32_t type, std::string_view data) {
    writer_.SetValue(name, type, data);
}

void SettingsCollector::OnDeleteValue(std::u16string_view name) {
    writer_.DeleteValue(name);
}

void SettingsCollector::OnWow64Key() {
    writer_.End();
    settings_->wow64 = true;
}

void SettingsCollector::OnRootKey(SettingsPlace place, SettingsView view, size_t root) {
    writer_.End();
    settings_->Root(place, view, root).exists = true;
}

void SettingsCollector::OnSetKey(SettingsPlace place, SettingsView view, size_t root,
                                 std::u16string_view name) {
    StoredRoot& stored = settings_->Root(place, view, root);
    stored.exists = true;
    writer_.Begin(&stored, name);
}

void SettingsCollector::Finish() {
    writer_.End();
    for (auto& place : settings_->roots) {
        for (auto& view : place) {
            for (StoredRoot& root : view) {
                root.FinishReading();
            }
        }
    }
}
