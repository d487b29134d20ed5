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
#include <thread>
#include <vector>

#include "tests/hive_writer.h"
#include "tests/program_runs.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kSampleName[] = "qz7165-settings.reg";

pid_t StartRcpconv(const std::string& directory, const std::vector<std::string>& args,
                   const ProcessSetting& setting = {}) {
    return StartProgram(directory, RC_RCPCONV, args, "", setting);
}

// Runs rcpconv with args in directory (see StartProgram).
RunResult RunRcpconv(const std::string& directory, const std::vector<std::string>& args,
                     const ProcessSetting& setting = {}) {
    return WaitForProgram(StartRcpconv(directory, args, setting), directory);
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

// The last line of text, "" when it has none.
std::string LastLine(const std::string& text) {
    const std::vector<std::string> lines = ReadLines(text);
    return lines.empty() ? "" : lines.back();
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

// The bytes of a golden file of a case, which must be there: a missing one would read as empty
// and pass for a run that prints nothing.
std::string ReadGolden(const fs::path& path) {
    EXPECT_TRUE(fs::is_regular_file(path)) << path << " is missing";
    return ReadFileBytes(path.string());
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

    const RunResult run = RunRcpconv(work.string(), ReadLines(ReadGolden(caseDir / "args")));
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

    EXPECT_EQ(std::to_string(run.exitCode) + "\n", ReadGolden(caseDir / "expected-exit"));
    EXPECT_EQ(run.err, ReadGolden(caseDir / "expected-stderr"));
    EXPECT_EQ(run.out, ReadGolden(caseDir / "expected-stdout"));
    EXPECT_EQ(tree, ReadGolden(caseDir / "expected-tree"));
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
        "device_names_codepage", "hive_unused_ntuser", "unused_plain_store", "unused_plain_machine",
        "same_file_twice", "name_too_long", "name_too_long_dry_run", "hive_logs_new",
        "hive_logs_split", "hive_logs_applied_before", "hive_logs_bad_hash", "hive_logs_gap",
        "hive_logs_stale_entry", "hive_logs_grown", "hive_logs_cut_short",
        "hive_logs_bad_base_block", "hive_logs_other_hive", "hive_logs_clean", "hive_logs_missing",
        "hive_logs_lower_case", "hive_logs_old", "hive_logs_old_timestamps",
        "hive_logs_old_bad_base_block", "hive_logs_old_bad_bin", "hive_logs_xp",
        "hive_logs_as_sources", "hive_log_alone"),
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

// Output that cannot be written is an error: each command that prints on stdout exits 2 when
// stdout is a full device, and says so; --stdout does not claim the recipes printed.
TEST(CliOutput, AStdoutThatCannotBeWrittenIsAnError) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    ScratchDir scratch;
    const fs::path work = MakeWorkDirectory(fs::path(scratch.path()) / "work", {"none", {}});
    const std::vector<std::vector<std::string>> commands = {{"--list", kSampleName},
                                                            {"--list", "--verbose", kSampleName},
                                                            {"--stdout", kSampleName},
                                                            {"--dry-run", "--diff", kSampleName},
                                                            {"--diff", kSampleName},
                                                            {"--help"},
                                                            {"--version"}};
    for (const std::vector<std::string>& command : commands) {
        std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" >/dev/full", RC_RCPCONV};
        args.insert(args.end(), command.begin(), command.end());
        const RunResult run = RunProgram(work.string(), "sh", args);
        SCOPED_TRACE(command[0] + " " + command.back());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(LastLine(run.err),
                  "rcpconv: cannot write to standard output: No space left on device");
        EXPECT_EQ(run.err.find(" printed"), std::string::npos) << run.err;
    }
}

