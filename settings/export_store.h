// The settings store read from a registry export (.reg file) instead of the live registry.
//
// Use:
//   Codepage codepage;                      // the ANSI code page of the Windows machine
//   codepage.Open("Windows-1252", &error);
//   ExportSettingsStore store;
//   if (!store.Load(path, codepage, &error)) { print error; exit 2; }
//   for (const ExportWarning& w : store.warnings()) print path:w.line: w.message
//   then use it as any SettingsStore.
//
// Load streams the file once and keeps only the keys under the settings roots, so a whole
// HKEY_LOCAL_MACHINE\SOFTWARE export costs no more memory than its settings. Each root path
// of kSettingsRootPaths is looked for first as the 32-bit view of 64-bit Windows holds it
// (SOFTWARE\WOW6432Node\...), then as written; the first one present is the root.
//
// After Load the store answers as RegEnumKeyA / RegQueryValueExA would on a registry that
// imported the file: sets in the registry's order (names compared upper-cased), text-like
// values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) converted to the code page with their stored
// terminator, every other value as its raw bytes. EnumerateSetName gives a name in the code
// page (best-fit letters or '?' where it has none), and answers kNameNotInCodepage for such a
// name; a set whose name does not survive that conversion cannot be opened, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_store.h"

class Codepage;

// A line of the export that was skipped, as regedit skips it.
struct ExportWarning {
    size_t line;          // 1-based line number in the file
    std::string message;  // one line of English, without the file name or line number
};

class ExportSettingsStore : public SettingsStore {
  public:
    ExportSettingsStore();
    ~ExportSettingsStore() override;
    ExportSettingsStore(const ExportSettingsStore&) = delete;
    ExportSettingsStore& operator=(const ExportSettingsStore&) = delete;

    // Reads the export at path, converting text with codepage, which must outlive the store
    // (the names given to OpenSettingsSet and QueryValue are read through it too).
    // Returns true when the file was read and holds a settings root; malformed lines do not
    // fail the load, they are listed in warnings(). Returns false with *error, a message that
    // starts with the path ("PATH: ..."), when the file cannot be opened or read, its
    // encoding is unreadable (UTF-16 without a byte-order mark), its header is missing or
    // unknown, or it holds no settings root. May be called again; each call starts afresh.
    bool Load(const std::string& path, const Codepage& codepage, std::string* error);

    // The lines skipped by the last Load, in file order.
    const std::vector<ExportWarning>& warnings() const;

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
