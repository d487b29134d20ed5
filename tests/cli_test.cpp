// Golden-file tests of rcpconv end to end: its exit code, stdout, stderr and the files it leaves.
//
// Each case is a directory under tests/data/cli/ (see the README there): the run happens in a
// fresh working directory holding the sample export and the case's input/ files; afterwards
// stdout, stderr, the exit code and the list of every path in the working directory must
// equal the expected-* files, and each file that is new or changed must equal its copy in
// after/. RC_UPDATE_GOLDEN=1 rewrites the expected files from the run instead.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/hive_writer.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kSampleName[] = "qz7165-settings.reg";

struct RunResult {
    int exitCode = -1;  // -1 when it did not exit on its own
    bool killed = false;
    std::string out;
    std::string err;
};

// In a child process that StartProgram made: runs argv under the file size limit (see
// LimitFileSize), its stderr going through a pipe so that the limit does not cut the messages
// themselves, and ends with its exit code.
[[noreturn]] void RunUnderFileSizeLimit(char** argv, size_t fileSizeLimit) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        _exit(127);
    }
    const pid_t limited = fork();
    if (limited == 0) {
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        LimitFileSize(fileSizeLimit);
        execvp(argv[0], argv);
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        if (write(2, buffer, static_cast<size_t>(got)) != got) {
            _exit(127);
        }
    }
    int status = 0;
    waitpid(limited, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// Starts program with args in directory, stdin from inputPath ("" for none), its two streams
// going to files beside it; with a fileSizeLimit, under that limit (see LimitFileSize).
// Returns its process id.
pid_t StartProgram(const std::string& directory, const std::string& program,
                   const std::vector<std::string>& args, const std::string& inputPath = "",
                   size_t fileSizeLimit = 0) {
    const std::string outPath = directory + "/../stdout";
    const std::string errPath = directory + "/../stderr";
    std::vector<char*> argv;
    std::string programCopy = program;
    argv.push_back(programCopy.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int in = open(inputPath.empty() ? "/dev/null" : inputPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(directory.c_str()) != 0 || dup2(in, 0) < 0 ||
            dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(127);
        }
        if (fileSizeLimit != 0) {
            RunUnderFileSizeLimit(argv.data(), fileSizeLimit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Waits for a program that StartProgram started in directory and collects what it printed.
RunResult WaitForProgram(pid_t child, const std::string& directory) {
    RunResult result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    result.out = ReadFileBytes(directory + "/../stdout");
    result.err = ReadFileBytes(directory + "/../stderr");
    return result;
}

// Runs program with args in directory, stdin from inputPath ("" for none).
RunResult RunProgram(const std::string& directory, const std::string& program,
                     const std::vector<std::string>& args, const std::string& inputPath = "") {
    return WaitForProgram(StartProgram(directory, program, args, inputPath), directory);
}

pid_t StartRcpconv(const std::string& directory, const std::vector<std::string>& args,
                   size_t fileSizeLimit = 0) {
    return StartProgram(directory, RC_RCPCONV, args, "", fileSizeLimit);
}

// Runs rcpconv with args in directory (see StartProgram).
RunResult RunRcpconv(const std::string& directory, const std::vector<std::string>& args,
                     size_t fileSizeLimit = 0) {
    return WaitForProgram(StartRcpconv(directory, args, fileSizeLimit), directory);
}

std::vector<std::string> ReadLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Every path under root, relative, sorted; directories end in '/'.
std::string ListTree(const fs::path& root) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string path = fs::relative(entry.path(), root).string();
        paths.push_back(entry.is_directory() ? path + "/" : path);
    }
    std::sort(paths.begin(), paths.end());
    std::string listing;
    for (const std::string& path : paths) {
        listing += path + "\n";
    }
    return listing;
}

void CopyTree(const fs::path& from, const fs::path& to) {
    if (fs::exists(from)) {
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
}

// The files under directory whose names end in suffix.
std::vector<fs::path> FilesEndingIn(const fs::path& directory, const std::string& suffix) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            files.push_back(entry.path());
        }
    }
    return files;
}

// Replaces each NAME.logs plan under directory, with its NAME.hive.reg and NAME.steps.reg, by
// the dirty hive NAME and its logs (see WriteHiveWithLogs), and then each other NAME.hive.reg
// by the hive NAME holding its keys. name names the case.
void MakeHives(const fs::path& directory, const std::string& name) {
    const std::string suffix = ".hive.reg";
    for (const fs::path& plan : FilesEndingIn(directory, ".logs")) {
        const fs::path hive = fs::path(plan).replace_extension();
        const fs::path base = hive.string() + suffix;
        const fs::path steps = hive.string() + ".steps.reg";
        std::vector<std::string> states;
        std::string error;
        ASSERT_TRUE(MakeHiveStates(base, fs::exists(steps) ? steps.string() : "", &states, &error))
            << error;
        ASSERT_TRUE(WriteHiveWithLogs(hive, states, ReadFileBytes(plan), &error)) << error;
        // The fuzzer of hive recovery is seeded with these (see fuzz/README.md).
        if (const char* seeds = std::getenv("RC_HIVE_FUZZ_SEEDS")) {
            WriteHiveFuzzInput(hive, fs::path(seeds) / (name + "-" + hive.filename().string()));
        }
        fs::remove(plan);
        fs::remove(base);
        fs::remove(steps);
    }
    for (const fs::path& path : FilesEndingIn(directory, suffix)) {
        std::string hive = path.string();
        hive.resize(hive.size() - suffix.size());
        std::string error;
        ASSERT_TRUE(WriteHiveFromExport(hive, path.string(), &error)) << error;
        fs::remove(path);
    }
}

class CliGolden : public ::testing::TestWithParam<const char*> {};

TEST_P(CliGolden, MatchesExpectedOutputAndFiles) {
    const fs::path caseDir = fs::path(RC_TEST_DATA_DIR) / "cli" / GetParam();
    ScratchDir scratch;
    const fs::path work = fs::path(scratch.path()) / "work";
    const fs::path inputs = fs::path(scratch.path()) / "inputs";
    fs::create_directories(inputs);
    fs::copy_file(fs::path(RC_SOURCE_DIR) / "examples" / kSampleName, inputs / kSampleName);
    CopyTree(caseDir / "input", inputs);
    MakeHives(inputs, GetParam());
    fs::copy(inputs, work, fs::copy_options::recursive);

    const RunResult run = RunRcpconv(work.string(), ReadLines(ReadFileBytes(caseDir / "args")));
    const std::string tree = ListTree(work);

    // Files the run created or changed; inputs it left alone are not part of the golden data.
    std::vector<fs::path> changed;
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
        const fs::path relative = fs::relative(entry.path(), work);
        if (entry.is_regular_file() &&
            (!fs::exists(inputs / relative) ||
             ReadFileBytes(entry.path().string()) != ReadFileBytes((inputs / relative).string()))) {
            changed.push_back(relative);
        }
    }

    if (std::getenv("RC_UPDATE_GOLDEN") != nullptr) {
        WriteFileBytes(caseDir / "expected-stdout", run.out);
        WriteFileBytes(caseDir / "expected-stderr", run.err);
        WriteFileBytes(caseDir / "expected-exit", std::to_string(run.exitCode) + "\n");
        WriteFileBytes(caseDir / "expected-tree", tree);
        fs::remove_all(caseDir / "after");
        for (const fs::path& relative : changed) {
            fs::create_directories((caseDir / "after" / relative).parent_path());
            fs::copy_file(work / relative, caseDir / "after" / relative);
        }
        GTEST_SKIP() << "golden files rewritten";
    }

    EXPECT_EQ(std::to_string(run.exitCode) + "\n", ReadFileBytes(caseDir / "expected-exit"));
    EXPECT_EQ(run.err, ReadFileBytes(caseDir / "expected-stderr"));
    EXPECT_EQ(run.out, ReadFileBytes(caseDir / "expected-stdout"));
    EXPECT_EQ(tree, ReadFileBytes(caseDir / "expected-tree"));
    for (const fs::path& relative : changed) {
        const fs::path golden = caseDir / "after" / relative;
        EXPECT_TRUE(fs::exists(golden)) << relative << " was written but is not expected";
        EXPECT_EQ(ReadFileBytes((work / relative).string()), ReadFileBytes(golden.string()))
            << relative;
    }
    if (fs::exists(caseDir / "after")) {
        for (const auto& entry : fs::recursive_directory_iterator(caseDir / "after")) {
            const fs::path relative = fs::relative(entry.path(), caseDir / "after");
            EXPECT_TRUE(entry.is_directory() ||
                        std::find(changed.begin(), changed.end(), relative) != changed.end())
                << relative << " was expected to be written";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rcpconv, CliGolden,
    ::testing::Values(
        "sample", "sample_list", "set_order_stdout", "set_subset_nested_output", "unknown_set",
        "unconvertible_names", "long_path", "missing_export", "bad_header", "malformed_lines",
        "no_root", "empty_set", "update_in_place", "no_export", "usage_error", "unknown_codepage",
        "look_alike_names", "look_alike_names_selected", "output_trailing_separator",
        "dry_run_diff", "diff_real_run", "dry_run_new_directory", "dry_run_blocked_directory",
        "explain", "preview_excludes_stdout", "plain_view", "virtual_store_merge",
        "virtual_store_list_verbose", "two_machines", "malformed_no_root", "hive_list",
        "hive_merge", "hive_list_verbose", "hive_store_export", "hive_no_settings", "hive_damaged",
        "device_names_codepage", "hive_logs_new", "hive_logs_split", "hive_logs_applied_before",
        "hive_logs_bad_hash", "hive_logs_gap", "hive_logs_stale_entry", "hive_logs_grown",
        "hive_logs_cut_short", "hive_logs_bad_base_block", "hive_logs_other_hive",
        "hive_logs_clean", "hive_logs_missing", "hive_logs_lower_case", "hive_logs_old",
        "hive_logs_old_timestamps", "hive_logs_old_bad_base_block", "hive_logs_old_bad_bin",
        "hive_logs_xp", "hive_logs_as_sources", "hive_log_alone"),
    [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The bytes of every file under root by relative path, and every directory as "NAME/".
std::map<std::string, std::string> TreeContents(const fs::path& root) {
    std::map<std::string, std::string> contents;
    if (!fs::exists(root)) {
        return contents;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            contents[relative + "/"] = "";
        } else {
            contents[relative] = ReadFileBytes(entry.path().string());
        }
    }
    return contents;
}

// Recipes as they stand before a run: file name to bytes.
struct StartingRecipes {
    std::string name;
    std::map<std::string, std::string> files;
};

std::map<std::string, std::string> FilesIn(const fs::path& directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().extension() == ".rcp") {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

// No recipes at all; the recipes users left in the update cases; and each edited INI file of
// the INI editor's cases (comments, LF or lone CR line ends, no final line break, a UTF-8 mark,
// odd names) in place of every recipe the sample makes.
std::vector<StartingRecipes> PreviewStarts() {
    const fs::path data = RC_TEST_DATA_DIR;
    std::vector<StartingRecipes> starts = {
        {"no recipes", {}},
        {"recipe_update", FilesIn(data / "recipe_update")},
        {"cli/update_in_place", FilesIn(data / "cli/update_in_place/input/Recipes")},
        {"cli/dry_run_diff", FilesIn(data / "cli/dry_run_diff/input/Recipes")},
    };
    const std::map<std::string, std::string> sampleRecipes =
        FilesIn(data / "cli/sample/after/Recipes");
    std::vector<fs::path> edited;
    for (const auto& entry : fs::directory_iterator(data / "ini")) {
        const std::string name = entry.path().filename().string();
        if (name.size() > sizeof ".before.rcp" &&
            name.compare(name.size() - (sizeof ".before.rcp" - 1), std::string::npos,
                         ".before.rcp") == 0) {
            edited.push_back(entry.path());
        }
    }
    std::sort(edited.begin(), edited.end());
    for (const fs::path& path : edited) {
        StartingRecipes start{"ini/" + path.filename().string(), {}};
        for (const auto& [name, bytes] : sampleRecipes) {
            start.files[name] = ReadFileBytes(path.string());
        }
        starts.push_back(start);
    }
    return starts;
}

// A working directory holding the sample and the starting recipes in Recipes/.
fs::path MakeWorkDirectory(const fs::path& where, const StartingRecipes& start) {
    fs::create_directories(where);
    fs::copy_file(fs::path(RC_SOURCE_DIR) / "examples" / kSampleName, where / kSampleName);
    if (!start.files.empty()) {
        fs::create_directories(where / "Recipes");
    }
    for (const auto& [name, bytes] : start.files) {
        WriteFileBytes((where / "Recipes" / name).string(), bytes);
    }
    return where;
}

// The preview's diff, applied by GNU patch to the old recipes, gives exactly what the real run
// writes; the dry run itself changes nothing, and the real run shows the same diff.
TEST(CliPreview, DiffPatchedIntoTheOldRecipesGivesWhatTheRunWrites) {
    for (const StartingRecipes& start : PreviewStarts()) {
        SCOPED_TRACE(start.name);
        ScratchDir scratch;
        const fs::path root = scratch.path();
        const fs::path dry = MakeWorkDirectory(root / "dry", start);
        const fs::path real = MakeWorkDirectory(root / "real", start);
        const fs::path patched = MakeWorkDirectory(root / "patched", start) / "Recipes";
        fs::create_directories(patched);
        const std::map<std::string, std::string> before = TreeContents(dry);

        const RunResult preview = RunRcpconv(dry.string(), {"--dry-run", "--diff", kSampleName});
        EXPECT_EQ(TreeContents(dry), before) << "the dry run changed something";
        const RunResult run = RunRcpconv(real.string(), {"--diff", kSampleName});
        EXPECT_EQ(preview.exitCode, run.exitCode);
        EXPECT_EQ(preview.out, run.out) << "the run's diff is not the preview's";
        EXPECT_NE(preview.out, "");

        const std::string diffPath = (root / "preview.diff").string();
        WriteFileBytes(diffPath, preview.out);
        const RunResult patch = RunProgram(
            patched.string(), "patch", {"-p1", "--binary", "--no-backup-if-mismatch"}, diffPath);
        EXPECT_EQ(patch.exitCode, 0) << patch.out << patch.err;
        EXPECT_EQ(TreeContents(patched), TreeContents(real / "Recipes"));
    }
}

ino_t InodeOf(const fs::path& path) {
    struct stat info = {};
    stat(path.c_str(), &info);
    return info.st_ino;
}

// The name of the backup a rewrite in place makes of the recipe at path, beside it.
std::string BackupNameOf(const fs::path& path) {
    return ".rcp-" + std::to_string(InodeOf(path)) + ".bak";
}

// "rcpconv: "SET" not converted" lines, without their reasons, and the exit code.
std::string NotConvertedSets(const RunResult& run) {
    std::string sets = "exit " + std::to_string(run.exitCode) + "\n";
    for (const std::string& line : ReadLines(run.err)) {
        const size_t end = line.find(" not converted: ");
        if (end != std::string::npos) {
            sets += line.substr(0, end) + "\n";
        }
    }
    return sets;
}

// A recipe nobody may write, a directory in a recipe's place and a recipe whose rewrite a crash
// interrupted (its backup left beside it) fail the dry run as they fail the real one.
TEST(CliPreview, DryRunFindsTheSetsTheRunCannotWrite) {
    StartingRecipes start{"blocked", FilesIn(fs::path(RC_TEST_DATA_DIR) / "recipe_update")};
    ScratchDir scratch;
    std::string notConverted[2];
    int side = 0;
    for (const char* mode : {"--dry-run", "--diff"}) {
        const fs::path work = MakeWorkDirectory(fs::path(scratch.path()) / mode, start);
        fs::permissions(work / "Recipes/GaAs p Zn.rcp",
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::remove(work / "Recipes/AlGaAs HEMT.rcp");
        fs::create_directory(work / "Recipes/AlGaAs HEMT.rcp");
        const fs::path interrupted = work / "Recipes/InGaAs on InP.rcp";
        fs::copy_file(interrupted, work / "Recipes" / BackupNameOf(interrupted));
        notConverted[side++] = NotConvertedSets(RunRcpconv(work.string(), {mode, kSampleName}));
    }
    EXPECT_EQ(notConverted[0],
              "exit 1\n"
              "rcpconv: \"AlGaAs HEMT\"\n"
              "rcpconv: \"GaAs p Zn\"\n"
              "rcpconv: \"InGaAs on InP\"\n"
              "rcpconv: \"Si 1:2\"\n");
    EXPECT_EQ(notConverted[0], notConverted[1]);
}

// The same settings as an export and as a hive made from it give the same recipes, byte for
// byte: the sample, and the export fixtures with every value type, empty data, long names and
// names outside the code page.
TEST(CliHive, RecipesFromAHiveEqualThoseFromItsExport) {
    const fs::path data(RC_TEST_DATA_DIR);
    const std::vector<fs::path> exports = {
        fs::path(RC_SOURCE_DIR) / "examples" / kSampleName,
        data / "exports" / "windows_utf16.reg",
        data / "exports" / "ansi_cp1252.reg",
        data / "exports" / "regedit4.reg",
        data / "exports" / "utf8_bom.reg",
        data / "exports" / "odd_forms.reg",
        data / "exports" / "sort_order.reg",
    };
    // The lines about sets: the reasons they were not converted, or gave no recipe.
    const auto setReports = [](const std::string& err) {
        std::string reports;
        for (const std::string& line : ReadLines(err)) {
            if (line.find("\" not converted: ") != std::string::npos ||
                line.find(" holds no value to convert") != std::string::npos) {
                reports += line + "\n";
            }
        }
        return reports;
    };
    size_t recipes = 0;
    for (const fs::path& exportPath : exports) {
        SCOPED_TRACE(exportPath.filename().string());
        ScratchDir scratch;
        const fs::path work(scratch.path());
        std::string error;
        ASSERT_TRUE(WriteHiveFromExport(scratch.File("SOFTWARE"), exportPath.string(), &error))
            << error;
        const RunResult fromExport =
            RunRcpconv(work.string(), {exportPath.string(), "-o", "from-export"});
        const RunResult fromHive = RunRcpconv(work.string(), {"SOFTWARE", "-o", "from-hive"});
        EXPECT_EQ("", fromHive.out);
        EXPECT_NE(std::string::npos, fromHive.err.find(" written to from-hive")) << fromHive.err;
        ASSERT_TRUE(fs::exists(work / "from-hive"));
        EXPECT_EQ(ListTree(work / "from-export"), ListTree(work / "from-hive"));
        EXPECT_EQ(setReports(fromExport.err), setReports(fromHive.err));
        for (const auto& entry : fs::recursive_directory_iterator(work / "from-hive")) {
            const fs::path relative = fs::relative(entry.path(), work / "from-hive");
            EXPECT_EQ(ReadFileBytes((work / "from-export" / relative).string()),
                      ReadFileBytes(entry.path().string()))
                << relative;
            ++recipes;
        }
    }
    EXPECT_GT(recipes, 10u);
}

// hive_recover writes a dirty hive as rcpconv reads it: hivexregedit exports the whole of it as
// it exports the hive of the last state written cleanly, and prints rcpconv's messages. It
// refuses a hive that cannot be read with exit 2, and leaves a clean one as it is.
TEST(CliHive, HiveRecoverWritesTheHiveAsWindowsWouldLoadIt) {
    ScratchDir scratch;
    const fs::path work(scratch.path());
    const fs::path data = fs::path(RC_TEST_DATA_DIR) / "cli" / "hive_logs_split" / "input";
    std::vector<std::string> states;
    std::string error;
    ASSERT_TRUE(
        MakeHiveStates(data / "SOFTWARE.hive.reg", data / "SOFTWARE.steps.reg", &states, &error))
        << error;
    ASSERT_TRUE(WriteHiveWithLogs(scratch.File("SOFTWARE"), states,
                                  ReadFileBytes(data / "SOFTWARE.logs"), &error))
        << error;
    WriteFileBytes(scratch.File("last"), states.back());
    const auto exported = [&work](const std::string& hive) {
        return RunProgram(work.string(), "hivexregedit", {"--export", hive, "\\"}).out;
    };
    const RunResult recovered = RunProgram(work.string(), RC_HIVE_RECOVER, {"SOFTWARE", "out"});
    EXPECT_EQ(0, recovered.exitCode);
    EXPECT_EQ(
        "rcpconv: SOFTWARE: the hive was not closed cleanly: applied 5 log entries from "
        "SOFTWARE.LOG1 and SOFTWARE.LOG2\n",
        recovered.err);
    EXPECT_NE(std::string::npos, exported("last").find("Step 5]"));
    EXPECT_EQ(exported("last"), exported("out"));

    const RunResult clean = RunProgram(work.string(), RC_HIVE_RECOVER, {"last", "copy"});
    EXPECT_EQ(0, clean.exitCode);
    EXPECT_EQ("", clean.err);
    EXPECT_EQ(states.back(), ReadFileBytes(scratch.File("copy")));

    WriteFileBytes(scratch.File("short"), states.back().substr(0, kHiveBaseBlockBytes));
    const RunResult unreadable = RunProgram(work.string(), RC_HIVE_RECOVER, {"short", "none"});
    EXPECT_EQ(2, unreadable.exitCode);
    EXPECT_NE(std::string::npos, unreadable.err.find("rcpconv: short: cannot be read"));
    EXPECT_FALSE(fs::exists(scratch.File("none")));
}

// The options "--help" lists, "-x" and "--long" alike, from the lines that start with them.
std::set<std::string> HelpOptions(const std::string& help) {
    const std::regex option("(^|[ ,])(--?[a-z][a-z-]*)");
    std::set<std::string> options;
    for (const std::string& line : ReadLines(help)) {
        if (line.rfind("  -", 0) != 0) {
            continue;
        }
        const std::string names = line.substr(0, line.find_first_of(" ", 2));
        for (std::sregex_iterator it(names.begin(), names.end(), option), end; it != end; ++it) {
            options.insert((*it)[2]);
        }
    }
    return options;
}

// The options the manual page describes: the item tags of its OPTIONS section.
std::set<std::string> ManualOptions(const std::string& manual) {
    const std::regex option("(^|[ \"])((\\\\-){1,2}[a-z][a-z\\\\-]*)");
    std::set<std::string> options;
    bool inOptions = false;
    bool tag = false;
    for (const std::string& line : ReadLines(manual)) {
        if (line.rfind(".SH", 0) == 0) {
            inOptions = line == ".SH OPTIONS";
        } else if (inOptions && line == ".TP") {
            tag = true;
        } else if (tag) {
            tag = false;
            for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) {
                options.insert(std::regex_replace((*it)[2].str(), std::regex("\\\\-"), "-"));
            }
        }
    }
    return options;
}

// The manual page describes exactly the options rcpconv --help lists, so the two cannot drift.
TEST(CliManual, DescribesEveryOptionOfTheHelp) {
    ScratchDir scratch;
    const RunResult help = RunRcpconv(scratch.path(), {"--help"});
    ASSERT_EQ(help.exitCode, 0);
    const std::set<std::string> helpOptions = HelpOptions(help.out);
    EXPECT_GT(helpOptions.size(), 10u);
    EXPECT_EQ(ManualOptions(ReadFileBytes(std::string(RC_SOURCE_DIR) + "/docs/rcpconv.1")),
              helpOptions);
}

// A v5 export as regedit writes it (UTF-16LE) of sets settings sets named "Set NNNN", each
// giving a recipe of a few sections; variant changes some values of every set.
std::string MakeExport(size_t sets, int variant) {
    const std::string root = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\Settings";
    std::string ascii = "Windows Registry Editor Version 5.00\r\n\r\n[" + root + "]\r\n";
    for (size_t i = 0; i < sets; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Set %04zu", i);
        char model[32];
        std::snprintf(model, sizeof model, "dword:%08x", static_cast<unsigned>(variant + i % 7));
        ascii += "\r\n[" + root + "\\" + name + "]\r\n";
        ascii += "\"Mat1\"=\"GaAs\"\r\n\"%Mat2\"=dword:00000000\r\n";
        // Texts of different lengths: a rewrite in place must also cut the file.
        ascii +=
            "\"Electrolyte\"=\"KOH " + std::to_string(i) + std::string(variant, '+') + "\"\r\n";
        ascii += "\"AmpCar\"=\"0.0" + std::to_string(5 + variant) + "\"\r\n";
        ascii += "\"Model\"=" + std::string(model) + "\r\n";
        ascii += "\"AutoSave\"=hex:0" + std::to_string(i % 10) + "\r\n";
        ascii += "\"CV-Vmin\"=\"-3\"\r\n\"CV-Vmax\"=\"0.5\"\r\n";
        ascii += "\"EP-Xend\"=\"0.8\"\r\n\"AIe\"=dword:00000001\r\n";
    }
    std::string utf16 = "\xFF\xFE";
    for (char c : ascii) {
        utf16 += c;
        utf16 += '\0';
    }
    return utf16;
}

// The recipes of a directory by name: the ".rcp" files, not the backups and temporary files.
std::map<std::string, std::string> RecipesIn(const fs::path& directory) {
    std::map<std::string, std::string> recipes;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.') {
            recipes[name] = ReadFileBytes(entry.path().string());
        }
    }
    return recipes;
}

// The names in directory that start with a dot: backups and temporary files.
std::set<std::string> HiddenFilesIn(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.') {
            names.insert(name);
        }
    }
    return names;
}