// The summary counts the recipes a run changed apart from those already up to date, and does
// not call them written when they could not be flushed to the disk (a failure injected with
// strace, where it can trace).
TEST(CliOutput, TheSummarySaysWhatBecameOfTheRecipes) {
    ScratchDir scratch;
    const fs::path work = MakeWorkDirectory(fs::path(scratch.path()) / "work", {"none", {}});
    EXPECT_EQ(LastLine(RunRcpconv(work.string(), {"-s", "GaAs p Zn", kSampleName}).err),
              "rcpconv: 1 recipe written to Recipes");
    EXPECT_EQ(LastLine(RunRcpconv(work.string(), {kSampleName}).err),
              "rcpconv: 6 recipes written to Recipes, 1 already up to date, 1 set not converted");

    const RunResult probe = RunProgram(work.string(), "strace", {"-o", "/dev/null", "true"});
    if (probe.exitCode != 0) {
        GTEST_SKIP() << "strace cannot trace here: " << probe.err;
    }
    const RunResult run = RunProgram(work.string(), "strace",
                                     {"-f", "-o", "/dev/null", "-e", "inject=syncfs:error=EIO",
                                      RC_RCPCONV, kSampleName, "-o", "unflushed"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(LastLine(run.err),
              "rcpconv: 7 recipes changed in unflushed but not flushed to the disk, 1 set not "
              "converted");
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

// The set the tests of torn recipes convert, and the name of its recipe.
const char kTornSet[] = "GaAs p Zn";
const char kTornRecipe[] = "GaAs p Zn.rcp";

// The recipe of kTornSet as the sample's conversion writes it.
std::string ConvertedRecipe() {
    return ReadTestData(std::string("cli/sample/after/Recipes/") + kTornRecipe);
}

// The recipe as a user left it, with a longer electrolyte: its rewrite makes the text shorter,
// so that a rewrite killed before it cuts the file leaves it torn.
std::string LongerRecipe() {
    std::string text = ConvertedRecipe();
    const std::string electrolyte = "Electrolyte=0.1M Tiron";
    text.insert(text.find(electrolyte) + electrolyte.size(), ", as mixed in the old lab");
    return text;
}

// A working directory in where holding the sample and, in Recipes/, LongerRecipe().
fs::path MakeTornRecipeWork(const fs::path& where) {
    fs::create_directories(where / "Recipes");
    fs::copy_file(fs::path(RC_SOURCE_DIR) / "examples" / kSampleName, where / kSampleName);
    WriteFileBytes((where / "Recipes" / kTornRecipe).string(), LongerRecipe());
    return where;
}

// Lets kNobody reach and read what lies below directory (when the tests run as root).
void OpenToEveryone(const fs::path& directory) {
    fs::permissions(directory, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
}

// Hands path to the user the runs are made as, so that it is theirs.
void GiveToRuns(const fs::path& path) {
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0) << path;
    }
}

// Makes the recipe in recipes writable only in place, its backup going elsewhere: as root the
// recipe and its directory stay root's and the runs are made as kNobody, who may write the
// recipe but create nothing beside it; otherwise the directory takes no new file. Returns the
// setting of the runs.
ProcessSetting OnlyInPlace(const fs::path& recipes) {
    ProcessSetting setting;
    setting.unprivileged = true;
    if (geteuid() == 0) {
        fs::permissions(recipes / kTornRecipe, fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::group_write |
                                                   fs::perms::others_read |
                                                   fs::perms::others_write);
    } else {
        fs::permissions(recipes,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    return setting;
}

// Runs rcpconv in work on the sample's sets of args, then kTornSet, as setting says, under
// strace, which kills it when it first cuts a file: a rewrite in place has put the new text
// over the old and not yet cut it. The recipe must then be torn: the new text, then the end of
// the old.
void TearRecipe(const fs::path& work, const std::vector<std::string>& args,
                const ProcessSetting& setting, const std::string& traceFile = "/dev/null") {
    std::vector<std::string> convert = {kSampleName};
    convert.insert(convert.end(), args.begin(), args.end());
    convert.insert(convert.end(), {"-s", kTornSet});
    const RunResult run = RunProgram(
        work.string(), "strace",
        UnderStrace("ftruncate", "KILL", RC_RCPCONV, convert, traceFile, "openat"), "", setting);
    ASSERT_TRUE(run.killed) << "exit " << run.exitCode << ": " << run.err;
    EXPECT_EQ(ReadFileBytes((work / "Recipes" / kTornRecipe).string()),
              ConvertedRecipe() + LongerRecipe().substr(ConvertedRecipe().size()));
}

// Runs the dry run and the real run of kTornSet with args in work as setting says, after
// TearRecipe. Both must refuse the torn recipe at recipe alike, and leave it as it is. Returns
// the line that refuses it.
std::string ExpectTornRecipeRefused(const fs::path& work, const fs::path& recipe,
                                    const std::vector<std::string>& args,
                                    const ProcessSetting& setting) {
    const std::string torn = ReadFileBytes(recipe.string());
    std::set<std::string> refusals[2];
    for (int dryRun = 1; dryRun >= 0; --dryRun) {
        std::vector<std::string> convert = {kSampleName, "-s", kTornSet};
        if (dryRun != 0) {
            convert.push_back("--dry-run");
        }
        convert.insert(convert.end(), args.begin(), args.end());
        const RunResult run = RunRcpconv(work.string(), convert, setting);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        refusals[dryRun] = NotConvertedLines(run);
        EXPECT_EQ(ReadFileBytes(recipe.string()), torn);
    }
    EXPECT_EQ(refusals[0], refusals[1]) << "the dry run and the run disagree";
    const std::string refusal = refusals[0].empty() ? "" : *refusals[0].begin();
    EXPECT_NE(refusal.find(std::string("rcpconv: \"") + kTornSet +
                           "\" not converted: an earlier run stopped while rewriting "),
              std::string::npos)
        << refusal;
    return refusal;
}

// (a) A recipe torn while rewritten through one name is refused through its other name, in
// another directory, pointing to its backup.
TEST(CliInterrupted, TornRecipeIsRefusedThroughALinkInAnotherDirectory) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / "work");
    const fs::path recipe = work / "Recipes" / kTornRecipe;
    fs::create_directories(work / "links");
    fs::create_hard_link(recipe, work / "links" / kTornRecipe);

    TearRecipe(work, {}, {});

    const fs::path backup = fs::canonical(work / "Recipes") / BackupNameOf(recipe);
    EXPECT_EQ(ReadFileBytes(backup.string()), LongerRecipe());
    EXPECT_EQ(ExpectTornRecipeRefused(work, work / "links" / kTornRecipe, {"-o", "links"}, {}),
              std::string("rcpconv: \"") + kTornSet +
                  "\" not converted: an earlier run stopped while rewriting links/" + kTornRecipe +
                  "; its previous text is kept in " + backup.string() +
                  ": check the recipe, then remove the backup");
}

// (b) A recipe torn while its backup went to one cache directory is refused by a run with
// another (another user's, a service's).
TEST(CliInterrupted, TornRecipeIsRefusedWhateverTheCacheDirectory) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    OpenToEveryone(scratch.path());
    const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / "work");
    const fs::path caches[] = {scratch.File("cache-1"), scratch.File("cache-2")};
    for (const fs::path& cache : caches) {
        fs::create_directories(cache);
        GiveToRuns(cache);
    }
    ProcessSetting setting = OnlyInPlace(work / "Recipes");
    setting.environment = {"XDG_CACHE_HOME=" + caches[0].string()};

    TearRecipe(work, {}, setting);

    ASSERT_EQ(RecipesIn(caches[0] / "rcpconv").size(), 1u) << "no backup in the cache";
    setting.environment = {"XDG_CACHE_HOME=" + caches[1].string()};
    const std::string refusal =
        ExpectTornRecipeRefused(work, work / "Recipes" / kTornRecipe, {}, setting);
    EXPECT_NE(refusal.find("kept in " + caches[0].string() + "/rcpconv/"), std::string::npos)
        << refusal;
}

