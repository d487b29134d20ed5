// The 14 carrier frequencies of the recipe application and the index of the nearest one.
#pragma once

constexpr int kCarrierFrequencyCount = 14;

struct CarrierFrequencyTable {
    double frequency[kCarrierFrequencyCount];     // hertz, ascending
    double midpoint[kCarrierFrequencyCount - 1];  // between neighbours
};

// Process-wide, filled once by BuildFrequencyTable before any conversion.
extern CarrierFrequencyTable g_carrierFrequencyTable;

// Fills g_carrierFrequencyTable. No result.
void BuildFrequencyTable();

// Returns the index (0 to 13) of the table frequency nearest to hertz; a frequency on a
// midpoint goes up, anything below the first midpoint (and NaN) gives 0.
int FrequencyIndex(double hertz);
