// export_reader_bench: loads a big synthetic HKEY_LOCAL_MACHINE\SOFTWARE export and prints
// the peak memory against the file's size, and the reading speed; or loads small exports
// over and over, where the cost of each load's setup shows.
//
//   export_reader_bench [MEGABYTES] [utf16|ansi]      (default 300 utf16)
//   export_reader_bench --small ROUNDS FILE...
//
// The export is mostly other software's keys, with the settings in the middle, so the
// peak memory should stay flat however big the file grows.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "sources/offline_store.h"
#include "text/codepage.h"
#include "text/text_limits.h"

namespace {

constexpr size_t kBytesPerMegabyte = 1 << 20;
constexpr size_t kDefaultMegabytes = 300;
constexpr size_t kSettingsSets = 20;
constexpr size_t kBlobBytes = 600;  // a large binary value in each filler key

long PeakRssKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes text as the file's encoding wants it.
class ExportWriter {
  public:
    ExportWriter(const std::string& path, bool utf16)
        : out_(path, std::ios::binary), utf16_(utf16) {
        if (utf16_) {
            out_.write("\xff\xfe", 2);
        }
    }
    void Line(const std::string& ascii) {
        std::string bytes;
        for (char c : ascii + "\r\n") {
            bytes.push_back(c);
            if (utf16_) {
                bytes.push_back('\0');
            }
        }
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        written_ += bytes.size();
    }
    size_t written() const { return written_; }

  private:
    std::ofstream out_;
    bool utf16_;
    size_t written_ = 0;
};

void FillerKey(ExportWriter* writer, size_t index) {
    writer->Line("");
    writer->Line("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + std::to_string(index % 97) +
                 "\\Product\\Component" + std::to_string(index) + "]");
    writer->Line("\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor\\\\Product " +
                 std::to_string(index) + "\"");
    writer->Line("\"Version\"=dword:" + std::to_string(10000000 + index % 89999999));
    std::string blob = "\"Blob\"=hex:";
    for (size_t i = 0; i < kBlobBytes; ++i) {
        blob += "ab,";
        if (blob.size() >= 77) {
            writer->Line(blob + "\\");
            blob = "  ";
        }
    }
    writer->Line(blob + "cd");
}

void SettingsKeys(ExportWriter* writer) {
    const std::string root =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings";
    writer->Line("");
    writer->Line(root + "]");
    for (size_t i = 0; i < kSettingsSets; ++i) {
        writer->Line("");
        writer->Line(root + "\\Setup " + std::to_string(i) + "]");
        writer->Line("\"Mat1\"=\"GaAs\"");
        writer->Line("\"FreqCar\"=\"3000\"");
        writer->Line("\"Model\"=dword:00000002");
    }
}

// Loads each file rounds times and prints the mean time of one load.
int LoadSmallFiles(size_t rounds, char** files, int fileCount) {
    Codepage codepage;
    std::string error;
    if (!codepage.Open("Windows-1252", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    OfflineSettingsStore store;
    const auto start = std::chrono::steady_clock::now();
    for (size_t round = 0; round < rounds; ++round) {
        for (int i = 0; i < fileCount; ++i) {
            if (!store.Load({files[i]}, codepage, &error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double loads = static_cast<double>(rounds) * fileCount;
    std::printf("loads           %.0f of %d files\n", loads, fileCount);
    std::printf("per load        %.2f us (%.2f s)\n", seconds / loads * 1e6, seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::string(argv[1]) == "--small") {
        return LoadSmallFiles(std::strtoul(argv[2], nullptr, 10), argv + 3, argc - 3);
    }
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultMegabytes;
    const bool utf16 = argc <= 2 || std::string(argv[2]) != "ansi";
    char pattern[] = "/tmp/export-bench-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    const std::string path = pattern;
    {
        ExportWriter writer(path, utf16);
        writer.Line("Windows Registry Editor Version 5.00");
        const size_t target = megabytes * kBytesPerMegabyte;
        bool settingsWritten = false;
        for (size_t key = 0; writer.written() < target; ++key) {
            if (!settingsWritten && writer.written() >= target / 2) {
                SettingsKeys(&writer);
                settingsWritten = true;
            }
            FillerKey(&writer, key);
        }
    }
    std::ifstream sizeProbe(path, std::ios::binary | std::ios::ate);
    const double fileMegabytes = static_cast<double>(sizeProbe.tellg()) / kBytesPerMegabyte;

    Codepage codepage;
    std::string error;
    if (!codepage.Open("Windows-1252", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const long rssBefore = PeakRssKilobytes();
    const auto start = std::chrono::steady_clock::now();
    OfflineSettingsStore store;
    const bool loaded = store.Load({path}, codepage, &error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long rssAfter = PeakRssKilobytes();
    std::remove(path.c_str());
    if (!loaded) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double peakMegabytes = static_cast<double>(rssAfter) / 1024;
    const double growthMegabytes = static_cast<double>(rssAfter - rssBefore) / 1024;
    std::printf("file            %.1f MB (%s)\n", fileMegabytes, utf16 ? "UTF-16LE" : "ANSI");
    std::printf("peak RSS        %.1f MB (grew %.1f MB while loading)\n", peakMegabytes,
                growthMegabytes);
    std::printf("peak/file       %.4f\n", peakMegabytes / fileMegabytes);
    std::printf("throughput      %.1f MB/s (%.2f s)\n", fileMegabytes / seconds, seconds);
    const char* rootPath = nullptr;
    SettingsKey root = nullptr;
    uint32_t sets = 0;
    if (store.FindSettingsRoot(&rootPath, &root)) {
        char name[kMaxRegistryKeyChars + 1];
        while (store.EnumerateSetName(root, sets, name, sizeof(name)) != EnumStatus::kNoMoreItems) {
            ++sets;
        }
        store.CloseSettingsKey(root);
    }
    std::printf("sets found      %u of %zu\n", sets, kSettingsSets);
    std::printf("warnings        %zu\n", store.warnings().size());
    return 0;
}