// An ext4 image in scratch attached to a loop device and mounted on scratch/mnt, for as long as
// the object lives; mounted again through another loop device, its files get another device
// number, as a USB disk plugged in again may give them.
class LoopMount {
  public:
    explicit LoopMount(const fs::path& scratch)
        : tools_(scratch / "tools" / "run"), image_(scratch / "disk.img"), at_(scratch / "mnt") {
        constexpr uintmax_t kImageBytes = 16 * 1024 * 1024;
        fs::create_directories(tools_);
        fs::create_directories(at_);
        WriteFileBytes(image_.string(), "");
        fs::resize_file(image_, kImageBytes);
        mounted_ = Run("mkfs.ext4 -q -F \"$0\" && mount \"$(losetup -f --show \"$0\")\" \"$1\"");
    }
    ~LoopMount() { Run("umount \"$1\"; losetup -j \"$0\" -n -O NAME | xargs -r -n1 losetup -d"); }

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const fs::path& path() const { return at_; }

    // The first device stays attached until the second is, so that they differ.
    bool MountAgain() {
        return Run(
            "old=$(losetup -j \"$0\" -n -O NAME) && umount \"$1\" && "
            "new=$(losetup -f --show \"$0\") && losetup -d $old && mount $new \"$1\"");
    }

  private:
    // Runs the shell script with the image as $0 and the mount point as $1.
    bool Run(const std::string& script) {
        const RunResult run =
            RunProgram(tools_.string(), "sh", {"-c", script, image_.string(), at_.string()});
        why_ = run.err;
        return run.exitCode == 0;
    }

