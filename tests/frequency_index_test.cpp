// Tests of the carrier-frequency table and the nearest-frequency index.
#include "conversion/frequency_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

class FrequencyIndexTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { BuildFrequencyTable(); }

    static double Midpoint(int i) { return g_carrierFrequencyTable.midpoint[i]; }
};

TEST_F(FrequencyIndexTest, TableHoldsTheCarrierFrequenciesAndTheirMidpoints) {
    // The carrier periods in microseconds, longest first, as the recipe application lists them.
    const int periods[kCarrierFrequencyCount] = {2880, 2160, 1440, 1080, 720, 540, 360,
                                                 270,  180,  120,  90,   60,  48,  36};
    for (int i = 0; i < kCarrierFrequencyCount; ++i) {
        EXPECT_EQ(g_carrierFrequencyTable.frequency[i], 1000000.0 / periods[i]) << "index " << i;
    }
    EXPECT_NEAR(g_carrierFrequencyTable.frequency[0], 347.22, 0.005);
    EXPECT_NEAR(g_carrierFrequencyTable.frequency[13], 27777.78, 0.005);
    EXPECT_NEAR(Midpoint(0), 405.09, 0.005);
    EXPECT_EQ(Midpoint(11), 18750.0);
    EXPECT_NEAR(Midpoint(12), 24305.56, 0.005);
}

TEST_F(FrequencyIndexTest, EveryMidpointGoesUpAndJustBelowItStaysDown) {
    for (int i = 0; i < kCarrierFrequencyCount - 1; ++i) {
        const double below = std::nextafter(Midpoint(i), 0.0);
        EXPECT_EQ(FrequencyIndex(Midpoint(i)), i + 1) << "midpoint " << i;
        EXPECT_EQ(FrequencyIndex(below), i) << "just below midpoint " << i;
        EXPECT_EQ(FrequencyIndex(g_carrierFrequencyTable.frequency[i]), i) << "frequency " << i;
    }
    EXPECT_EQ(FrequencyIndex(g_carrierFrequencyTable.frequency[13]), 13);
}

TEST_F(FrequencyIndexTest, EdgeFrequencies) {
    EXPECT_EQ(FrequencyIndex(0.0), 0);
    EXPECT_EQ(FrequencyIndex(-5.0), 0);
    EXPECT_EQ(FrequencyIndex(347.22), 0);
    EXPECT_EQ(FrequencyIndex(405.09), 0);
    EXPECT_EQ(FrequencyIndex(3700.0), 7);
    EXPECT_EQ(FrequencyIndex(18750.0), 12);
    EXPECT_EQ(FrequencyIndex(100000.0), 13);
    EXPECT_EQ(FrequencyIndex(std::numeric_limits<double>::infinity()), 13);
    EXPECT_EQ(FrequencyIndex(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(FrequencyIndex(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
