// Tests of recipe diffs: the exact text for known edits, and GNU patch taking any of them back.
#include "recipes/recipe_diff.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

TEST(RecipeDiff, SameTextHasNoDiff) {
    const std::string text = "[GENERAL]\r\nModel=1\r\n";
    EXPECT_EQ(RecipeDiff("GaAs.rcp", &text, text), "");
}

// Three lines of context on either side, counts of 1 left out, bytes as they are.
TEST(RecipeDiff, HunkWithThreeLinesOfContext) {
    const std::string before =
        "[GENERAL]\r\na=1\r\nb=2\r\nc=3\r\nModel=1\r\nd=4\r\ne=5\r\nf=6\r\ng=7\r\n";
    const std::string after =
        "[GENERAL]\r\na=1\r\nb=2\r\nc=3\r\nModel=2\r\nd=4\r\ne=5\r\nf=6\r\ng=7\r\n";
    EXPECT_EQ(RecipeDiff("GaAs.rcp", &before, after),
              "--- a/GaAs.rcp\n"
              "+++ b/GaAs.rcp\n"
              "@@ -2,7 +2,7 @@\n"
              " a=1\r\n b=2\r\n c=3\r\n-Model=1\r\n+Model=2\r\n d=4\r\n e=5\r\n f=6\r\n");
    const std::string one = "x\n";
    const std::string two = "y\n";
    EXPECT_EQ(RecipeDiff("x.rcp", &one, two), "--- a/x.rcp\n+++ b/x.rcp\n@@ -1 +1 @@\n-x\n+y\n");
}