// The "not converted" lines a run printed, reasons and all.
std::set<std::string> NotConvertedLines(const RunResult& run) {
    std::set<std::string> lines;
    for (const std::string& line : ReadLines(run.err)) {
        if (line.find(" not converted: ") != std::string::npos) {
            lines.insert(line);
        }
    }
    return lines;
}

// Runs rcpconv with args in directory while watching watched, and kills it with SIGKILL once
// killAfter changes to the files there have been seen (never, when 0). Returns the run and sets
// *changes to the number of changes seen.
RunResult RunAndKill(const std::string& directory, const std::vector<std::string>& args,
                     const fs::path& watched, size_t killAfter, size_t* changes) {
    constexpr auto kDeadline = std::chrono::minutes(5);
    constexpr int kPollMilliseconds = 100;
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, watched.c_str(),
                      IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE);
    const pid_t child = StartRcpconv(directory, args);
    const auto start = std::chrono::steady_clock::now();
    *changes = 0;
    alignas(inotify_event) char events[64 * 1024];
    bool running = true;
    while (running && std::chrono::steady_clock::now() - start < kDeadline) {
        pollfd ready = {watch, POLLIN, 0};
        if (poll(&ready, 1, kPollMilliseconds) > 0) {
            const ssize_t got = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (++*changes == killAfter) {
                    kill(child, SIGKILL);
                }
            }
        }
        siginfo_t state = {};
        running =
            waitid(P_PID, static_cast<id_t>(child), &state, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            state.si_pid == 0;
    }
    close(watch);
    return WaitForProgram(child, directory);
}

