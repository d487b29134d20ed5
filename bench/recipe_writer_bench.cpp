// recipe_writer_bench: times rcpconv on a large export against the floor of each job (what the
// same file work costs with cp, cat or a plain careful writer) in the same run, and prints each
// goal as a ratio; also the peak memory at two sizes.
//
//   recipe_writer_bench [SETS]                     (default 10000; memory also at twice SETS)
//   recipe_writer_bench --export SETS FILE [VARIANT]   only writes the export (see WriteExport)
//
// The work files go to a fresh directory under $TMPDIR (default /tmp), which should lie on
// the disk that is to be measured. Each job and its floor run one after the other, kTrials
// times ($RC_BENCH_TRIALS to change it); each ratio is the median of those pairs' ratios, so
// that a disk shared with other work weighs on both sides alike.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kDefaultSets = 10000;
constexpr int kTrials = 7;  // with three, one stall of the shared disk could decide a median
constexpr char kTrialsVariable[] = "RC_BENCH_TRIALS";
constexpr double kKilobytesPerMegabyte = 1024.0;
constexpr size_t kCalibrationBytes = 16;  // a binary value no rule reads, as real sets hold

struct Goal {
    const char* what;
    double limit;  // the ratio must not exceed it
};
const Goal kIntoEmpty = {"into an empty directory, durable / (cp -r + sync -f)", 1.5};
const Goal kConversionAlone = {"conversion alone (--stdout) / plain cp -r", 0.5};
const Goal kUnchanged = {"over unchanged recipes / one cat of them", 1.5};
const Goal kChanged = {"over changed recipes / careful per-file writer", 1.2};
constexpr double kPeakMegabytesLimit = 64;

// One line of text, CR LF and UTF-16LE added, as regedit writes an export.
void AppendLine(std::string* out, const std::string& ascii) {
    for (char c : ascii + "\r\n") {
        out->push_back(c);
        out->push_back('\0');
    }
}

std::string Dword(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", value);
    return text;
}

std::string Hex(const std::vector<unsigned>& bytes) {
    std::string text = "hex:";
    for (size_t i = 0; i < bytes.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", bytes[i] & 0xFF);
        text += byte;
    }
    return text;
}

std::string SetName(size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "Recipe %05zu", index);
    return name;
}

// Writes a v5 UTF-16 export of sets settings sets with 40 values each. variant changes a few
// values of every set, so that the recipes of two variants differ in some entries only.
bool WriteExport(const std::string& path, size_t sets, unsigned variant) {
    const std::string root =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings";
    std::string out = "\xFF\xFE";
    AppendLine(&out, "Windows Registry Editor Version 5.00");
    AppendLine(&out, "");
    AppendLine(&out, "[" + root + "]");
    std::vector<unsigned> calibration(kCalibrationBytes);
    for (size_t i = 0; i < sets; ++i) {
        const unsigned n = static_cast<unsigned>(i);
        const std::string k = std::to_string(n % 97);
        for (size_t b = 0; b < calibration.size(); ++b) {
            calibration[b] = n + b;
        }
        const std::vector<std::pair<std::string, std::string>> values = {
            {"Mat1", "\"GaAs\""},
            {"%Mat2", Dword(n % 60)},
            {"Mat2", "\"AlAs\""},
            {"Electrolyte", "\"0.1M Tiron " + k + "\""},
            {"AmpCar", "\"0.0" + std::to_string(5 + variant) + "\""},
            {"FreqCar", "\"" + std::to_string(1 + n % 40) + ".7\""},
            {"ImLimDark", "\"5e-7\""},
            {"V-Step", "\"0.05\""},
            {"Model", Dword(variant)},
            {"AutoSave", Hex({n % 16})},
            {"IV-Imin", "\"-1e-6\""},
            {"IV-Imax", "\"1e-3\""},
            {"IV-Vmin", "\"-5\""},
            {"IV-Vmax", "\"1\""},
            {"CV-Vmin", "\"-3\""},
            {"CV-Vmax", "\"0.5\""},
            {"CV-Cmax", "\"2e-8\""},
            {"CV-Show", Dword(1)},
            {"DP-Vmin", "\"-2\""},
            {"DP-Vmax", "\"0\""},
            {"DP-Nmin", Dword(15)},
            {"DP-Nmax", Dword(19)},
            {"DP-Xmax", "\"2\""},
            {"DP-Reverse", Hex({0})},
            {"EP-Nmin", Dword(15)},
            {"EP-Nmax", Dword(19)},
            {"EP-Xend", "\"0.8\""},
            {"EP-Vmeas", "\"-0.6\""},
            {"End@Wr", Hex({1})},
            {"ExAreaComp", Hex({n % 2})},
            {"Settle-Auto", Hex({1})},
            {"Settle-Delay", Dword(300 + variant)},
            {"Settle-Delta", "\"0.002\""},
            {"Resolution", "\"0.00" + k + "\""},
            {"CycLamp1", Dword(45)},
            {"CycVetch1", "\"0.4\""},
            {"AIe", Dword(n % 3)},
            {"AIeVlim", "\"1.2\""},
            {"CycIeLim1", "\"1e-4\""},
            {"CalTable", Hex(calibration)},
        };
        AppendLine(&out, "");
        AppendLine(&out, "[" + root + "\\" + SetName(i) + "]");
        for (const auto& value : values) {
            AppendLine(&out, "\"" + value.first + "\"=" + value.second);
        }
    }
    AppendLine(&out, "");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

struct RunResult {
    double seconds = 0;
    long peakKilobytes = 0;
};

// Runs a program with its output to /dev/null; stops the benchmark when it fails.
RunResult Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) {
            _exit(127);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    wait4(child, &status, 0, &usage);
    RunResult result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakKilobytes = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.') {
            names.push_back(entry->d_name);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    char chunk[4096];
    for (size_t got; file && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, got);
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return text;
}

