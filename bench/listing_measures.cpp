// Measuring a listing: its time and its peaks of memory, sampled; and the listing of a dirty hive
// against the clean one and a copy of the hive, in processes of their own so that each peak is
// its own.
#include "bench/listing_measures.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "text/codepage.h"
#include "sources/offline_store.h"

namespace {

constexpr size_t kBytesPerMegabyte = 1 << 20;
constexpr double kTimeBudget = 1.5;              // of the clean listing plus one copy of the hive
constexpr size_t kMemoryOverheadMegabytes = 20;  // beyond the hive and its logs
constexpr size_t kCopyBufferBytes = 128 * 1024;  // what cat reads at a time
const char kSelf[] = "/proc/self/exe";
const char kCopyPath[] = "/dev/shm/hive_list_bench-copy";
constexpr auto kSamplePeriod = std::chrono::milliseconds(5);
constexpr size_t kLinkBytes = 256;
constexpr long kStatBlockBytes = 512;
const char kMemoryFilePrefix[] = "/memfd:";

// The resident memory of this process by kind, and the memory files it holds open (a recovered
// hive), in kilobytes.
struct MemorySample {
    long anon = 0;
    long file = 0;
    long shmem = 0;
    long memoryFiles = 0;

    // What the process takes: memory files count whether mapped (then as shmem) or not.
    long total() const { return anon + file + std::max(shmem, memoryFiles); }
};

MemorySample SampleMemory() {
    MemorySample sample;
    std::ifstream status("/proc/self/status");
    const std::pair<const char*, long*> fields[] = {
        {"RssAnon:", &sample.anon}, {"RssFile:", &sample.file}, {"RssShmem:", &sample.shmem}};
    for (std::string line; std::getline(status, line);) {
        for (const auto& [field, value] : fields) {
            if (line.compare(0, std::strlen(field), field) == 0) {
                *value = std::atol(line.c_str() + std::strlen(field));
            }
        }
    }
    // A memory file may be open more than once (libhivex opens it again by its path).
    std::set<ino_t> counted;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds)) {
            char target[kLinkBytes] = {};
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            struct stat info;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                std::strncmp(target, kMemoryFilePrefix, std::strlen(kMemoryFilePrefix)) == 0 &&
                stat(link.c_str(), &info) == 0 && counted.insert(info.st_ino).second) {
                sample.memoryFiles += static_cast<long>(info.st_blocks) * kStatBlockBytes / 1024;
            }
        }
        closedir(fds);
    }
    return sample;
}

// Lists path in a process of its own. Returns false when it failed.
bool MeasureInChild(const std::string& path, double* seconds, long* peakRssKilobytes,
                    long* peakMemoryKilobytes) {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], 1);
        close(ends[0]);
        close(ends[1]);
        execl(kSelf, kSelf, "measure", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    char line[128] = {};
    const ssize_t got = read(ends[0], line, sizeof line - 1);
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           std::sscanf(line, "%lf %ld %ld", seconds, peakRssKilobytes, peakMemoryKilobytes) == 3;
}

