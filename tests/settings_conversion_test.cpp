// Tests of the conversion rules: one settings set in, the recipe entries out, exactly.
#include "conversion/settings_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "conversion/conversion_rules.h"
#include "conversion/frequency_index.h"
#include "recipes/recipe_entries.h"
#include "tests/memory_store.h"

namespace {

using Values = std::map<std::string, std::string>;

std::string Text(const std::string& text) {
    return MemoryStore::Text(text);
}
std::string Dword(int32_t value) {
    return MemoryStore::Dword(value);
}

// A store that also notes every value name asked for, in order.
class RecordingStore : public MemoryStore {
  public:
    QueryStatus QueryValue(SettingsKey key, const char* valueName, void* buffer, uint32_t size,
                           uint32_t* length) override {
        reads.push_back(valueName);
        return MemoryStore::QueryValue(key, valueName, buffer, size, length);
    }
    std::vector<std::string> reads;
};

// Notes each rule that wrote nothing as "VALUE reason [detail] -> SECTION/KEY ...".
class SkipRecorder : public SkipReporter {
  public:
    void RuleSkipped(const SkippedRule& rule) override {
        static const char* const kReasons[] = {
            "missing", "too-long",     "text-too-long",     "not-four-bytes",     "line-break",
            "no-data", "out-of-range", "etch-control-mode", "no-second-material",
        };
        std::string line =
            std::string(rule.valueName) + " " + kReasons[static_cast<int>(rule.reason)];
        if (rule.detail != 0) {
            line += " " + std::to_string(rule.detail);
        }
        line += " ->";
        for (size_t i = 0; i < rule.entryCount; ++i) {
            line += std::string(" ") + rule.entries[i].section + "/" + rule.entries[i].key;
        }
        lines.push_back(line);
    }
    std::vector<std::string> lines;
};

std::string EntryLines(const RecipeEntryList& entries) {
    std::string lines;
    for (const RecipeEntry& entry : entries) {
        lines += std::string(entry.section) + "/" + entry.key + "=" + entry.text + "\n";
    }
    return lines;
}

class SettingsConversionTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { BuildFrequencyTable(); }

    // Converts one set holding values; returns its entries, one "SECTION/key=text" line each.
    // Converts it a second time telling a reporter what was skipped (into skipped_), which
    // must give the same entries from the same reads.
    std::string Convert(const Values& values) {
        MemoryStore::Set& setData = store_.AddSet("set" + std::to_string(++sets_));
        setData.values = values;
        SettingsKey set = nullptr;
        EXPECT_TRUE(store_.OpenSettingsSet(nullptr, setData.name.c_str(), &set));
        store_.reads.clear();
        RecipeEntryList entries;
        ConvertSettingsSet(store_, set, entries);
        const std::vector<std::string> reads = store_.reads;
        store_.reads.clear();
        RecipeEntryList reported;
        SkipRecorder recorder;
        ConvertSettingsSet(store_, set, reported, &recorder);
        EXPECT_EQ(store_.reads, reads) << "reporting changed what was read";
        EXPECT_EQ(EntryLines(reported), EntryLines(entries)) << "reporting changed the entries";
        store_.reads = reads;
        skipped_ = recorder.lines;
        store_.CloseSettingsKey(set);
        return EntryLines(entries);
    }

    // The rules a set holding values skips for any reason but a missing value, one a line.
    std::string SkippedNotMissing(const Values& values) {
        Convert(values);
        std::string lines;
        for (const std::string& line : skipped_) {
            if (line.find(" missing ->") == std::string::npos) {
                lines += line + "\n";
            }
        }
        return lines;
    }

    // The one entry a set holding only these values yields for section/key, or "absent".
    std::string EntryFor(const Values& values, const std::string& sectionKey) {
        const std::string lines = Convert(values);
        const std::string prefix = sectionKey + "=";
        const size_t start = lines.find(prefix);
        if (start == std::string::npos) {
            return "absent";
        }
        const size_t end = lines.find('\n', start);
        return lines.substr(start + prefix.size(), end - start - prefix.size());
    }