void Remove(const std::string& path) {
    Run({"rm", "-rf", path});
}

void SyncDisk(const std::string& path) {
    Run({"sync", "-f", path});
}

// A fresh copy of from at to, flushed so that its write-back does not fall into the next timing.
void Restore(const std::string& from, const std::string& to) {
    Remove(to);
    Run({"cp", "-r", from, to});
    SyncDisk(to);
}

// The careful floor: each file replaced one at a time by a temporary file that is written,
// flushed to the disk and renamed over it.
double CarefulWrite(const std::string& directory, const std::map<std::string, std::string>& files) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& file : files) {
        const std::string path = directory + "/" + file.first;
        const std::string temp = directory + "/.careful.tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || write(fd, file.second.data(), file.second.size()) < 0 || fsync(fd) != 0 ||
            close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
            std::perror("careful writer");
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Prints the median times of a job and its floor, and the median of their ratios trial by trial.
void PrintGoal(const Goal& goal, const std::vector<double>& seconds,
               const std::vector<double>& floorSeconds) {
    std::vector<double> ratios;
    for (size_t i = 0; i < seconds.size(); ++i) {
        ratios.push_back(seconds[i] / floorSeconds[i]);
    }
    const double ratio = Median(ratios);
    std::printf("%-55s %6.3f s / %6.3f s, ratio %5.2f (goal <= %.1f) %s\n", goal.what,
                Median(seconds), Median(floorSeconds), ratio, goal.limit,
                ratio <= goal.limit ? "met" : "MISSED");
}

double Megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) / kKilobytesPerMegabyte;
}

