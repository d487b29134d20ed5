// Tests of the batch run: order, file names, skipped and refused sets, in-place updates.
#include "conversion/batch_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/frequency_index.h"
#include "tests/memory_store.h"
#include "tests/test_support.h"
#include "text/codepage.h"

namespace {

// Records what the run hands to its target instead of writing files.
class RecordingTarget : public RecipeTarget {
  public:
    struct Call {
        std::string path;
        std::string setName;
        size_t entries;
    };
    std::vector<Call> calls;
    bool fail = false;
    std::vector<size_t> finishedAfter;  // the number of calls at each Finish
    std::string finishFailure;          // what Finish fails with, when not empty

    bool WriteRecipe(const std::string& path, const std::string& setName,
                     const RecipeEntryList& entries, bool* changed, std::string* error) override {
        calls.push_back({path, setName, entries.size()});
        if (fail) {
            *error = "disk full";
        }
        *changed = !fail;
        return !fail;
    }

    bool Finish(std::string* error) override {
        finishedAfter.push_back(calls.size());
        *error = finishFailure;
        return finishFailure.empty();
    }
};

class BatchConversionTest : public ::testing::Test {
  protected:
    void SetUp() override { BuildFrequencyTable(); }

    // A set that yields exactly one entry, "[GENERAL]" "Electrolyte".
    void AddSet(const std::string& name, const std::string& electrolyte) {
        store.AddSet(name).values["Electrolyte"] = MemoryStore::Text(electrolyte);
    }

    BatchRequest Request(std::vector<std::string> names) {
        BatchRequest request;
        request.rootPath = kSettingsRootPaths[0];
        request.setNames = std::move(names);
        request.directory = scratch.path();
        // Named as they are: the names' code page is the file names'.
        request.namesCodepage = &Windows1252();
        request.fileNamesCodepage = &Windows1252();
        return request;
    }

    // Every file under the scratch directory, relative to it, sorted.
    std::vector<std::string> FilesInScratch() {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path())) {
            files.push_back(std::filesystem::relative(entry.path(), scratch.path()).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    MemoryStore store;
    ScratchDir scratch;
    BatchReport report;
    std::string error;
};

// The list holds every name the registry allows in any code page, however many bytes it takes,
// and says when the store failed before its end.
TEST_F(BatchConversionTest, ListsLongNamesWholeAndSaysWhenTheListEndedEarly) {
    const std::string longest(kMaxListedNameBytes - 1, 'x');
    store.AddSet("GaAs");
    store.AddSet(longest);
    store.AddSet(longest + "y");  // longer than any name the registry allows
    store.AddSet("Si");
    const char* rootPath = nullptr;
    std::vector<ListedSet> listed;
    bool complete = true;
    ASSERT_TRUE(ListSetNames(store, &rootPath, &listed, &complete));
    EXPECT_FALSE(complete);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1].name, longest);
    EXPECT_EQ(listed[2].name, "Si");

    store.FailListingAt(1);
    listed.clear();
    ASSERT_TRUE(ListSetNames(store, &rootPath, &listed, &complete));
    EXPECT_FALSE(complete);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "GaAs");
    EXPECT_EQ(store.openKeys(), 0);
}

TEST_F(BatchConversionTest, WritesEachChosenSetInTheOrderGiven) {
    AddSet("GaAs", "KOH");
    AddSet("InP", "HCl");
    AddSet("Si", "NH4F");
    RecordingTarget target;
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"Si", "GaAs"}), target, &report, &error));
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_EQ(target.calls[0].path, scratch.File("Si.rcp"));
    EXPECT_EQ(target.calls[0].setName, "Si");
    EXPECT_EQ(target.calls[1].path, scratch.File("GaAs.rcp"));
    EXPECT_EQ(target.calls[1].entries, 1u);
    EXPECT_EQ(report.written,
              (std::vector<std::string>{scratch.File("Si.rcp"), scratch.File("GaAs.rcp")}));
    EXPECT_TRUE(report.notConverted.empty());
    EXPECT_TRUE(report.empty.empty());
    EXPECT_EQ(store.openKeys(), 0);
}

