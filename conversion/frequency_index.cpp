// The carrier-frequency table and the nearest-frequency index the recipes store.
#include "conversion/frequency_index.h"

#include <cstdint>

namespace {

// The recipe application derives each carrier period from one base period, in microseconds:
// (base / divisor) * multiplier. Every divisor divides the base exactly.
constexpr int32_t kBasePeriodMicroseconds = 720;
constexpr double kMicrosecondsPerSecond = 1000000.0;

struct PeriodDefinition {
    int32_t divisor;
    int32_t multiplier;
};

// Index order: longest period (lowest frequency) first.
constexpr PeriodDefinition kPeriodDefinitions[kCarrierFrequencyCount] = {
    {1, 4}, {1, 3},  {2, 4},  {2, 3},  {3, 3},  {4, 3},  {6, 3},
    {8, 3}, {12, 3}, {18, 3}, {24, 3}, {36, 3}, {45, 3}, {60, 3},
};

}  // namespace

CarrierFrequencyTable g_carrierFrequencyTable;

void BuildFrequencyTable() {
    for (int i = 0; i < kCarrierFrequencyCount; ++i) {
        const PeriodDefinition& definition = kPeriodDefinitions[i];
        const int32_t period = kBasePeriodMicroseconds / definition.divisor * definition.multiplier;
        g_carrierFrequencyTable.frequency[i] = kMicrosecondsPerSecond / period;
    }
    for (int i = 0; i < kCarrierFrequencyCount - 1; ++i) {
        g_carrierFrequencyTable.midpoint[i] =
            (g_carrierFrequencyTable.frequency[i] + g_carrierFrequencyTable.frequency[i + 1]) * 0.5;
    }
}

int FrequencyIndex(double hertz) {
    int i = 0;
    // NaN fails every comparison and so stays at index 0.
    while (i < kCarrierFrequencyCount - 1 && hertz >= g_carrierFrequencyTable.midpoint[i]) {
        ++i;
    }
    return i;
}
