// Messages about the sources of a run: why they hold no settings, and which add nothing.
#include "sources/source_report.h"

#include "registry/settings_store.h"

namespace {

// Root path number root as a place of view holds it: SOFTWARE\WOW6432Node\... in the 64-bit one.
std::string RootPathIn(SettingsView view, size_t root) {
    std::string path = kSettingsRootPaths[root];
    if (view == SettingsView::kWow64) {
        path.insert(path.find('\\') + 1, std::string(kWow64Key) + '\\');
    }
    return path;
}

// The root paths that place of source holds in heldView, spelled as in shownView: "A" or "A and
// B".
std::string HeldRoots(const SourceSettings& source, SettingsPlace place, SettingsView heldView,
                      SettingsView shownView) {
    std::string roots;
    for (size_t root = 0; root < kRootCount; ++root) {
        if (source.Root(place, heldView, root).exists) {
            roots += (roots.empty() ? "" : " and ") + RootPathIn(shownView, root);
        }
    }
    return roots;
}

// Both root paths, plain, for a message about a source that holds neither.
std::string BothRootPaths() {
    return RootPathIn(SettingsView::kPlain, 0) + " or " + RootPathIn(SettingsView::kPlain, 1) +
           " (nor under SOFTWARE\\WOW6432Node)";
}

// Why a source holds no settings, after "holds no settings: ", from what it looks like.
std::string EmptySourceDescription(HiveKind kind) {
    switch (kind) {
        case HiveKind::kNotAHive:
            break;
        case HiveKind::kSoftware:
            return "it looks like a SOFTWARE hive, but has no key " + BothRootPaths();
        case HiveKind::kUserProfile:
            return "it looks like a user's NTUSER.DAT (its top key holds Control Panel or "
                   "Environment), which holds no virtual store: Windows keeps that in the "
                   "user's UsrClass.dat, in Users\\NAME\\AppData\\Local\\Microsoft\\Windows";
        case HiveKind::kUserClasses:
            return "it looks like a user's UsrClass.dat, but its virtual store has no key " +
                   BothRootPaths();
        case HiveKind::kOther:
            return "it is a registry hive, but neither a SOFTWARE hive nor a user's "
                   "UsrClass.dat";
    }
    return "no key " + BothRootPaths() +
           " of the machine (HKEY_LOCAL_MACHINE, a SOFTWARE hive) or of a user's virtual store "
           "(Software\\Classes\\VirtualStore\\MACHINE, a UsrClass.dat hive)";
}

// Why the run reads nothing from place of source number index, where it holds the settings:
// "" when it reads them.
std::string UnusedPlaceReason(const SourceMerge& merge, size_t index, SettingsPlace place,
                              size_t root) {
    const SourceSettings& source = *merge.sources[index];
    if (source.Root(place, merge.view, root).exists) {
        return "";
    }
    const std::string inView = HeldRoots(source, place, merge.view, merge.view);
    if (!inView.empty()) {
        // The root in use exists, and not in this place: the other place's source holds it.
        const size_t holder = place == SettingsPlace::kMachine ? merge.store : merge.machine;
        return "they lie only under " + inView +
               ", and the instrument software reads only the first of its settings keys that "
               "exists: " +
               RootPathIn(merge.view, root) + ", which " + merge.paths[holder] + " holds";
    }
    // The settings lie only in the plain view: the 64-bit one is chosen only when some source
    // holds SOFTWARE\WOW6432Node.
    size_t decider = 0;
    while (decider + 1 < merge.sources.size() && !merge.sources[decider]->wow64) {
        ++decider;
    }
    const SettingsView plain = SettingsView::kPlain;
    return "they lie only under " + HeldRoots(source, place, plain, plain) +
           ", which the 32-bit instrument software reads on 32-bit Windows, but " +
           (decider == index ? "it" : merge.paths[decider]) +
           " holds SOFTWARE\\WOW6432Node: the settings come from 64-bit Windows, where that "
           "software reads " +
           HeldRoots(source, place, plain, merge.view);
}

}  // namespace

std::string PathList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) {
        list += (list.empty() ? "" : ", ") + path;
    }
    return list;
}

std::string NoSettingsMessage(const SourceMerge& merge) {
    const std::vector<std::string>& paths = merge.paths;
    const std::string subject =
        paths.size() == 1 ? paths[0] + ": holds no" : PathList(paths) + ": none holds any";
    bool otherView = false;
    for (const auto& source : merge.sources) {
        otherView = otherView || source->Holds(SettingsPlace::kMachine) ||
                    source->Holds(SettingsPlace::kVirtualStore);
    }
    if (otherView && merge.view == SettingsView::kWow64) {
        return subject +
               " settings that the 32-bit instrument software sees: the registry comes from "
               "64-bit Windows (it holds SOFTWARE\\WOW6432Node), where that software reads "
               "SOFTWARE\\WOW6432Node\\Quorix or SOFTWARE\\WOW6432Node\\Zentyl, but the "
               "settings lie only under SOFTWARE\\Quorix or SOFTWARE\\Zentyl, which 64-bit "
               "programs use";
    }
    const HiveKind kind = paths.size() == 1 ? merge.sources[0]->hiveKind : HiveKind::kNotAHive;
    return subject + " settings: " + EmptySourceDescription(kind);
}

void ReportUnusedSources(const SourceMerge& merge, size_t root,
                         std::vector<SourceWarning>* warnings) {
    for (size_t index = 0; index < merge.sources.size(); ++index) {
        const std::string& path = merge.paths[index];
        if (index != merge.machine && index != merge.store) {
            warnings->push_back({path, 0,
                                 "not used: it holds no settings: " +
                                     EmptySourceDescription(merge.sources[index]->hiveKind),
                                 true});
            continue;
        }
        const struct {
            SettingsPlace place;
            size_t holder;
            const char* name;
        } places[] = {{SettingsPlace::kMachine, merge.machine, "machine"},
                      {SettingsPlace::kVirtualStore, merge.store, "virtual store"}};
        for (const auto& held : places) {
            const std::string reason =
                held.holder == index ? UnusedPlaceReason(merge, index, held.place, root) : "";
            if (!reason.empty()) {
                warnings->push_back(
                    {path, 0, std::string("its ") + held.name + " settings are not used: " + reason,
                     true});
            }
        }
    }
}
