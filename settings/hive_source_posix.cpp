// Reading registry hive files with libhivex: only the keys on the way to the settings roots.
#include <hivex.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "settings/hive_image_posix.h"
#include "settings/settings_store.h"
#include "settings/source_readers.h"
#include "settings/unicode_text.h"

namespace {

// Read-only, and strict: HIVEX_OPEN_UNSAFE would step over damaged bins and hand back what is
// left without a word, so settings could go missing unseen; a damaged hive is refused instead.
// No HIVEX_OPEN_VERBOSE: hivex would print to stderr itself.
constexpr int kHiveOpenFlags = 0;
static_assert(sizeof(hive_type) == sizeof(uint32_t), "hivex stores a value's type in 32 bits");

const char kWow64Node[] = "WOW6432Node";
// Where a UsrClass.dat holds the virtual store of HKEY_LOCAL_MACHINE\SOFTWARE.
const char* const kVirtualStorePath[] = {"VirtualStore", "MACHINE", "SOFTWARE"};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using HivexBuffer = std::unique_ptr<T, FreeDeleter>;

// Walks from a hive's top key down to the settings and hands what it finds to a collector, as
// the keys of the registry path the hive stands for.
class HiveWalk {
  public:
    HiveWalk(hive_h* hive, const std::string& path, SettingsCollector* collector,
             std::vector<SourceWarning>* warnings)
        : hive_(hive), path_(path), collector_(collector), warnings_(warnings) {}
    HiveWalk(const HiveWalk&) = delete;
    HiveWalk& operator=(const HiveWalk&) = delete;

    // Feeds the settings places below base, which stands for the registry path standsFor.
    // Returns false with *error when the hive cannot be read on the way.
    bool Walk(hive_node_h base, RegRootKey root, const std::vector<std::u16string>& standsFor,
              std::string* error) {
        hive_node_h wow64 = 0;
        if (!Child(base, kWow64Node, &wow64, error)) {
            return false;
        }
        std::vector<std::u16string> path = standsFor;
        if (wow64 != 0) {
            path.push_back(Widen(kWow64Node));
            Key(root, path);
            if (!WalkRoots(wow64, root, path, error)) {
                return false;
            }
            path.pop_back();
        }
        return WalkRoots(base, root, path, error);
    }

    // Looks up the child of node named name (ASCII, any case); *child is 0 when there is none.
    // Returns false with *error when the hive cannot be read there.
    bool Child(hive_node_h node, const char* name, hive_node_h* child, std::string* error) {
        // hivex tells a missing child from a failure only by errno.
        errno = 0;
        *child = hivex_node_get_child(hive_, node, name);
        if (*child == 0 && errno != 0) {
            *error = HiveDamagedError("its keys are damaged");
            return false;
        }
        return true;
    }

  private:
    // Hands the key path over to the collector. Returns whether its values are wanted.
    bool Key(RegRootKey root, const std::vector<std::u16string>& path) {
        pathNames_.assign(path.begin(), path.end());
        return collector_->OnKey(root, pathNames_);
    }

    static std::u16string Widen(const std::string& ascii) {
        return std::u16string(ascii.begin(), ascii.end());
    }

    bool WalkRoots(hive_node_h software, RegRootKey root, std::vector<std::u16string> path,
                   std::string* error) {
        const size_t depth = path.size();
        for (size_t index = 0; index < kRootCount; ++index) {
            path.resize(depth);
            hive_node_h node = software;
            for (const std::string& name : SettingsRootNames(index)) {
                if (!Child(node, name.c_str(), &node, error)) {
                    return false;
                }
                if (node == 0) {
                    break;
                }
                path.push_back(Widen(name));
            }
            if (node != 0) {
                Key(root, path);
                if (!WalkSets(node, root, path, error)) {
                    return false;
                }
            }
        }
        return true;
    }

    bool WalkSets(hive_node_h settings, RegRootKey root, std::vector<std::u16string> path,
                  std::string* error) {
        HivexBuffer<hive_node_h> sets(hivex_node_children(hive_, settings));
        if (!sets) {
            *error = HiveDamagedError("its keys are damaged");
            return false;
        }
        path.emplace_back();
        for (const hive_node_h* set = sets.get(); *set != 0; ++set) {
            HivexBuffer<char> name(hivex_node_name(hive_, *set));
            if (!name) {
                *error = HiveDamagedError("its keys are damaged");
                return false;
            }
            path.back() = ToUtf16(name.get());
            if (Key(root, path) && !FeedValues(*set, name.get(), error)) {
                return false;
            }
        }
        return true;
    }

