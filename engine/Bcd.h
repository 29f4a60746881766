#pragma once
// The BCD field encoding. A value with d decimals is rounded to min(d, 4)
// decimals, written with exactly d digits after the point, the point removed
// and the digit d appended; that digit string is the stored signed 64-bit
// integer. 12.5 with 2 decimals is 12502, -3 with 0 decimals is -30, and 0
// with 2 decimals is 2. Because the decimals travel in the last digit,
// values of one field compare correctly as plain integers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quire {

// The most decimals a BCD field can carry: the count is one stored digit.
inline constexpr int kMaxBcdDecimals = 9;

// Encodes the decimal text `text` (blanks around it allowed, an optional
// sign, digits with an optional `decimalSeparator`, an optional exponent
// "e[+-]n"). Rounds half away from zero. Returns nothing when the text is
// not a number, `decimals` is outside 0..kMaxBcdDecimals, or the result does
// not fit in 64 bits.
std::optional<std::int64_t> EncodeBcd(std::string_view text, int decimals,
                                      char decimalSeparator = '.');

// Reads decimal text (as EncodeBcd) as a currency amount: a count of 1/10000
// units, rounded half away from zero. Nothing when it does not fit 64 bits.
std::optional<std::int64_t> ParseCurrency(std::string_view text, char decimalSeparator = '.');

// Encodes a currency amount held as a count of 1/10000 units.
std::optional<std::int64_t> EncodeBcdCurrency(std::int64_t tenThousandths, int decimals);

// Decodes a stored integer to its text: "12.50", "-3", "0.00". The point is
// always '.'; no point is written for 0 decimals.
std::string DecodeBcd(std::int64_t stored);

// The number of decimals a stored integer carries (its last digit).
int BcdDecimals(std::int64_t stored);

}  // namespace quire