    RecordingStore store_;
    int sets_ = 0;
    std::vector<std::string> skipped_;
};

TEST_F(SettingsConversionTest, FullSetWritesEvery35EntriesInOrder) {
    const Values full = {
        {"Mat1", Text("GaAs")},
        {"%Mat2", Dword(30)},
        {"Mat2", Text("AlGaAs")},
        {"Electrolyte", Text("Tiron")},
        {"AmpCar", Text("0.25")},
        {"FreqCar", Text("3.7")},
        {"ImLimDark", Text("0.5")},
        {"V-Step", Text("0.05")},
        {"Model", Dword(2)},
        {"AutoSave", Dword(5)},
        {"IV-Imin", Text("-1e-3")},
        {"IV-Imax", Text("1e-3")},
        {"IV-Vmin", Text("-2")},
        {"IV-Vmax", Text("0.5")},
        {"CV-Vmin", Text("-3")},
        {"CV-Vmax", Text("0")},
        {"CV-Cmax", Text("500")},
        {"CV-Show", Dword(1)},
        {"DP-Vmin", Text("-4")},
        {"DP-Vmax", Text("0.2")},
        {"DP-Nmin", Dword(10)},
        {"DP-Nmax", Dword(1000)},
        {"DP-Xmax", Text("2.5")},
        {"DP-Reverse", Dword(1)},
        {"EP-Nmin", Dword(-100)},
        {"EP-Nmax", Dword(100000)},
        {"EP-Xend", Text("5")},
        {"EP-Vmeas", Text("-1.5")},
        {"End@Wr", Dword(0)},
        {"ExAreaComp", Dword(1)},
        {"Settle-Auto", Text("1")},
        {"Settle-Delay", Dword(30)},
        {"Settle-Delta", Text("0.01")},
        {"Resolution", Text("0.005")},
        {"CycLamp1", Dword(75)},
        {"CycVetch1", Text("0.8")},
        {"AIe", Dword(1)},
        {"AIeVlim", Text("1.2")},
        {"CycIeLim1", Text("2e-3")},
    };
    const std::string lines = Convert(full);
    // The entry limit is exactly what a full set takes.
    EXPECT_EQ(kMaxRecipeEntries, 35u);
    EXPECT_EQ(lines,
              "GENERAL/Material=GaAs +.300 AlGaAs\n"
              "GENERAL/Electrolyte=Tiron\n"
              "GENERAL/Amplitude=250\n"
              "GENERAL/F1ix=7\n"
              "GENERAL/I-Meas Limit=0.5\n"
              "GENERAL/dV=0.05\n"
              "GENERAL/Model=2\n"
              "IV/AutoSave=1\n"
              "CV/AutoSave=0\n"
              "DP/AutoSave=1\n"
              "ETCH/AutoSave=0\n"
              "IV/I-Range=-1e-3 1e-3\n"
              "IV/V-Range=-2 0.5\n"
              "CV/V-Range=-3 0\n"
              "CV/C-max=500\n"
              "CV/Show=1\n"
              "DP/V-Range=-4 0.2\n"
              "DP/N-Range=10 1000\n"
              "DP/X-Scale=2.5\n"
              "DP/Reverse=1\n"
              "ETCH/N-range=-100 100000\n"
              "ETCH/W-end=5\n"
              "ETCH/V-Meas=-1.5\n"
              "ETCH/End At Wr=0\n"
              "ETCH/Use EA Comp=1\n"
              "ETCH/AreaIllum=1\n"
              "ETCH/Auto Settle=1\n"
              "ETCH/Settle Delay=30\n"
              "ETCH/Settle Delta=0.01\n"
              "ETCH/Resolution=5\n"
              "ETCH/Lamp Intensity=75\n"
              "ETCH/V-Etch=0.8\n"
              "ETCH/Etch Control Mode=2\n"
              "ETCH/V-Etch Max=1.2\n"
              "ETCH/I-Etch=2e-3\n");
}

