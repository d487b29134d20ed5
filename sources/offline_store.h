// The settings store read from offline copies of the registry, registry exports (.reg) and
// hive files, instead of the live registry: what the 32-bit instrument software saw on its PC.
//
// Use:
//   Codepage codepage;                      // the ANSI code page of the Windows machine
//   codepage.Open("Windows-1252", &error);
//   OfflineSettingsStore store;
//   bool loaded = store.Load({"SOFTWARE", "UsrClass.dat"}, codepage, &error);
//   for (const SourceWarning& w : store.warnings()) print w.path[:w.line]: w.message
//   if (!loaded) { print error; exit 2; }
//   then use it as any SettingsStore.
//
// Each source is told apart by its content: a file that starts with "regf" is a hive, any other
// an export. A hive's transaction logs are read with it; given as sources beside it (as a glob
// such as SOFTWARE* gives them), they are left out, and so are the files of its transactional
// registry. Load keeps only the keys in the places of the settings roots (see
// sets/settings_places.h), so a whole SOFTWARE hive or export costs little beyond its
// settings. It then merges them as Windows showed them to the program:
//  - The view is decided once for the run: when any source holds SOFTWARE\WOW6432Node (on the
//    machine, or in a virtual store's MACHINE\SOFTWARE), the sources come from 64-bit Windows
//    and only the WOW6432Node places count; otherwise only the plain ones.
//  - At most one source may hold the machine's settings and at most one a user's virtual
//    store (one export may hold both). A file given twice is read once.
//  - A root path exists when it exists on the machine or in the virtual store; the first of
//    kSettingsRootPaths that exists is the root. Its sets are those of both places; in a set
//    held by both, a value of the virtual store wins over the machine's value of that name.
//  - A source the program would read nothing from (one holding no settings, or holding them
//    only in the other view or under another root path) is named in a warning with the reason,
//    as a part of a source left out.
//
// After Load the store answers as RegEnumKeyA / RegQueryValueExA would: sets in the registry's
// order (names compared upper-cased), text-like values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// converted to the code page with their stored terminator, every other value as its raw
// bytes. EnumerateSetName gives a name in the code page (best-fit letters or '?' where it has
// none), and answers kNameNotInCodepage for such a name; a set whose name does not survive
// that conversion cannot be opened, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "registry/settings_store.h"
#include "sets/merged_sets.h"
#include "sources/source_readers.h"

class Codepage;

class OfflineSettingsStore : public SettingsStore {
  public:
    OfflineSettingsStore();
    ~OfflineSettingsStore() override;
    OfflineSettingsStore(const OfflineSettingsStore&) = delete;
    OfflineSettingsStore& operator=(const OfflineSettingsStore&) = delete;

    // Reads the sources at paths, converting text with codepage, which must outlive the store
    // (the names given to OpenSettingsSet and QueryValue are read through it too).
    // Returns true when every source was read and a settings root exists in the merged view;
    // malformed lines, a file given again and a source left unused do not fail the load, they
    // are listed in warnings(). Returns false with
    // *error, one line for the user, when a source cannot be opened or read, an export's
    // encoding or header is unusable, a hive is damaged, a transaction log is given without its
    // hive, two sources hold the machine's settings, the virtual stores of two users are given,
    // or no settings root exists. The warnings of the sources read before a failure stay in
    // warnings(). May be called again; each call starts afresh.
    bool Load(const std::vector<std::string>& paths, const Codepage& codepage, std::string* error);

    // What the last Load reported besides an error, in source and line order.
    const std::vector<SourceWarning>& warnings() const;

    // The source that gave the machine's settings, and the one that gave the virtual store's;
    // "" when none did.
    const std::string& machineSource() const;
    const std::string& virtualStoreSource() const;

    // Where a set that ListSetNames listed comes from; both false for a name it did not list.
    // Sets listed under the same look-alike name give the first one's origin.
    SetOrigin OriginOfSet(const ListedSet& set) const;

    bool FindSettingsRoot(const char** rootPath, SettingsKey* root) override;
    EnumStatus EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                size_t nameSize) override;
    bool OpenSettingsRoot(const char* rootPath, SettingsKey* root) override;
    bool OpenSettingsSet(SettingsKey root, const char* setName, SettingsKey* set) override;
    QueryStatus QueryValue(SettingsKey set, const char* valueName, void* buffer, uint32_t size,
                           uint32_t* length) override;
    void CloseSettingsKey(SettingsKey key) override;

  private:
    struct Data;
    std::unique_ptr<Data> data_;
};
