#pragma once
// Locale-independent text of floating-point numbers, shared by Format and the
// float conversions. Not-a-number gives "NAN", infinities "INF" and "-INF". A
// result that rounds to zero never carries a minus sign.
#include <string>

// Fixed notation with decimals digits after the point (0-18): "-1234.50".
std::string FloatFixedText(double value, int decimals);
// Like FloatFixedText, with ',' between groups of three integer digits.
std::string FloatNumberText(double value, int decimals);
// Scientific notation with digits significant digits (1-18) and a signed exponent
// of at least three digits: "1.2345E+003".
std::string FloatScientificText(double value, int digits);
// The shorter of fixed and scientific with at most digits significant digits
// (1-18), trailing zeros removed: fixed when the integer part has at most digits
// digits and |value| >= 0.00001, else "1.5E-7" / "1E20".
std::string FloatGeneralText(double value, int digits);