TEST_F(SettingsConversionTest, EmptySetWritesNothing) {
    EXPECT_EQ(Convert({}), "");
    EXPECT_EQ(Convert({{"Unrelated", Text("1")}}), "");
    // Every rule says so, naming the first value it needs and every entry it would write.
    ASSERT_EQ(skipped_.size(), 31u);
    EXPECT_EQ(skipped_[0], "Mat1 missing -> GENERAL/Material");
    EXPECT_EQ(skipped_[7], "AutoSave missing -> IV/AutoSave CV/AutoSave DP/AutoSave ETCH/AutoSave");
    EXPECT_EQ(skipped_[21], "ExAreaComp missing -> ETCH/Use EA Comp ETCH/AreaIllum");
    EXPECT_EQ(skipped_[30], "CycIeLim1 missing -> ETCH/I-Etch");
}

// Each way a rule can come to write nothing is reported by the rule itself, with the value
// that stopped it and what it found there.
TEST_F(SettingsConversionTest, SkippedRulesSayWhy) {
    const std::string chars32(32, 'c');
    const struct {
        Values values;
        const char* expected;
    } cases[] = {
        {{{"Electrolyte", Text(chars32)}}, "Electrolyte too-long 33 -> GENERAL/Electrolyte\n"},
        {{{"Electrolyte", chars32}}, "Electrolyte text-too-long 32 -> GENERAL/Electrolyte\n"},
        {{{"IV-Imin", Text("1")}, {"IV-Imax", std::string(40, 'x')}},
         "IV-Imax too-long 40 -> IV/I-Range\n"},
        {{{"DP-Reverse", std::string(33, '\x01')}}, "DP-Reverse too-long 33 -> DP/Reverse\n"},
        {{{"Model", std::string("\x01\x00", 2)}}, "Model not-four-bytes 2 -> GENERAL/Model\n"},
        {{{"CV-Show", Text("GaAs")}}, "CV-Show not-four-bytes 5 -> CV/Show\n"},
        {{{"DP-Nmin", Dword(1)}, {"DP-Nmax", ""}}, "DP-Nmax not-four-bytes -> DP/N-Range\n"},
        {{{"CycVetch1", Text("0.8\r")}}, "CycVetch1 line-break -> ETCH/V-Etch\n"},
        {{{"AutoSave", ""}},
         "AutoSave no-data -> IV/AutoSave CV/AutoSave DP/AutoSave ETCH/AutoSave\n"},
        {{{"ExAreaComp", ""}}, "ExAreaComp no-data -> ETCH/Use EA Comp ETCH/AreaIllum\n"},
        {{{"AmpCar", Text("1e20")}, {"Resolution", Text("-2147483.649")}},
         "AmpCar out-of-range -> GENERAL/Amplitude\nResolution out-of-range -> ETCH/Resolution\n"},
        {{{"AIe", Dword(3)}}, "AIe etch-control-mode 3 -> ETCH/Etch Control Mode\n"},
        {{{"AIe", Dword(INT32_MAX)}},
         "AIe etch-control-mode 2147483647 -> ETCH/Etch Control Mode\n"},
        {{{"Mat1", Text("X")}, {"%Mat2", Dword(30)}},
         "Mat2 no-second-material 30 -> GENERAL/Material\n"},
        {{{"Mat1", Text("X")}, {"%Mat2", Dword(30)}, {"Mat2", Text(chars32)}},
         "Mat2 too-long 33 -> GENERAL/Material\n"},
        {{{"Mat1", Text("X")}, {"%Mat2", Text("30")}},
         "%Mat2 not-four-bytes 3 -> GENERAL/Material\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SkippedNotMissing(c.values), c.expected) << c.expected;
    }
    // A rule that writes reports nothing; one that stops at its first value names that value.
    Convert({{"Model", Dword(2)}, {"IV-Imax", Text("1")}});
    EXPECT_EQ(skipped_.size(), 30u);
    EXPECT_EQ(skipped_[7], "IV-Imin missing -> IV/I-Range");
}

TEST_F(SettingsConversionTest, MaterialShareAsThreeDecimals) {
    const std::string mat1 = "Al" + std::string(29, 'x');  // 31 characters, the most a text holds
    const std::string mat2 = "Ga" + std::string(29, 'y');
    const struct {
        int32_t percentage;
        std::string expected;
    } cases[] = {
        {1, "X +.010 Y"},  {5, "X +.050 Y"},    {30, "X +.300 Y"},   {45, "X +.450 Y"},
        {99, "X +.990 Y"}, {100, "X +1.000 Y"}, {101, "X +1.010 Y"}, {250, "X +2.500 Y"},
        {0, "X"},          {-1, "X"},           {INT32_MIN, "X"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            EntryFor({{"Mat1", Text("X")}, {"%Mat2", Dword(c.percentage)}, {"Mat2", Text("Y")}},
                     "GENERAL/Material"),
            c.expected)
            << c.percentage;
    }
    const std::string longest = mat1 + " +21474836.470 " + mat2;
    EXPECT_EQ(longest.size(), kMaxEntryTextChars);
    EXPECT_EQ(EntryFor({{"Mat1", Text(mat1)}, {"%Mat2", Dword(INT32_MAX)}, {"Mat2", Text(mat2)}},
                       "GENERAL/Material"),
              longest);
}

TEST_F(SettingsConversionTest, MaterialReadsInOrderAndStopsAtTheFirstAbsentValue) {
    EXPECT_EQ(Convert({{"%Mat2", Dword(30)}, {"Mat2", Text("Y")}}), "");
    EXPECT_EQ(store_.reads.front(), "Mat1");
    EXPECT_EQ(store_.reads[1], "Electrolyte");

    EXPECT_EQ(Convert({{"Mat1", Text("X")}, {"Mat2", Text("Y")}}), "");
    EXPECT_EQ(std::vector<std::string>(store_.reads.begin(), store_.reads.begin() + 3),
              (std::vector<std::string>{"Mat1", "%Mat2", "Electrolyte"}));

    // A share of 0 or less is "Mat1" alone, and "Mat2" is not even read.
    EXPECT_EQ(Convert({{"Mat1", Text("X")}, {"%Mat2", Dword(0)}, {"Mat2", Text("Y")}}),
              "GENERAL/Material=X\n");
    EXPECT_EQ(std::vector<std::string>(store_.reads.begin(), store_.reads.begin() + 3),
              (std::vector<std::string>{"Mat1", "%Mat2", "Electrolyte"}));

    // A positive share without "Mat2" has no material text to write.
    EXPECT_EQ(Convert({{"Mat1", Text("X")}, {"%Mat2", Dword(30)}}), "");
    EXPECT_EQ(Convert({{"Mat1", Text("X")}, {"%Mat2", Text("30")}, {"Mat2", Text("Y")}}), "");
}

TEST_F(SettingsConversionTest, ThousandthsOfAmplitudeAndResolution) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"0.5", "500"},     {"-0.25", "-250"},          {"1.9999", "1999"},
        {"0.29", "290"},    {"1.005", "1005"},          {"abc", "0"},
        {"", "0"},          {" 2.5 mV", "2500"},        {"2147483.647", "2147483647"},
        {"1e20", "absent"}, {"-2147483.649", "absent"}, {"1e999999999", "absent"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntryFor({{"AmpCar", Text(c.text)}}, "GENERAL/Amplitude"), c.expected) << c.text;
        EXPECT_EQ(EntryFor({{"Resolution", Text(c.text)}}, "ETCH/Resolution"), c.expected)
            << c.text;
    }
    // An amplitude out of range skips only its own rule.
    EXPECT_EQ(Convert({{"AmpCar", Text("1e20")}, {"FreqCar", Text("0")}}), "GENERAL/F1ix=0\n");
}