    fs::path tools_;
    fs::path image_;
    fs::path at_;
    bool mounted_ = false;
    std::string why_;
};

// (c) A recipe torn while its backup went to the cache is refused after its file system comes
// back under another device number, as a USB disk may, in the dry run as in the run.
TEST(CliInterrupted, TornRecipeIsRefusedOnItsFileSystemMountedAgain) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    OpenToEveryone(scratch.path());
    LoopMount disk(scratch.path());
    if (!disk.mounted()) {
        GTEST_SKIP() << "no ext4 image can be mounted here: " << disk.why();
    }
    const fs::path work = MakeTornRecipeWork(disk.path() / "work");
    const fs::path cache = scratch.File("cache");
    fs::create_directories(cache);
    GiveToRuns(cache);
    ProcessSetting setting = OnlyInPlace(work / "Recipes");
    setting.environment = {"XDG_CACHE_HOME=" + cache.string()};
    const fs::path recipe = work / "Recipes" / kTornRecipe;
    struct stat before = {};
    ASSERT_EQ(stat(recipe.c_str(), &before), 0);

    TearRecipe(work, {}, setting);
    ASSERT_TRUE(disk.MountAgain()) << disk.why();

    struct stat after = {};
    ASSERT_EQ(stat(recipe.c_str(), &after), 0);
    EXPECT_NE(after.st_dev, before.st_dev) << "the same device number again";
    ExpectTornRecipeRefused(work, recipe, {}, setting);
}

// (d) Without a usable cache (no home, as for a service) and a directory that takes no new
// file, the backup goes to a private directory under /var/tmp, where a later run finds it too;
// where that fails as well, the dry run and the run refuse the recipe naming every place tried.
TEST(CliInterrupted, WithoutACacheBackupsGoUnderVarTmpAndEveryPlaceTriedIsNamed) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can give a run a /var/tmp of its own";
    }
    ScratchDir scratch;
    OpenToEveryone(scratch.path());
    const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / "work");
    const fs::path recipe = work / "Recipes" / kTornRecipe;
    const fs::path varTmp = scratch.File("var-tmp");
    fs::create_directories(varTmp);
    fs::permissions(varTmp, fs::perms::all | fs::perms::sticky_bit);
    ProcessSetting setting = OnlyInPlace(work / "Recipes");
    setting.environment = {"HOME=/nonexistent", "XDG_CACHE_HOME"};
    setting.varTmp = varTmp.string();
    const std::string shared = "rcpconv-" + std::to_string(kNobody);
    const std::vector<std::string> convert = {kSampleName, "-s", kTornSet};

    std::vector<std::string> dryRun = convert;
    dryRun.push_back("--dry-run");
    const RunResult preview = RunRcpconv(work.string(), dryRun, setting);
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_NE(preview.err.find(std::string("would update \"") + kTornRecipe), std::string::npos)
        << preview.err;
    const RunResult run = RunRcpconv(work.string(), convert, setting);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(recipe.string()), ConvertedRecipe());
    ASSERT_TRUE(fs::is_directory(varTmp / shared));
    EXPECT_TRUE(fs::is_empty(varTmp / shared));

    WriteFileBytes(recipe.string(), LongerRecipe());
    TearRecipe(work, {}, setting);
    const std::string refusal = ExpectTornRecipeRefused(work, recipe, {}, setting);
    EXPECT_NE(refusal.find("kept in /var/tmp/" + shared + "/"), std::string::npos) << refusal;

    // The user checks the recipe and removes the backup.
    WriteFileBytes(recipe.string(), LongerRecipe());
    for (const auto& backup : fs::directory_iterator(varTmp / shared)) {
        fs::remove(backup.path());
    }
    setting.varTmpReadOnly = true;
    const std::set<std::string> expected = {
        std::string("rcpconv: \"") + kTornSet + "\" not converted: cannot back up Recipes/" +
        kTornRecipe +
        " in Recipes (Permission denied), in /nonexistent/.cache/rcpconv (No such file or "
        "directory) or in /var/tmp/" +
        shared + " (Read-only file system)"};
    EXPECT_EQ(NotConvertedLines(RunRcpconv(work.string(), dryRun, setting)), expected);
    EXPECT_EQ(NotConvertedLines(RunRcpconv(work.string(), convert, setting)), expected);
    EXPECT_EQ(ReadFileBytes(recipe.string()), LongerRecipe());
}