// The seconds cat takes to copy path into memory: read in its buffer size, written to tmpfs.
double CopySeconds(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const int in = open(path.c_str(), O_RDONLY);
    const int out = open(kCopyPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char> buffer(kCopyBufferBytes);
    for (ssize_t got; in >= 0 && out >= 0 && (got = read(in, buffer.data(), buffer.size())) > 0;) {
        if (write(out, buffer.data(), static_cast<size_t>(got)) != got) {
            break;
        }
    }
    close(in);
    close(out);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unlink(kCopyPath);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

double Megabytes(double kilobytes) {
    return kilobytes / 1024;
}

uint64_t FileBytes(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

Measurement Measure(const char* path) {
    Measurement measured;
    Codepage codepage;
    std::string error;
    if (!codepage.Open("Windows-1252", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return measured;
    }
    std::atomic<bool> done{false};
    std::atomic<long> peakAnon{0};
    std::atomic<long> peakMemory{0};
    std::thread sampler([&done, &peakAnon, &peakMemory] {
        while (!done) {
            const MemorySample sample = SampleMemory();
            peakAnon = std::max(peakAnon.load(), sample.anon);
            peakMemory = std::max(peakMemory.load(), sample.total());
            std::this_thread::sleep_for(kSamplePeriod);
        }
    });
    measured.anonBeforeKilobytes = SampleMemory().anon;
    const auto start = std::chrono::steady_clock::now();
    OfflineSettingsStore store;
    const char* rootPath = nullptr;
    std::vector<ListedSet> sets;
    bool complete = false;
    measured.loaded =
        store.Load({path}, codepage, &error) && ListSetNames(store, &rootPath, &sets, &complete);
    measured.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done = true;
    sampler.join();
    for (const SourceWarning& warning : store.warnings()) {
        std::fprintf(stderr, "%s: %s\n", path, warning.message.c_str());
    }
    if (!measured.loaded) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    measured.sets = sets.size();
    measured.peakRssKilobytes = usage.ru_maxrss;
    measured.peakAnonKilobytes = peakAnon;
    measured.peakMemoryKilobytes = peakMemory;
    return measured;
}

int CompareListings(const std::string& directory, int trials) {
    const std::string clean = directory + "/SOFTWARE";
    const std::string dirty = directory + "/dirty/SOFTWARE";
    std::vector<double> cleanSeconds;
    std::vector<double> dirtySeconds;
    std::vector<double> copySeconds;
    // Peak resident sizes, and the dirty listing's peak counting its memory file unmapped too.
    long cleanPeak = 0;
    long dirtyPeak = 0;
    long dirtyMemory = 0;
    // A first round warms the page cache and is not counted.
    for (int trial = -1; trial < trials; ++trial) {
        double seconds[3] = {};
        long peaks[2] = {};
        long memory[2] = {};
        if (!MeasureInChild(clean, &seconds[0], &peaks[0], &memory[0]) ||
            !MeasureInChild(dirty, &seconds[1], &peaks[1], &memory[1])) {
            std::fprintf(stderr, "listing %s or %s failed\n", clean.c_str(), dirty.c_str());
            return 1;
        }
        seconds[2] = CopySeconds(clean);
        if (trial >= 0) {
            cleanSeconds.push_back(seconds[0]);
            dirtySeconds.push_back(seconds[1]);
            copySeconds.push_back(seconds[2]);
            cleanPeak = std::max(cleanPeak, peaks[0]);
            dirtyPeak = std::max(dirtyPeak, peaks[1]);
            dirtyMemory = std::max({dirtyMemory, peaks[1], memory[1]});
        }
    }
    const double hive = static_cast<double>(FileBytes(dirty)) / kBytesPerMegabyte;
    const double logs =
        static_cast<double>(FileBytes(dirty + ".LOG1") + FileBytes(dirty + ".LOG2")) /
        kBytesPerMegabyte;
    const double cleanTime = Median(cleanSeconds);
    const double copyTime = Median(copySeconds);
    const double dirtyTime = Median(dirtySeconds);
    const double ratio = dirtyTime / (cleanTime + copyTime);
    const double budget = hive + logs + kMemoryOverheadMegabytes;
    std::printf("medians of %d trials, hive %.1f MB, logs %.1f MB\n", trials, hive, logs);
    std::printf("clean hive listed:          %6.3f s  peak RSS %6.1f MB\n", cleanTime,
                Megabytes(cleanPeak));
    std::printf("hive copied into memory:    %6.3f s\n", copyTime);
    std::printf(
        "dirty hive with logs listed: %6.3f s  peak RSS %6.1f MB, with its memory file %6.1f MB\n",
        dirtyTime, Megabytes(dirtyPeak), Megabytes(dirtyMemory));
    std::printf("time: %.3f / (%.3f + %.3f) = %.2f (at most %.1f): %s\n", dirtyTime, cleanTime,
                copyTime, ratio, kTimeBudget, ratio <= kTimeBudget ? "met" : "NOT MET");
    std::printf("memory: %.1f MB of at most %.1f + %.1f + %zu = %.1f MB: %s\n",
                Megabytes(dirtyMemory), hive, logs, kMemoryOverheadMegabytes, budget,
                Megabytes(dirtyMemory) <= budget ? "met" : "NOT MET");
    return ratio <= kTimeBudget && Megabytes(dirtyMemory) <= budget ? 0 : 1;
}
