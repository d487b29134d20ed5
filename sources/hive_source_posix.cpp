// Reading registry hive files with libhivex: only the keys on the way to the settings roots.
#include <hivex.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "sources/hive_image_posix.h"
#include "sources/source_readers.h"
#include "text/unicode_text.h"

namespace {

// Read-only, and strict: HIVEX_OPEN_UNSAFE would step over damaged bins and hand back what is
// left without a word, so settings could go missing unseen; a damaged hive is refused instead.
// No HIVEX_OPEN_VERBOSE: hivex would print to stderr itself.
constexpr int kHiveOpenFlags = 0;
static_assert(sizeof(hive_type) == sizeof(uint32_t), "hivex stores a value's type in 32 bits");

// Keys at the top of a hive that tell what kind it is, tried in this order.
struct HiveMark {
    const char* key;
    HiveKind kind;
};
const HiveMark kHiveMarks[] = {
    {"Control Panel", HiveKind::kUserProfile},  // every user's NTUSER.DAT has both
    {"Environment", HiveKind::kUserProfile},
    {kVirtualStoreKey, HiveKind::kUserClasses},  // where a UsrClass.dat keeps the store
    {"Local Settings", HiveKind::kUserClasses},  // every UsrClass.dat since Windows Vista
    {"Microsoft", HiveKind::kSoftware},
};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using HivexBuffer = std::unique_ptr<T, FreeDeleter>;

// Walks from a hive's top key down to the settings and hands the places it finds to a collector.
class HiveWalk {
  public:
    HiveWalk(hive_h* hive, const std::string& path, SettingsCollector* collector,
             std::vector<SourceWarning>* warnings)
        : hive_(hive), path_(path), collector_(collector), warnings_(warnings) {}
    HiveWalk(const HiveWalk&) = delete;
    HiveWalk& operator=(const HiveWalk&) = delete;

    // Feeds the settings of place below software, its SOFTWARE key. Returns false with *error
    // when the hive cannot be read on the way.
    bool Walk(hive_node_h software, SettingsPlace place, std::string* error) {
        hive_node_h wow64 = 0;
        if (!Child(software, kWow64Key, &wow64, error)) {
            return false;
        }
        if (wow64 != 0) {
            collector_->OnWow64Key();
            if (!WalkRoots(wow64, place, SettingsView::kWow64, error)) {
                return false;
            }
        }
        return WalkRoots(software, place, SettingsView::kPlain, error);
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
    bool WalkRoots(hive_node_h software, SettingsPlace place, SettingsView view,
                   std::string* error) {
        for (size_t index = 0; index < kRootCount; ++index) {
            hive_node_h node = software;
            for (const std::string& name : SettingsRootNames(index)) {
                if (!Child(node, name.c_str(), &node, error)) {
                    return false;
                }
                if (node == 0) {
                    break;
                }
            }
            if (node != 0) {
                collector_->OnRootKey(place, view, index);
                if (!WalkSets(node, place, view, index, error)) {
                    return false;
                }
            }
        }
        return true;
    }

    bool WalkSets(hive_node_h settings, SettingsPlace place, SettingsView view, size_t root,
                  std::string* error) {
        HivexBuffer<hive_node_h> sets(hivex_node_children(hive_, settings));
        if (!sets) {
            *error = HiveDamagedError("its keys are damaged");
            return false;
        }
        for (const hive_node_h* set = sets.get(); *set != 0; ++set) {
            HivexBuffer<char> name(hivex_node_name(hive_, *set));
            if (!name) {
                *error = HiveDamagedError("its keys are damaged");
                return false;
            }
            collector_->OnSetKey(place, view, root, ToUtf16(name.get()));
            if (!FeedValues(*set, name.get(), error)) {
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
};

// Feeds both kinds of settings place that a hive may hold: a SOFTWARE hive's top key is
// HKEY_LOCAL_MACHINE\SOFTWARE, a UsrClass.dat's its user's Software\Classes, which holds the
// virtual store. Returns false with *error when the hive cannot be read on the way.
bool WalkHive(hive_h* hive, HiveWalk* walk, std::string* error) {
    const hive_node_h top = hivex_root(hive);
    if (top == 0) {
        *error = HiveDamagedError("it has no top key");
        return false;
    }
    for (const SettingsPlace place : {SettingsPlace::kMachine, SettingsPlace::kVirtualStore}) {
        hive_node_h software = top;
        for (const char* name : HiveKeysToSoftware(place)) {
            if (!walk->Child(software, name, &software, error)) {
                return false;
            }
            if (software == 0) {
                break;
            }
        }
        if (software != 0 && !walk->Walk(software, place, error)) {
            return false;
        }
    }
    return true;
}

// What the hive looks like by the keys at its top. A key that cannot be read counts as missing:
// the answer only words a message.
HiveKind KindOfHive(hive_h* hive) {
    const hive_node_h top = hivex_root(hive);
    for (const HiveMark& mark : kHiveMarks) {
        if (top != 0 && hivex_node_get_child(hive, top, mark.key) != 0) {
            return mark.kind;
        }
    }
    return HiveKind::kOther;
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
    settings->hiveKind = KindOfHive(hive);
    hivex_close(hive);
    return read;
}