// Where a backup or a temporary file is made in a recipe's place, no permission of the
// recipe's is widened on the way: each is created readable by its owner alone, and a backup
// gets the recipe's group and permissions.
TEST(CliInterrupted, BackupsAndTemporaryFilesGrantNoMoreThanTheRecipe) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    constexpr gid_t kLabGroup = 4242;
    constexpr mode_t kRecipeMode = 0640;
    const char kReplacedSet[] =
        "InP S-doped \xC3\x98"
        "50mm";
    ScratchDir scratch;
    const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / "work");
    const fs::path recipe = work / "Recipes" / kTornRecipe;
    const fs::path replaced = work / "Recipes" / (std::string(kReplacedSet) + ".rcp");
    WriteFileBytes(replaced.string(), "[GENERAL]\r\nModel=9\r\n");
    fs::create_hard_link(recipe, scratch.File("other name.rcp"));
    for (const fs::path& path : {recipe, replaced}) {
        ASSERT_EQ(chmod(path.c_str(), kRecipeMode), 0);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(path.c_str(), static_cast<uid_t>(-1), kLabGroup), 0);
        }
    }
    const std::string trace = scratch.File("trace");

    TearRecipe(work, {"-s", kReplacedSet}, {}, trace);

    struct stat backup = {};
    ASSERT_EQ(stat((work / "Recipes" / BackupNameOf(recipe)).c_str(), &backup), 0);
    EXPECT_EQ(backup.st_mode & 07777, kRecipeMode);
    struct stat original = {};
    ASSERT_EQ(stat(recipe.c_str(), &original), 0);
    EXPECT_EQ(backup.st_gid, original.st_gid);
    const std::regex created("openat\\(.*\"(\\.rcp-[^\"]*)\", [^,]*O_CREAT[^,]*, (0[0-7]+)\\)");
    int files = 0;
    for (const std::string& line : ReadLines(ReadFileBytes(trace))) {
        std::smatch match;
        if (std::regex_search(line, match, created)) {
            ++files;
            EXPECT_EQ(std::stoul(match[2].str(), nullptr, 8) & ~kRecipeMode, 0u) << line;
        }
    }
    EXPECT_EQ(files, 2) << "a temporary file for the replaced recipe, one for the backup";
}

// A run of rcpconv in work, on kSampleName and args, stopped by strace just after its first call
// of syscall, and resumed when Resume is called or the object goes. Its output goes beside
// work, so that other runs in other directories can be made meanwhile. prefix, when not empty,
// is the command line of a program that runs strace's (such as unshare).
class StoppedRun {
  public:
    StoppedRun(const fs::path& work, const std::string& syscall,
               const std::vector<std::string>& args, const std::vector<std::string>& prefix = {})
        : work_(work) {
        std::vector<std::string> convert = {kSampleName};
        convert.insert(convert.end(), args.begin(), args.end());
        std::vector<std::string> line = prefix;
        const std::string trace = (work.parent_path() / "trace").string();
        const std::vector<std::string> traced =
            UnderStrace(syscall, "STOP", RC_RCPCONV, convert, trace);
        line.push_back("strace");
        line.insert(line.end(), traced.begin(), traced.end());
        started_ = StartProgram(work.string(), line[0], {line.begin() + 1, line.end()});
        stopped_ = WaitForStoppedProcess(started_, "rcpconv", trace);
        if (stopped_ < 0) {
            kill(started_, SIGKILL);  // nothing would resume it
        }
    }

    ~StoppedRun() { Resume(); }

