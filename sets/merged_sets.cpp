// Merging the sets of the machine and of a virtual store, and finding sets and values in them.
#include "sets/merged_sets.h"

#include <algorithm>
#include <tuple>

#include "sets/value_names.h"
#include "text/codepage.h"

void MergeSets(const StoredRoot* machine, const StoredRoot* store, MergedRoot* merged) {
    const std::vector<const StoredSet*> machineSets =
        machine != nullptr ? machine->Sorted() : std::vector<const StoredSet*>();
    const std::vector<const StoredSet*> storeSets =
        store != nullptr ? store->Sorted() : std::vector<const StoredSet*>();
    merged->exists = (machine != nullptr && machine->exists) || (store != nullptr && store->exists);
    merged->sets.reserve(machineSets.size() + storeSets.size());
    size_t m = 0;
    size_t v = 0;
    while (m < machineSets.size() || v < storeSets.size()) {
        const int order = m == machineSets.size() ? 1
                          : v == storeSets.size()
                              ? -1
                              : CompareNames(machineSets[m]->name(), storeSets[v]->name());
        merged->sets.push_back(
            {order <= 0 ? machineSets[m] : nullptr, order >= 0 ? storeSets[v] : nullptr});
        m += order <= 0 ? 1 : 0;
        v += order >= 0 ? 1 : 0;
    }
    merged->sets.shrink_to_fit();
}

size_t FindMergedSet(const MergedRoot& root, std::u16string_view upper, size_t hint) {
    if (hint < root.sets.size() && CompareWithUpcased(root.sets[hint].name(), upper) == 0) {
        return hint;
    }
    const auto found = std::lower_bound(root.sets.begin(), root.sets.end(), upper,
                                        [](const MergedSet& held, std::u16string_view wanted) {
                                            return CompareWithUpcased(held.name(), wanted) < 0;
                                        });
    if (found == root.sets.end() || CompareWithUpcased(found->name(), upper) != 0) {
        return root.sets.size();
    }
    return static_cast<size_t>(found - root.sets.begin());
}

bool FindMergedValue(const SettingsArena& arena, const MergedSet& set, uint32_t name,
                     std::string_view* data) {
    return (set.store != nullptr && FindStoredValue(arena, *set.store, name, data)) ||
           (set.machine != nullptr && FindStoredValue(arena, *set.machine, name, data));
}

SetOrigin OriginOfListedSet(const Codepage& codepage, MergedRoot* root, const ListedSet& set) {
    if (root->byListedName.size() != root->sets.size()) {
        for (size_t i = 0; i < root->sets.size(); ++i) {
            std::string ansi;
            const bool exact = codepage.FromUtf16(root->sets[i].name(), &ansi);
            root->byListedName.push_back({ansi, exact, i});
        }
        std::sort(root->byListedName.begin(), root->byListedName.end(),
                  [](const MergedRoot::ListedName& a, const MergedRoot::ListedName& b) {
                      return std::tie(a.ansi, a.exact, a.index) <
                             std::tie(b.ansi, b.exact, b.index);
                  });
    }
    // Sets listed under the same look-alike name give the first one's origin.
    const auto found =
        std::lower_bound(root->byListedName.begin(), root->byListedName.end(), set,
                         [](const MergedRoot::ListedName& listed, const ListedSet& wanted) {
                             return std::tie(listed.ansi, listed.exact) <
                                    std::tie(wanted.name, wanted.nameInCodepage);
                         });
    if (found != root->byListedName.end() && found->ansi == set.name &&
        found->exact == set.nameInCodepage) {
        return root->sets[found->index].origin();
    }
    return {false, false};
}