TEST_F(SettingsConversionTest, FrequencyIndexFromKilohertz) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"3.7", "7"},          {"0", "0"},
        {"100", "13"},         {"18.75", "12"},
        {"abc", "0"},          {"0x10", "0"},
        {"-5", "0"},           {" 0.40509", "0"},
        {"0.4051", "1"},       {"1e999999999", "13"},
        {"-1e999999999", "0"}, {"27.7", "13"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntryFor({{"FreqCar", Text(c.text)}}, "GENERAL/F1ix"), c.expected) << c.text;
    }
}

TEST_F(SettingsConversionTest, TextValuesAreCopiedUpToTheirFirstZeroByte) {
    const std::string chars31(31, 'c');
    EXPECT_EQ(EntryFor({{"Electrolyte", Text(chars31)}}, "GENERAL/Electrolyte"), chars31);
    // 32 characters: with the terminator the data does not fit the reader; without it the text
    // is still longer than a text value holds.
    EXPECT_EQ(EntryFor({{"Electrolyte", Text(chars31 + "c")}}, "GENERAL/Electrolyte"), "absent");
    EXPECT_EQ(EntryFor({{"Electrolyte", chars31 + "c"}}, "GENERAL/Electrolyte"), "absent");
    EXPECT_EQ(EntryFor({{"Electrolyte", "abc"}}, "GENERAL/Electrolyte"), "abc");
    EXPECT_EQ(EntryFor({{"Electrolyte", std::string("ab\0cd\0", 6)}}, "GENERAL/Electrolyte"), "ab");
    EXPECT_EQ(EntryFor({{"Electrolyte", Text("")}}, "GENERAL/Electrolyte"), "");
    EXPECT_EQ(EntryFor({{"Electrolyte", ""}}, "GENERAL/Electrolyte"), "");
}