    bool stopped() const { return stopped_ > 0; }

    // Lets the run go on and waits for its end.
    RunResult Resume() {
        if (started_ > 0) {
            if (stopped_ > 0) {
                kill(stopped_, SIGCONT);
            }
            result_ = WaitForProgram(started_, work_.string());
            started_ = -1;
        }
        return result_;
    }

  private:
    fs::path work_;
    pid_t started_ = -1;
    pid_t stopped_ = -1;
    RunResult result_;
};

// A working directory beside work (its own output files apart), from which runs are made in
// work's recipes while a StoppedRun holds work.
fs::path OtherWorkDirectory(const fs::path& work) {
    const fs::path other = work.parent_path() / "other" / "work";
    fs::create_directories(other);
    return other;
}

// The temporary files in directory: ".rcp-HOST-PID-N.tmp".
std::vector<fs::path> TempFilesIn(const fs::path& directory) {
    std::vector<fs::path> found;
    for (const std::string& name : HiddenFilesIn(directory)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
            found.push_back(directory / name);
        }
    }
    return found;
}

// A run that finds the backup of a rewrite another run is making at that moment says so, in
// the dry run as in the run, and not that a run stopped while rewriting; the other run ends
// well.
TEST(CliInterrupted, ALiveRunsBackupIsNoInterruptedRewrite) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / "first" / "work");
    const fs::path recipe = work / "Recipes" / kTornRecipe;
    fs::create_hard_link(recipe, scratch.File("other name.rcp"));
    const fs::path other = OtherWorkDirectory(work.parent_path());
    const std::string sample = (work / kSampleName).string();
    const std::string recipes = (work / "Recipes").string();

    StoppedRun first(work, "ftruncate", {"-s", kTornSet});
    ASSERT_TRUE(first.stopped());
    for (const char* mode : {"--dry-run", "--diff"}) {
        const RunResult second =
            RunRcpconv(other.string(), {sample, "-o", recipes, "-s", kTornSet, mode});
        EXPECT_EQ(second.exitCode, 1) << mode;
        EXPECT_EQ(
            NotConvertedLines(second),
            std::set<std::string>{std::string("rcpconv: \"") + kTornSet +
                                  "\" not converted: another run is rewriting " + recipes + "/" +
                                  kTornRecipe + " now: convert it again once that run has ended"})
            << mode;
    }
    const RunResult run = first.Resume();

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(recipe.string()), ConvertedRecipe());
    EXPECT_EQ(HiddenFilesIn(work / "Recipes"), std::set<std::string>{});
}

// The first of a run of process ids that no process has here, for the processes of another PID
// namespace to take; -1 when there is none.
pid_t UnusedProcessIds() {
    constexpr pid_t kRun = 16;  // strace starts a few processes of its own before the program
    const long highest =
        std::strtol(ReadFileBytes("/proc/sys/kernel/pid_max").c_str(), nullptr, 10);
    for (pid_t first = static_cast<pid_t>(highest) - kRun; first > kRun; first -= kRun) {
        pid_t pid = first;
        while (pid < first + kRun && kill(pid, 0) != 0 && errno == ESRCH) {
            ++pid;
        }
        if (pid == first + kRun) {
            return first;
        }
    }
    return -1;
}

// The process id in the name of a temporary file ".rcp-HOST-PID-N.tmp".
pid_t ProcessIdOf(const fs::path& temporary) {
    const std::string name = temporary.filename().string();
    const size_t counter = name.rfind('-');
    const size_t pid = name.rfind('-', counter - 1) + 1;
    return static_cast<pid_t>(std::stol(name.substr(pid, counter - pid)));
}

