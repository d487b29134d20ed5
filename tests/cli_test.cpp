// Golden-file tests of rcpconv end to end: its exit code, stdout, stderr and the files it leaves.
//
// Each case is a directory under tests/data/cli/ (see the README there): the run happens in a
// fresh working directory holding the sample export and the case's input/ files; afterwards
// stdout, stderr, the exit code and the list of every path in the working directory must
// equal the expected-* files, and each file that is new or changed must equal its copy in
// after/. RC_UPDATE_GOLDEN=1 rewrites the expected files from the run instead.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kSampleName[] = "qz7165-settings.reg";

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs rcpconv with args in directory, capturing both streams through files.
RunResult RunRcpconv(const std::string& directory, const std::vector<std::string>& args) {
    const std::string outPath = directory + "/../stdout";
    const std::string errPath = directory + "/../stderr";
    std::vector<char*> argv;
    std::string program = RC_RCPCONV;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    RunResult result;
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(directory.c_str()) != 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = ReadFileBytes(outPath);
    result.err = ReadFileBytes(errPath);
    return result;
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

class CliGolden : public ::testing::TestWithParam<const char*> {};

TEST_P(CliGolden, MatchesExpectedOutputAndFiles) {
    const fs::path caseDir = fs::path(RC_TEST_DATA_DIR) / "cli" / GetParam();
    ScratchDir scratch;
    const fs::path work = fs::path(scratch.path()) / "work";
    const fs::path inputs = fs::path(scratch.path()) / "inputs";
    fs::create_directories(inputs);
    fs::copy_file(fs::path(RC_SOURCE_DIR) / "examples" / kSampleName, inputs / kSampleName);
    CopyTree(caseDir / "input", inputs);
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
    ::testing::Values("sample", "sample_list", "set_order_stdout", "set_subset_nested_output",
                      "unknown_set", "unconvertible_names", "long_path", "missing_export",
                      "bad_header", "malformed_lines", "no_root", "empty_set", "update_in_place",
                      "no_export", "usage_error", "unknown_codepage", "look_alike_names",
                      "look_alike_names_selected", "output_trailing_separator",
                      "device_names_codepage"),
    [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