int Measure(size_t sets) {
    const char* tmp = std::getenv("TMPDIR");
    std::string work = std::string(tmp != nullptr ? tmp : "/tmp") + "/recipe-bench-XXXXXX";
    if (mkdtemp(work.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string exportPath = work + "/settings.reg";
    const std::string changedExport = work + "/changed.reg";
    const std::string doubleExport = work + "/double.reg";
    const std::string reference = work + "/reference";
    const std::string older = work + "/older";
    const std::string out = work + "/out";
    if (!WriteExport(exportPath, sets, 0) || !WriteExport(changedExport, sets, 1) ||
        !WriteExport(doubleExport, 2 * sets, 0)) {
        std::perror("export");
        return 1;
    }
    struct stat exportInfo = {};
    stat(exportPath.c_str(), &exportInfo);
    std::printf("export          %zu sets, %.1f MB UTF-16\n", sets,
                static_cast<double>(exportInfo.st_size) / (1 << 20));

    const std::string rcpconv = RC_RCPCONV;
    Run({rcpconv, exportPath, "-o", reference});
    Run({rcpconv, changedExport, "-o", older});
    std::map<std::string, std::string> recipes;
    size_t recipeBytes = 0;
    for (const std::string& name : FilesIn(reference)) {
        recipes[name] = ReadFile(reference + "/" + name);
        recipeBytes += recipes[name].size();
    }
    std::printf("recipes         %zu files, %.1f MB\n", recipes.size(),
                static_cast<double>(recipeBytes) / (1 << 20));

    std::vector<double> cpSync, cpPlain, intoEmpty, toStdout, cat, unchanged, careful, changed;
    long peakEmpty = 0, peakChanged = 0;
    std::vector<std::string> catArgs = {"cat"};
    for (const auto& recipe : recipes) {
        catArgs.push_back(reference + "/" + recipe.first);
    }
    const char* trialsText = std::getenv(kTrialsVariable);
    const int trials = trialsText != nullptr ? std::atoi(trialsText) : kTrials;
    for (int trial = 0; trial < trials; ++trial) {
        // The plain copy goes to a new name with no removal pending: on a disk mounted with
        // "discard" the blocks that a removal frees slow the next writes down.
        SyncDisk(work);
        const std::string fresh = work + "/copy" + std::to_string(trial);
        cpPlain.push_back(Run({"cp", "-r", reference, fresh}).seconds);
        toStdout.push_back(Run({rcpconv, "--stdout", exportPath}).seconds);
        Remove(fresh);

        Remove(out);
        SyncDisk(work);
        const double copy = Run({"cp", "-r", reference, out}).seconds;
        cpSync.push_back(copy + Run({"sync", "-f", out}).seconds);

        Remove(out);
        SyncDisk(work);
        const RunResult empty = Run({rcpconv, exportPath, "-o", out});
        intoEmpty.push_back(empty.seconds);
        peakEmpty = std::max(peakEmpty, empty.peakKilobytes);

        cat.push_back(Run(catArgs).seconds);
        unchanged.push_back(Run({rcpconv, exportPath, "-o", reference}).seconds);

        Restore(older, out);
        careful.push_back(CarefulWrite(out, recipes));
        Restore(older, out);
        const RunResult update = Run({rcpconv, exportPath, "-o", out});
        changed.push_back(update.seconds);
        peakChanged = std::max(peakChanged, update.peakKilobytes);
    }
    Remove(out);
    const RunResult twice = Run({rcpconv, doubleExport, "-o", out});

    std::printf("\n");
    PrintGoal(kIntoEmpty, intoEmpty, cpSync);
    PrintGoal(kConversionAlone, toStdout, cpPlain);
    PrintGoal(kUnchanged, unchanged, cat);
    PrintGoal(kChanged, changed, careful);
    std::printf("%-55s %6.1f MB (goal < %.0f MB) %s\n", "peak memory, over changed recipes",
                Megabytes(peakChanged), kPeakMegabytesLimit,
                Megabytes(peakChanged) < kPeakMegabytesLimit ? "met" : "MISSED");
    const double perSet = (Megabytes(twice.peakKilobytes) - Megabytes(peakEmpty)) * (1 << 20) /
                          static_cast<double>(sets);
    std::printf("peak memory into an empty directory: %zu sets %.1f MB, %zu sets %.1f MB\n", sets,
                Megabytes(peakEmpty), 2 * sets, Megabytes(twice.peakKilobytes));
    std::printf("growth per set %.0f bytes, recipe size per set %.0f bytes: %s\n", perSet,
                static_cast<double>(recipeBytes) / static_cast<double>(recipes.size()),
                perSet <= static_cast<double>(recipeBytes) / static_cast<double>(recipes.size())
                    ? "met"
                    : "MISSED");
    Remove(work);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--export") {
        const unsigned variant = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 0;
        return WriteExport(argv[3], std::strtoul(argv[2], nullptr, 10), variant) ? 0 : 1;
    }
    return Measure(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultSets);
}