TEST_F(BatchConversionTest, RecipeFilesAreCreatedAndUpdatedInPlace) {
    AddSet("GaAs", "KOH");
    store.AddSet("InP").values["V-Step"] = MemoryStore::Text("0.05");
    WriteFileBytes(scratch.File("InP.rcp"), "; kept\r\n[GENERAL]\r\ndV=1\r\nNote=mine\r\n");
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"GaAs", "InP"}), files, &report, &error));
    EXPECT_EQ(ReadFileBytes(scratch.File("GaAs.rcp")), "[GENERAL]\r\nElectrolyte=KOH\r\n");
    EXPECT_EQ(ReadFileBytes(scratch.File("InP.rcp")),
              "; kept\r\n[GENERAL]\r\ndV=0.05\r\nNote=mine\r\n");
    EXPECT_EQ(report.written.size(), 2u);
    EXPECT_TRUE(report.unchanged.empty());

    // Run again, the recipes are up to date: none is counted as written.
    AddSet("Si", "NH4F");
    BatchReport again;
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"GaAs", "Si", "InP"}), files, &again, &error));
    EXPECT_EQ(again.written, std::vector<std::string>{scratch.File("Si.rcp")});
    EXPECT_EQ(again.unchanged,
              (std::vector<std::string>{scratch.File("GaAs.rcp"), scratch.File("InP.rcp")}));
}

TEST_F(BatchConversionTest, SkipsSetsThatCannotBeOpenedAndGoesOn) {
    AddSet("Gone", "KOH");
    store.AddSet("Locked").openable = false;
    AddSet("Si", "NH4F");
    RecordingTarget target;
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"Gone", "Missing", "Locked", "Si"}), target,
                                    &report, &error));
    ASSERT_EQ(report.notConverted.size(), 2u);
    EXPECT_EQ(report.notConverted[0].setName, "Missing");
    EXPECT_EQ(report.notConverted[0].reason, "the set cannot be opened");
    EXPECT_EQ(report.notConverted[1].setName, "Locked");
    EXPECT_EQ(report.written.size(), 2u);
    EXPECT_EQ(store.openKeys(), 0);
}

TEST_F(BatchConversionTest, RefusesNamesWindowsCannotUseAndTouchesNothingOutside) {
    const std::string inside = scratch.File("out");
    std::filesystem::create_directory(inside);
    for (const char* name : {"CON", "a:b", "../x", "nul.txt", "ok"}) {
        AddSet(name, "KOH");
    }
    BatchRequest request = Request({"CON", "a:b", "../x", "nul.txt", "ok"});
    request.directory = inside;
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, request, files, &report, &error));
    ASSERT_EQ(report.notConverted.size(), 4u);
    EXPECT_EQ(report.notConverted[0].reason, "Windows takes its name for the device CON");
    EXPECT_EQ(report.notConverted[1].reason,
              "its name holds ':', which Windows does not allow in a file name");
    EXPECT_EQ(report.notConverted[2].reason,
              "its name holds '/', which Windows does not allow in a file name");
    EXPECT_EQ(report.notConverted[3].setName, "nul.txt");
    EXPECT_EQ(FilesInScratch(), (std::vector<std::string>{"out", "out/ok.rcp"}));
    EXPECT_EQ(store.openKeys(), 0);
}

TEST_F(BatchConversionTest, RefusesPathsOverTheLimitWithoutCutting) {
    // A directory of 200 characters leaves room for a name of 54.
    const std::string directory = scratch.File(std::string(200 - scratch.path().size() - 1, 'd'));
    std::filesystem::create_directory(directory);
    const std::string shortName = std::string(259 - directory.size() - 5, 's');
    const std::string longName = shortName + "L";
    AddSet(shortName, "KOH");
    AddSet(longName, "KOH");
    BatchRequest request = Request({longName, shortName});
    request.directory = directory;
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, request, files, &report, &error));
    ASSERT_EQ(report.notConverted.size(), 1u);
    EXPECT_EQ(report.notConverted[0].setName, longName);
    EXPECT_EQ(report.notConverted[0].reason,
              "its recipe path would be 260 characters long, over the limit of 259");
    ASSERT_EQ(report.written.size(), 1u);
    EXPECT_EQ(report.written[0].size(), 259u);
    EXPECT_EQ(FilesInScratch().size(), 2u);  // the directory and the one recipe
}