// A run killed at random points of an update of a few thousand recipes, some of them
// hard-linked (rewritten in place) and the rest replaced by rename, leaves each recipe old or
// new, or else with a backup of its old text; the next run reports exactly those, converts the
// rest and leaves no temporary file.
TEST(CliInterrupted, EachRecipeIsOldOrNewOrKeptWithItsBackup) {
    constexpr size_t kSets = 2000;
    constexpr size_t kLinkedEvery = 4;  // every fourth recipe has a second name
    constexpr int kKills = 8;
    constexpr size_t kTmpfsKilobytes = 64 * 1024;  // keeps the many files off the shared disk
    ScratchTmpfs disk(kTmpfsKilobytes);
    const fs::path work = fs::path(disk.path()) / "work";
    const fs::path recipes = work / "Recipes";
    const fs::path links = work / "links";
    fs::create_directories(links);
    WriteFileBytes((work / "old.reg").string(), MakeExport(kSets, 1));
    WriteFileBytes((work / "new.reg").string(), MakeExport(kSets, 0));
    ASSERT_EQ(RunRcpconv(work.string(), {"old.reg", "-o", "old"}).exitCode, 0);
    ASSERT_EQ(RunRcpconv(work.string(), {"new.reg", "-o", "new"}).exitCode, 0);
    const std::map<std::string, std::string> oldRecipes = RecipesIn(work / "old");
    const std::map<std::string, std::string> newRecipes = RecipesIn(work / "new");
    ASSERT_EQ(oldRecipes.size(), kSets);
    auto restoreOld = [&]() {
        fs::remove_all(recipes);
        fs::remove_all(links);
        fs::create_directories(recipes);
        fs::create_directories(links);
        size_t index = 0;
        for (const auto& recipe : oldRecipes) {
            WriteFileBytes((recipes / recipe.first).string(), recipe.second);
            if (index++ % kLinkedEvery == 0) {
                fs::create_hard_link(recipes / recipe.first, links / recipe.first);
            }
        }
    };
    const std::random_device::result_type seed = std::random_device()();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);

    restoreOld();
    size_t changesOfAWholeRun = 0;
    ASSERT_EQ(RunAndKill(work.string(), {"new.reg"}, recipes, 0, &changesOfAWholeRun).exitCode, 0);
    ASSERT_EQ(RecipesIn(recipes), newRecipes);
    int killedMidway = 0;
    size_t backupsLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        restoreOld();
        const size_t killAfter =
            std::uniform_int_distribution<size_t>(1, changesOfAWholeRun - 1)(random);
        size_t changes = 0;
        killedMidway += RunAndKill(work.string(), {"new.reg"}, recipes, killAfter, &changes).killed;

        std::set<std::string> expectedReports;
        const std::map<std::string, std::string> afterKill = RecipesIn(recipes);
        ASSERT_EQ(afterKill.size(), kSets);
        for (const auto& recipe : afterKill) {
            const std::string& name = recipe.first;
            if (fs::exists(links / name)) {
                EXPECT_EQ(InodeOf(links / name), InodeOf(recipes / name)) << name;
            }
            const std::string backup = BackupNameOf(recipes / name);
            if (fs::exists(recipes / backup)) {
                expectedReports.insert("rcpconv: \"" + name.substr(0, name.size() - 4) +
                                       "\" not converted: an earlier run stopped while rewriting "
                                       "Recipes/" +
                                       name + "; its previous text is kept in Recipes/" + backup +
                                       ": check the recipe, then remove the backup");
                if (recipe.second != oldRecipes.at(name) && recipe.second != newRecipes.at(name)) {
                    EXPECT_EQ(ReadFileBytes((recipes / backup).string()), oldRecipes.at(name));
                }
            } else {
                EXPECT_TRUE(recipe.second == oldRecipes.at(name) ||
                            recipe.second == newRecipes.at(name))
                    << name << " is neither old nor new after a kill at change " << killAfter;
            }
        }
        backupsLeft += expectedReports.size();

        const RunResult next = RunRcpconv(work.string(), {"new.reg"});
        EXPECT_EQ(NotConvertedLines(next), expectedReports);
        EXPECT_EQ(next.exitCode, expectedReports.empty() ? 0 : 1);
        std::set<std::string> backups;
        for (const auto& recipe : RecipesIn(recipes)) {
            const std::string backup = BackupNameOf(recipes / recipe.first);
            if (fs::exists(recipes / backup)) {
                backups.insert(backup);
                EXPECT_EQ(recipe.second, afterKill.at(recipe.first))
                    << "touched despite its backup";
            } else {
                EXPECT_EQ(recipe.second, newRecipes.at(recipe.first));
            }
        }
        EXPECT_EQ(HiddenFilesIn(recipes), backups) << "a temporary file is left";
    }
    EXPECT_GT(killedMidway, 0) << "every run ended before its kill";
    std::cout << killedMidway << " of " << kKills << " runs killed midway over "
              << changesOfAWholeRun << " file changes; " << backupsLeft << " backups left\n";
}