TEST_F(SettingsConversionTest, TextWithALineBreakIsAbsent) {
    EXPECT_EQ(Convert({{"CycVetch1", Text("x\r\n[ETCH]\r\nV-Etch=99")}}), "");
    EXPECT_EQ(Convert({{"CycVetch1", Text("0.8\r")}}), "");
    EXPECT_EQ(Convert({{"CycVetch1", Text("0.8\n")}}), "");
    EXPECT_EQ(Convert({{"IV-Imin", Text("1")}, {"IV-Imax", Text("2\n")}}), "");
    EXPECT_EQ(Convert({{"AmpCar", Text("0.5\n")}}), "");
    EXPECT_EQ(Convert({{"Mat1", Text("X\r")}, {"%Mat2", Dword(0)}}), "");
    // Bytes after the terminating zero are not part of the text.
    EXPECT_EQ(Convert({{"CycVetch1", std::string("0.8\0\r\n", 6)}}), "ETCH/V-Etch=0.8\n");
}

TEST_F(SettingsConversionTest, IntegersNeedExactlyFourBytes) {
    EXPECT_EQ(EntryFor({{"Model", Dword(-5)}}, "GENERAL/Model"), "-5");
    EXPECT_EQ(EntryFor({{"Model", Dword(INT32_MIN)}}, "GENERAL/Model"), "-2147483648");
    EXPECT_EQ(EntryFor({{"CycLamp1", Dword(INT32_MAX)}}, "ETCH/Lamp Intensity"), "2147483647");
    // The text "0.5" with its terminator is four bytes: read as the integer 0x00352E30.
    EXPECT_EQ(EntryFor({{"Settle-Delay", Text("0.5")}}, "ETCH/Settle Delay"), "3485232");
    EXPECT_EQ(EntryFor({{"CV-Show", std::string("\x01\x00", 2)}}, "CV/Show"), "absent");
    EXPECT_EQ(EntryFor({{"CV-Show", ""}}, "CV/Show"), "absent");
    EXPECT_EQ(EntryFor({{"CV-Show", Text("GaAs")}}, "CV/Show"), "absent");
}

TEST_F(SettingsConversionTest, PairsNeedBothValues) {
    EXPECT_EQ(Convert({{"DP-Nmin", Dword(1)},
                       {"DP-Vmin", Text("-1")},
                       {"DP-Vmax", Text("1")},
                       {"DP-Xmax", Text("3")}}),
              "DP/V-Range=-1 1\n"
              "DP/X-Scale=3\n");
    EXPECT_EQ(Convert({{"EP-Nmax", Dword(1)}, {"IV-Imax", Text("1")}, {"IV-Vmin", Text("1")}}), "");
    EXPECT_EQ(Convert({{"EP-Nmin", Dword(INT32_MIN)}, {"EP-Nmax", Dword(INT32_MAX)}}),
              "ETCH/N-range=-2147483648 2147483647\n");
    EXPECT_EQ(Convert({{"IV-Vmin", Text("a")},
                       {"IV-Vmax", Text("b")},
                       {"CV-Vmin", Text("c")},
                       {"CV-Vmax", Text("d")},
                       {"DP-Vmin", Text("e")},
                       {"DP-Vmax", Text("")}}),
              "IV/V-Range=a b\n"
              "CV/V-Range=c d\n"
              "DP/V-Range=e \n");
}

