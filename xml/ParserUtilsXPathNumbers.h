#pragma once
// The number conversions of XPath 1.0 (IEEE double throughout).
#include <string_view>

// round(): NaN and infinities unchanged; otherwise the integer nearest to x,
// halves rounded up, computed without the error of floor(x + 0.5)
// (0.49999999999999994 gives 0). A zero result is negative zero when x is
// negative or negative zero.
double XPathRound(double x);
// The number a string denotes: optional XML white space, an optional '-',
// digits with at most one '.' (".5" and "5." are allowed, "." is not),
// optional white space; correctly rounded. Anything else (empty, "-", "+4",
// "1e3") gives NaN. "-0" gives negative zero.
double XPathWideStrToNumber(std::u16string_view text);