// On a full disk each set that finds no room is reported with the reason, and no recipe is left
// empty or partial, nor any temporary file. Where no small tmpfs can be mounted, a file size
// limit fails the writes instead.
TEST(CliFullDisk, EachSetWithoutRoomIsReportedAndNoFileIsPartial) {
    constexpr size_t kSets = 100;  // a page each: about half of them fit
    constexpr size_t kDiskKilobytes = 200;
    ScratchTmpfs disk(kDiskKilobytes);
    ScratchDir scratch;
    const fs::path work = fs::path(scratch.path()) / "work";
    fs::create_directories(work);
    WriteFileBytes((work / "sets.reg").string(), MakeExport(kSets, 0));
    ASSERT_EQ(RunRcpconv(work.string(), {"sets.reg", "-o", "roomy"}).exitCode, 0);
    const std::map<std::string, std::string> expected = RecipesIn(work / "roomy");
    const std::string full = disk.mounted() ? "No space left on device" : "File too large";
    if (!disk.mounted()) {
        std::cout << "no tmpfs can be mounted here: a file size limit stands in for a full disk\n";
    }
    const std::string output = disk.File("Recipes");

    const RunResult run =
        RunRcpconv(work.string(), {"sets.reg", "-o", output}, disk.mounted() ? 0 : 1);

    EXPECT_EQ(run.exitCode, 1);
    const std::map<std::string, std::string> written = RecipesIn(output);
    const std::set<std::string> reports = NotConvertedLines(run);
    std::set<std::string> expectedReports;
    for (const auto& recipe : expected) {
        const auto found = written.find(recipe.first);
        if (found != written.end()) {
            EXPECT_EQ(found->second, recipe.second) << recipe.first;
            continue;
        }
        expectedReports.insert("rcpconv: \"" + recipe.first.substr(0, recipe.first.size() - 4) +
                               "\" not converted: cannot write " + output + "/" + recipe.first +
                               ": " + full);
    }
    EXPECT_EQ(reports, expectedReports);
    EXPECT_FALSE(reports.empty()) << "the disk did not fill up";
    EXPECT_EQ(HiddenFilesIn(output), std::set<std::string>{});
}

}  // namespace