TEST_F(SettingsConversionTest, FlagsJudgeTheFirstByteOnly) {
    EXPECT_EQ(EntryFor({{"DP-Reverse", Dword(1)}}, "DP/Reverse"), "1");
    EXPECT_EQ(EntryFor({{"DP-Reverse", Dword(256)}}, "DP/Reverse"), "0");
    EXPECT_EQ(EntryFor({{"DP-Reverse", Text("0")}}, "DP/Reverse"), "1");
    EXPECT_EQ(EntryFor({{"DP-Reverse", Text("")}}, "DP/Reverse"), "0");
    EXPECT_EQ(EntryFor({{"DP-Reverse", "\r"}}, "DP/Reverse"), "1");
    EXPECT_EQ(EntryFor({{"DP-Reverse", std::string(32, '\n')}}, "DP/Reverse"), "1");
    EXPECT_EQ(EntryFor({{"DP-Reverse", ""}}, "DP/Reverse"), "absent");
    EXPECT_EQ(EntryFor({{"DP-Reverse", std::string(33, '\x01')}}, "DP/Reverse"), "absent");
    EXPECT_EQ(Convert({{"End@Wr", Dword(0)}, {"ExAreaComp", Dword(1)}, {"Settle-Auto", "x"}}),
              "ETCH/End At Wr=0\n"
              "ETCH/Use EA Comp=1\n"
              "ETCH/AreaIllum=1\n"
              "ETCH/Auto Settle=1\n");
    EXPECT_EQ(Convert({{"ExAreaComp", Dword(0)}}),
              "ETCH/Use EA Comp=0\n"
              "ETCH/AreaIllum=0\n");
}

TEST_F(SettingsConversionTest, AutoSaveBitsGoToTheirSections) {
    EXPECT_EQ(Convert({{"AutoSave", Dword(5)}}),
              "IV/AutoSave=1\n"
              "CV/AutoSave=0\n"
              "DP/AutoSave=1\n"
              "ETCH/AutoSave=0\n");
    EXPECT_EQ(Convert({{"AutoSave", Dword(0x1F0)}}),
              "IV/AutoSave=0\n"
              "CV/AutoSave=0\n"
              "DP/AutoSave=0\n"
              "ETCH/AutoSave=0\n");
    EXPECT_EQ(Convert({{"AutoSave", "\x0A"}}),
              "IV/AutoSave=0\n"
              "CV/AutoSave=1\n"
              "DP/AutoSave=0\n"
              "ETCH/AutoSave=1\n");
    EXPECT_EQ(Convert({{"AutoSave", ""}}), "");
}

TEST_F(SettingsConversionTest, EtchControlModeBelowThree) {
    const struct {
        int32_t mode;
        const char* expected;
    } cases[] = {
        {0, "1"},
        {1, "2"},
        {2, "3"},
        {-1, "0"},
        {INT32_MIN, "-2147483647"},
        {3, "absent"},
        {4, "absent"},
        {INT32_MAX, "absent"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntryFor({{"AIe", Dword(c.mode)}}, "ETCH/Etch Control Mode"), c.expected)
            << c.mode;
    }
}

TEST_F(SettingsConversionTest, NothingCarriesOverFromTheSetBefore) {
    Convert({{"Mat1", Text("ABCDEFGHIJ")}, {"%Mat2", Dword(0)}, {"AIe", Dword(1)}});
    EXPECT_EQ(Convert({{"Mat1", "XY"}, {"%Mat2", Dword(0)}, {"AIe", Dword(5)}}),
              "GENERAL/Material=XY\n");
}

}  // namespace
