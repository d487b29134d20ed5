// The registry's vocabulary: value types, root keys, limits, and the sink that the readers of
// copies of the registry hand their keys and values to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Registry value types that the readers produce or treat specially.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// True for the value types that hold text: the registry converts those to and from the code page.
constexpr bool IsTextType(uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Hard limits, to stop a damaged or hostile copy of the registry from taking unbounded memory.
constexpr size_t kMaxExportValueBytes = 1 << 20;  // longer kept values are dropped and reported
constexpr size_t kMaxValueNameChars = 16383;      // the registry's own limit

// The registry's predefined keys that a key path may start with.
enum class RegRootKey {
    kLocalMachine,
    kUsers,
    kClassesRoot,
    kCurrentConfig,
    kCurrentUser,
    kDynData,
};

// Receives what a copy of the registry holds, in its order.
class RegExportSink {
  public:
    virtual ~RegExportSink() = default;

    // The names and data handed over are valid only during the call.

    // A key line [ROOT\A\B]: the key becomes current (created with its parents). path holds
    // the names below the root, never empty ones. Returns whether the values of this key are
    // wanted: the data of values that are not is parsed for errors and then dropped.
    virtual bool OnKey(RegRootKey root, const std::vector<std::u16string_view>& path) = 0;

    // A deletion line [-ROOT\A\B]: the key and everything under it go; no key is current.
    virtual void OnDeleteKey(RegRootKey root, const std::vector<std::u16string_view>& path) = 0;

    // A value of the current, wanted key. name is "" for the default value; data is as the
    // registry stores it.
    virtual void OnValue(std::u16string_view name, uint32_t type, std::string_view data) = 0;

    // "name"=- in the current, wanted key.
    virtual void OnDeleteValue(std::u16string_view name) = 0;
};
