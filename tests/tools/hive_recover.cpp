// hive_recover HIVE OUT: writes to OUT the hive exactly as rcpconv reads it, with the logs found
// beside HIVE applied, and prints rcpconv's messages about it on stderr. Exits 0 when OUT was
// written (recovered or already clean), 2 when HIVE cannot be read, 1 when OUT cannot be written.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sources/hive_image_posix.h"

namespace {

constexpr int kWritten = 0;
constexpr int kOutNotWritten = 1;
constexpr int kHiveUnreadable = 2;

void PrintMessage(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "rcpconv: %s: %s\n", path.c_str(), message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hive_recover HIVE OUT\n");
        return kHiveUnreadable;
    }
    const std::string hive = argv[1];
    HiveImage image;
    std::vector<SourceWarning> warnings;
    std::string error;
    const bool opened = image.Open(hive, &warnings, &error);
    for (const SourceWarning& warning : warnings) {
        PrintMessage(hive, warning.message);
    }
    if (!opened) {
        PrintMessage(hive, error);
        return kHiveUnreadable;
    }
    std::ifstream in(image.readPath(), std::ios::binary);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.close();
    if (!in || !out) {
        std::fprintf(stderr, "hive_recover: cannot write %s\n", argv[2]);
        return kOutNotWritten;
    }
    return kWritten;
}