// The temporary file of a writer that runs in another PID namespace, under a process id that
// no process has here, on the same host, is not taken for abandoned by a run here; the writer
// then renames it into place.
TEST(CliTempFiles, OfAWriterInAnotherPidNamespaceStay) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    const fs::path work = fs::path(scratch.path()) / "first" / "work";
    MakeWorkDirectory(work, {"none", {}});
    const fs::path other = OtherWorkDirectory(work.parent_path());
    const pid_t pid = UnusedProcessIds();
    ASSERT_GT(pid, 0);
    // In the new namespace the shell is process 1 and strace, which it becomes, runs rcpconv
    // as the next process after the one named in ns_last_pid.
    StoppedRun writer(
        work, "write", {"-s", kTornSet},
        {"unshare", "--pid", "--fork", "--kill-child", "--mount-proc", "sh", "-c",
         "echo \"$0\" > /proc/sys/kernel/ns_last_pid && exec \"$@\"", std::to_string(pid - 1)});
    if (!writer.stopped()) {
        GTEST_SKIP() << "no process of a PID namespace of its own can be run here: "
                     << writer.Resume().err;
    }
    const std::vector<fs::path> temporary = TempFilesIn(work / "Recipes");
    ASSERT_EQ(temporary.size(), 1u);
    const pid_t named = ProcessIdOf(temporary[0]);
    ASSERT_TRUE(kill(named, 0) != 0 && errno == ESRCH) << "process " << named << " runs here";

    const RunResult here = RunRcpconv(
        other.string(),
        {(work / kSampleName).string(), "-o", (work / "Recipes").string(), "-s", "AlGaAs HEMT"});
    EXPECT_EQ(here.exitCode, 0) << here.err;
    EXPECT_TRUE(fs::exists(temporary[0])) << "the live writer's temporary file was removed";
    const RunResult run = writer.Resume();

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes((work / "Recipes" / kTornRecipe).string()), ConvertedRecipe());
    EXPECT_EQ(HiddenFilesIn(work / "Recipes"), std::set<std::string>{});
}

// The temporary file of a live writer stays however old it looks (a file server's clock may
// be a day behind); so does one whose name was taken over by another file, which the writer
// then does not rename into place.
TEST(CliTempFiles, OfALiveWriterStayWhateverTheirAgeAndAreRenamedOnlyAsWritten) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    constexpr time_t kTwoDays = 2 * 24 * 60 * 60;
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "old");
        ScratchDir scratch;
        const fs::path work = fs::path(scratch.path()) / "first" / "work";
        MakeWorkDirectory(work, {"none", {}});
        const fs::path other = OtherWorkDirectory(work.parent_path());
        StoppedRun writer(work, "write", {"-s", kTornSet});
        ASSERT_TRUE(writer.stopped());
        const std::vector<fs::path> temporary = TempFilesIn(work / "Recipes");
        ASSERT_EQ(temporary.size(), 1u);
        const std::string stranger = "not a recipe";
        if (replaced) {
            WriteFileBytes(scratch.File("stranger"), stranger);
            fs::rename(scratch.File("stranger"), temporary[0]);
        } else {
            const struct timespec twoDaysAgo = {time(nullptr) - kTwoDays, 0};
            const struct timespec times[2] = {twoDaysAgo, twoDaysAgo};
            ASSERT_EQ(utimensat(AT_FDCWD, temporary[0].c_str(), times, 0), 0);
        }

        const RunResult here =
            RunRcpconv(other.string(), {(work / kSampleName).string(), "-o",
                                        (work / "Recipes").string(), "-s", "AlGaAs HEMT"});
        EXPECT_EQ(here.exitCode, 0) << here.err;
        EXPECT_TRUE(fs::exists(temporary[0])) << "removed while its writer lives";
        const RunResult run = writer.Resume();

        const fs::path recipe = work / "Recipes" / kTornRecipe;
        if (replaced) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_NE(run.err.find("was removed or replaced by another program"), std::string::npos)
                << run.err;
            EXPECT_FALSE(fs::exists(recipe));
            EXPECT_EQ(ReadFileBytes(temporary[0].string()), stranger) << "not the writer's";
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(ReadFileBytes(recipe.string()), ConvertedRecipe());
        }
    }
}

// Two runs that create the same new recipe at once both succeed: the one that finds the other's
// file in place when it renames its own updates that file instead.
TEST(CliTempFiles, TwoRunsCreatingOneRecipeBothSucceed) {
    if (const std::string why = StraceUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ScratchDir scratch;
    const fs::path work = fs::path(scratch.path()) / "first" / "work";
    MakeWorkDirectory(work, {"none", {}});
    const fs::path other = OtherWorkDirectory(work.parent_path());
    StoppedRun first(work, "write", {"-s", kTornSet});
    ASSERT_TRUE(first.stopped());

    const RunResult second = RunRcpconv(
        other.string(),
        {(work / kSampleName).string(), "-o", (work / "Recipes").string(), "-s", kTornSet});
    const RunResult run = first.Resume();

    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes((work / "Recipes" / kTornRecipe).string()), ConvertedRecipe());
    EXPECT_EQ(HiddenFilesIn(work / "Recipes"), std::set<std::string>{});
}