// Changes at most twice the context apart share a hunk; further apart they get one each.
TEST(RecipeDiff, NearbyChangesShareAHunk) {
    std::string before;
    for (int i = 1; i <= 20; ++i) {
        before += "k" + std::to_string(i) + "=0\r\n";
    }
    std::string near = before;
    near.replace(near.find("k2=0"), 4, "k2=1");
    near.replace(near.find("k9=0"), 4, "k9=1");  // six unchanged lines between
    std::string far = before;
    far.replace(far.find("k2=0"), 4, "k2=1");
    far.replace(far.find("k10=0"), 5, "k10=1");  // seven
    auto hunks = [](const std::string& diff) {
        size_t count = 0;
        for (size_t at = diff.find("\n@@ "); at != std::string::npos;
             at = diff.find("\n@@ ", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(hunks(RecipeDiff("x.rcp", &before, near)), 1u);
    EXPECT_NE(RecipeDiff("x.rcp", &before, near).find("@@ -1,12 +1,12 @@\n"), std::string::npos);
    EXPECT_EQ(hunks(RecipeDiff("x.rcp", &before, far)), 2u);
    EXPECT_NE(RecipeDiff("x.rcp", &before, far).find("@@ -1,5 +1,5 @@\n"), std::string::npos);
    EXPECT_NE(RecipeDiff("x.rcp", &before, far).find("@@ -7,7 +7,7 @@\n"), std::string::npos);
}

TEST(RecipeDiff, NewFileComesFromDevNull) {
    const std::string after = "[IV]\r\nAutoSave=1\r\n";
    EXPECT_EQ(RecipeDiff("Si.rcp", nullptr, after),
              "--- /dev/null\n+++ b/Si.rcp\n@@ -0,0 +1,2 @@\n+[IV]\r\n+AutoSave=1\r\n");
}

// A last line without LF is marked, whether it goes, stays as context or comes new; a lone CR
// is no line end to patch, so it stays inside its line.
TEST(RecipeDiff, LastLineWithoutLineFeedIsMarked) {
    const std::string before = "[A]\nText=x";
    const std::string after = "[A]\nText=x\r\n[B]\r\nK=1\r\n";
    EXPECT_EQ(RecipeDiff("a.rcp", &before, after),
              "--- a/a.rcp\n+++ b/a.rcp\n@@ -1,2 +1,4 @@\n [A]\n-Text=x\n"
              "\\ No newline at end of file\n+Text=x\r\n+[B]\r\n+K=1\r\n");
    const std::string kept = "[A]\nK=1\n[B]\nText=x";
    const std::string changed = "[A]\nK=2\n[B]\nText=x";
    EXPECT_EQ(RecipeDiff("a.rcp", &kept, changed),
              "--- a/a.rcp\n+++ b/a.rcp\n@@ -1,4 +1,4 @@\n [A]\n-K=1\n+K=2\n [B]\n Text=x\n"
              "\\ No newline at end of file\n");
    const std::string lone = "[A]\rK=1\r";
    const std::string loneAfter = "[A]\rK=2\r";
    EXPECT_EQ(RecipeDiff("a.rcp", &lone, loneAfter),
              "--- a/a.rcp\n+++ b/a.rcp\n@@ -1 +1 @@\n-[A]\rK=1\r\n"
              "\\ No newline at end of file\n+[A]\rK=2\r\n\\ No newline at end of file\n");
}

// Names patch could misread are quoted in C style, as diffutils quotes them.
TEST(RecipeDiff, NamesArePatchProof) {
    const std::string before = "a\n";
    const std::string after = "b\n";
    const struct {
        const char* name;
        const char* header;
    } cases[] = {
        {"GaAs.rcp", "--- a/GaAs.rcp\n+++ b/GaAs.rcp\n"},
        {"Si(100)#1;$'.rcp", "--- a/Si(100)#1;$'.rcp\n"},
        {"GaAs p Zn.rcp", "--- \"a/GaAs p Zn.rcp\"\n+++ \"b/GaAs p Zn.rcp\"\n"},
        {"InP \xC3\x98"
         "50.rcp",
         "--- \"a/InP \\303\\23050.rcp\"\n"},
        {"tab\there \"q\" back\\slash\x7F.rcp",
         "--- \"a/tab\\there \\\"q\\\" back\\\\slash\\177.rcp\"\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RecipeDiff(c.name, &before, after).rfind(c.header, 0), 0u) << c.name;
    }
}

// Runs "patch -p1 --binary" in directory on the diff at diffPath. Returns its exit code.
int Patch(const std::string& directory, const std::string& diffPath) {
    const pid_t child = fork();
    if (child == 0) {
        const int in = open(diffPath.c_str(), O_RDONLY);
        const int out = open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0 || chdir(directory.c_str()) != 0 || dup2(in, 0) < 0 ||
            dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            _exit(127);
        }
        execlp("patch", "patch", "-p1", "--binary", "--no-backup-if-mismatch", nullptr);
        _exit(127);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)
               ? WEXITSTATUS(status)
               : -1;
}

// Random edits of INI-like text with every kind of line end: patch turns the old text into the
// new one, a missing file into a new one, and a name with blanks and non-ASCII letters into
// the same name.
TEST(RecipeDiff, PatchAppliesAnyEdit) {
    std::mt19937 random(20240611);
    auto pick = [&random](size_t count) {
        return std::uniform_int_distribution<size_t>(0, count - 1)(random);
    };
    const char* const words[] = {"[GENERAL]", "Model=1", "Model=2", "",      "; note",
                                 "[ETCH]",    "V=0.6",   "x",       "K =  y"};
    const char* const ends[] = {"\r\n", "\n", "\r", "\r\n"};
    auto line = [&] { return std::string(words[pick(9)]) + ends[pick(4)]; };
    ScratchDir scratch;
    const std::string name = "GaAs p Zn \xC3\x98.rcp";
    for (int round = 0; round < 150; ++round) {
        std::vector<std::string> lines;
        for (size_t i = pick(30); i > 0; --i) {
            lines.push_back(line());
        }
        std::string before;
        for (const std::string& l : lines) {
            before += l;
        }
        for (size_t edits = pick(6); edits > 0; --edits) {
            const size_t kind = pick(3);
            if (kind == 0 && !lines.empty()) {
                lines[pick(lines.size())] = line();
            } else if (kind == 1 || lines.empty()) {
                lines.insert(lines.begin() + pick(lines.size() + 1), line());
            } else {
                lines.erase(lines.begin() + pick(lines.size()));
            }
        }
        std::string after;
        for (const std::string& l : lines) {
            after += l;
        }
        if (pick(3) == 0 && !after.empty()) {
            after.pop_back();
        }
        const bool isNew = before.empty() || pick(8) == 0;
        if (after.empty() || (!isNew && after == before)) {
            continue;
        }
        const std::string directory = scratch.File(std::to_string(round));
        ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
        if (!isNew) {
            WriteFileBytes(directory + "/" + name, before);
        }
        const std::string diffPath = directory + ".diff";
        WriteFileBytes(diffPath, RecipeDiff(name, isNew ? nullptr : &before, after));
        ASSERT_EQ(Patch(directory, diffPath), 0) << ReadFileBytes(diffPath);
        EXPECT_EQ(ReadFileBytes(directory + "/" + name), after) << ReadFileBytes(diffPath);
    }
}

}  // namespace