    // Feeds the values of a set; setName (UTF-8) names it in warnings.
    bool FeedValues(hive_node_h set, const char* setName, std::string* error) {
        HivexBuffer<hive_value_h> values(hivex_node_values(hive_, set));
        if (!values) {
            *error = HiveDamagedError("its values are damaged");
            return false;
        }
        for (const hive_value_h* value = values.get(); *value != 0; ++value) {
            HivexBuffer<char> key(hivex_value_key(hive_, *value));
            // A value's type may be any 32-bit number, which the enumeration hive_type does not
            // hold in C++: hivex writes it into plain storage, read back as a number.
            uint32_t type = 0;
            hive_type* typeOut = reinterpret_cast<hive_type*>(&type);
            size_t length = 0;
            if (!key || hivex_value_type(hive_, *value, typeOut, &length) != 0) {
                *error = HiveDamagedError("its values are damaged");
                return false;
            }
            const std::u16string name = ToUtf16(key.get());
            if (length > kMaxExportValueBytes) {
                warnings_->push_back({path_, 0,
                                      "value \"" + std::string(key.get()) + "\" of set \"" +
                                          setName + "\" ignored: data longer than " +
                                          std::to_string(kMaxExportValueBytes) + " bytes",
                                      true});
                continue;
            }
            HivexBuffer<char> data(hivex_value_value(hive_, *value, typeOut, &length));
            if (!data) {
                *error = HiveDamagedError("its values are damaged");
                return false;
            }
            collector_->OnValue(name, type, std::string_view(data.get(), length));
        }
        return true;
    }

    // hivex hands names over in UTF-8, whether the hive stores them in Latin-1 or UTF-16.
    static std::u16string ToUtf16(const char* utf8) {
        std::u16string text;
        AppendUtf8Decoded(utf8, &text);
        return text;
    }

    hive_h* hive_;
    const std::string& path_;
    SettingsCollector* collector_;
    std::vector<SourceWarning>* warnings_;
    std::vector<std::u16string_view> pathNames_;
};

// Feeds both kinds of settings place that a hive may hold. Returns false with *error when the
// hive cannot be read on the way.
bool WalkHive(hive_h* hive, HiveWalk* walk, std::string* error) {
    const hive_node_h top = hivex_root(hive);
    if (top == 0) {
        *error = HiveDamagedError("it has no top key");
        return false;
    }
    // A SOFTWARE hive's top key is HKEY_LOCAL_MACHINE\SOFTWARE.
    if (!walk->Walk(top, RegRootKey::kLocalMachine, {u"SOFTWARE"}, error)) {
        return false;
    }
    // A UsrClass.dat's top key is its user's Software\Classes, which holds the virtual store.
    hive_node_h store = top;
    for (const char* name : kVirtualStorePath) {
        if (!walk->Child(store, name, &store, error)) {
            return false;
        }
        if (store == 0) {
            return true;
        }
    }
    return walk->Walk(store, RegRootKey::kCurrentUser,
                      {u"Software", u"Classes", u"VirtualStore", u"MACHINE", u"SOFTWARE"}, error);
}

}  // namespace

bool ReadHiveSource(const std::string& path, SourceSettings* settings,
                    std::vector<SourceWarning>* warnings, std::string* error) {
    HiveImage image;
    if (!image.Open(path, warnings, error)) {
        return false;
    }
    hive_h* hive = hivex_open(image.readPath().c_str(), kHiveOpenFlags);
    if (hive == nullptr) {
        // EINVAL: hivex found the header's checksum wrong; ENOTSUP: a bin or the top key bad.
        const int reason = errno;
        *error = reason == EINVAL    ? HiveDamagedError("its header is damaged")
                 : reason == ENOTSUP ? HiveDamagedError("its structure is damaged")
                                     : std::string("cannot be read: ") + std::strerror(reason);
        return false;
    }
    SettingsCollector collector(settings);
    HiveWalk walk(hive, path, &collector, warnings);
    const bool read = WalkHive(hive, &walk, error);
    collector.Finish();
    hivex_close(hive);
    return read;
}
