// Decimal numbers read from settings texts the way the C locale reads them, as a double or exact.
//
// The grammar, the same for both readers: leading blanks (space, tab, LF, VT, FF, CR) are
// skipped; then an optional sign, digits with an optional decimal point (a full stop, whatever
// the user's locale) and at least one digit, and an optional exponent ("e" or "E", an optional
// sign, at least one digit). The longest prefix that fits is read and the rest is ignored; a
// text with no such prefix reads as 0. Hexadecimal, "inf" and "nan" are not numbers here.
#pragma once

#include <cstdint>

// Returns the double nearest the number's value, as strtod gives it for the same prefix
// (HUGE_VAL with the number's sign beyond the double range, 0 when there is no number).
double DecimalToDouble(const char* text);

// Sets *thousandths to the number's exact decimal value times 1000, truncated toward zero, and
// returns true; returns false, leaving *thousandths alone, when that lies outside int32_t.
// No floating point is involved: "0.29" gives 290 and "1.9999" gives 1999.
bool DecimalToThousandths(const char* text, int32_t* thousandths);