// Runs rcpconv with args in directory as RunRcpconv does, but kills it when it has not ended
// within a minute: a run that waits for a pipe forever.
RunResult RunRcpconvOrKill(const std::string& directory, const std::vector<std::string>& args) {
    constexpr auto kDeadline = std::chrono::minutes(1);
    constexpr auto kPollInterval = std::chrono::milliseconds(10);
    const pid_t child = StartRcpconv(directory, args);
    const auto start = std::chrono::steady_clock::now();
    siginfo_t state = {};
    while (waitid(P_PID, static_cast<id_t>(child), &state, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           state.si_pid == 0) {
        if (std::chrono::steady_clock::now() - start > kDeadline) {
            kill(child, SIGKILL);
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return WaitForProgram(child, directory);
}

// A pipe in a recipe's place is refused as the run refuses it, by the dry run, the diff and the
// explanation alike, none of them waiting for a writer to open it.
TEST(CliPreview, PipeInARecipesPlaceIsRefusedWithoutWaiting) {
    ScratchDir scratch;
    for (const char* mode : {"--dry-run", "--diff", "--explain"}) {
        SCOPED_TRACE(mode);
        const fs::path work = MakeWorkDirectory(fs::path(scratch.path()) / mode, {"none", {}});
        fs::create_directories(work / "Recipes");
        ASSERT_EQ(mkfifo((work / "Recipes" / kTornRecipe).c_str(), 0644), 0);

        const RunResult run = RunRcpconvOrKill(work.string(), {mode, kSampleName, "-s", kTornSet});

        EXPECT_FALSE(run.killed) << "waits for the pipe";
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(NotConvertedLines(run),
                  std::set<std::string>{std::string("rcpconv: \"") + kTornSet +
                                        "\" not converted: Recipes/" + kTornRecipe +
                                        " is not a regular file"});
    }
}

// The diff of a recipe that is a link to a file in its own directory names that file, which
// the run writes: GNU patch, which edits no link, applies it and gives what the run writes.
TEST(CliPreview, DiffOfALinkedRecipeNamesTheFileItLeadsTo) {
    ScratchDir scratch;
    const std::string target = "GaAs p Zn, kept by the lab.rcp";
    fs::path recipes[3];
    int side = 0;
    for (const char* name : {"dry", "real", "patched"}) {
        const fs::path work = MakeTornRecipeWork(fs::path(scratch.path()) / name);
        recipes[side] = work / "Recipes";
        fs::rename(recipes[side] / kTornRecipe, recipes[side] / target);
        fs::create_symlink(target, recipes[side] / kTornRecipe);
        ++side;
    }
    const std::vector<std::string> convert = {kSampleName, "-s", kTornSet, "--diff"};
    std::vector<std::string> dryRun = convert;
    dryRun.push_back("--dry-run");

    const RunResult preview = RunRcpconv(recipes[0].parent_path().string(), dryRun);
    const RunResult run = RunRcpconv(recipes[1].parent_path().string(), convert);

    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(preview.out, run.out) << "the run's diff is not the preview's";
    EXPECT_EQ(preview.out.rfind("--- \"a/" + target + "\"\n", 0), 0u) << preview.out;
    const std::string diffPath = scratch.File("preview.diff");
    WriteFileBytes(diffPath, preview.out);
    const RunResult patch = RunProgram(recipes[2].string(), "patch",
                                       {"-p1", "--binary", "--no-backup-if-mismatch"}, diffPath);
    EXPECT_EQ(patch.exitCode, 0) << patch.out << patch.err;
    EXPECT_EQ(TreeContents(recipes[2]), TreeContents(recipes[1]));
    EXPECT_EQ(ReadFileBytes((recipes[1] / target).string()), ConvertedRecipe());
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

    ProcessSetting limited;
    limited.fileSizeLimit = disk.mounted() ? 0 : 1;
    const RunResult run = RunRcpconv(work.string(), {"sets.reg", "-o", output}, limited);

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