TEST_F(BatchConversionTest, ASetWithoutEntriesIsReportedAndLeavesNoFile) {
    store.AddSet("Blank").values["Unrelated"] = MemoryStore::Text("x");
    store.AddSet("TooLong").values["Electrolyte"] = MemoryStore::Text(std::string(32, 'k'));
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"Blank", "TooLong"}), files, &report, &error));
    EXPECT_EQ(report.empty, (std::vector<std::string>{"Blank", "TooLong"}));
    EXPECT_TRUE(report.written.empty());
    EXPECT_TRUE(report.notConverted.empty());
    EXPECT_TRUE(FilesInScratch().empty());
}

TEST_F(BatchConversionTest, AFailedWriteIsReportedWithTheTargetsReason) {
    AddSet("GaAs", "KOH");
    AddSet("InP", "HCl");
    RecordingTarget target;
    target.fail = true;
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"GaAs", "InP"}), target, &report, &error));
    ASSERT_EQ(report.notConverted.size(), 2u);
    EXPECT_EQ(report.notConverted[1].setName, "InP");
    EXPECT_EQ(report.notConverted[1].reason, "disk full");
    EXPECT_TRUE(report.written.empty());
}

// The target is finished once, after the last recipe, whatever became of the sets; when that
// fails, the report says why and still lists the recipes written.
TEST_F(BatchConversionTest, TheTargetIsFinishedOnceAfterTheLastRecipe) {
    AddSet("GaAs", "KOH");
    store.AddSet("Blank").values["Unrelated"] = MemoryStore::Text("x");
    RecordingTarget target;
    ASSERT_TRUE(
        ConvertSelectedSets(store, Request({"GaAs", "Missing", "Blank"}), target, &report, &error));
    EXPECT_EQ(target.finishedAfter, std::vector<size_t>{1});
    EXPECT_EQ(report.finishError, "");

    BatchReport failed;
    target.finishFailure = "cannot flush";
    ASSERT_TRUE(ConvertSelectedSets(store, Request({"GaAs"}), target, &failed, &error));
    EXPECT_EQ(failed.finishError, "cannot flush");
    EXPECT_EQ(failed.written, std::vector<std::string>{scratch.File("GaAs.rcp")});
}

TEST_F(BatchConversionTest, AMissingDirectoryFailsEachWriteWithAReason) {
    AddSet("GaAs", "KOH");
    BatchRequest request = Request({"GaAs"});
    request.directory = scratch.File("missing");
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, request, files, &report, &error));
    ASSERT_EQ(report.notConverted.size(), 1u);
    EXPECT_FALSE(report.notConverted[0].reason.empty());
    EXPECT_TRUE(FilesInScratch().empty());
}

// A window keeps answering through a long run by being told of every set, converted or not.
TEST_F(BatchConversionTest, ProgressIsToldAfterEverySet) {
    class Counter : public BatchProgress {
      public:
        void SetDone() override { ++done; }
        size_t done = 0;
    } counter;
    AddSet("GaAs", "KOH");
    store.AddSet("Blank").values["Unrelated"] = MemoryStore::Text("x");
    RecordingTarget target;
    BatchRequest request = Request({"GaAs", "Missing", "CON", "Blank"});
    request.progress = &counter;
    ASSERT_TRUE(ConvertSelectedSets(store, request, target, &report, &error));
    EXPECT_EQ(counter.done, 4u);
}

TEST_F(BatchConversionTest, ARootThatCannotBeOpenedConvertsNothing) {
    MemoryStore other(1);
    other.AddSet("GaAs").values["Electrolyte"] = MemoryStore::Text("KOH");
    RecordingTarget target;
    EXPECT_FALSE(ConvertSelectedSets(other, Request({"GaAs"}), target, &report, &error));
    EXPECT_EQ(error, "cannot open the settings root SOFTWARE\\Quorix\\Layrscan\\Settings");
    EXPECT_TRUE(target.calls.empty());
    EXPECT_TRUE(report.notConverted.empty());
    EXPECT_EQ(other.openKeys(), 0);
}

TEST_F(BatchConversionTest, FileNamesAreTheSetNamesInUtf8WithoutAFileNamesCodepage) {
    AddSet("\xc9tch \x80", "KOH");
    BatchRequest request = Request({"\xc9tch \x80"});
    request.fileNamesCodepage = nullptr;
    RecipeFileTarget files(&Windows1252());
    ASSERT_TRUE(ConvertSelectedSets(store, request, files, &report, &error));
    EXPECT_EQ(FilesInScratch(), (std::vector<std::string>{"\xc3\x89tch \xe2\x82\xac.rcp"}));
}

}  // namespace
