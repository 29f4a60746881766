#include "engine/Bcd.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "engine/BlankText.h"

namespace quire {
namespace {

// An exact decimal: sign, digits, and the position of the point counted
// from the left end of `digits` (may lie outside it after an exponent).
struct TDecimal {
  bool negative = false;
  std::string digits;
  long point = 0;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::optional<TDecimal> ParseDecimal(std::string_view text, char separator) {
  text = TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  TDecimal d;
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') d.negative = text[i++] == '-';
  bool seenPoint = false;
  bool anyDigit = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      d.digits += c;
      anyDigit = true;
    } else if (c == separator && !seenPoint) {
      seenPoint = true;
      d.point = static_cast<long>(d.digits.size());
    } else {
      break;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (!seenPoint) d.point = static_cast<long>(d.digits.size());
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long exponent = 0;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      // Anything this large overflows the result anyway; stop counting.
      exponent = std::min(exponent * 10 + (text[i] - '0'), 100000L);
    }
    d.point += negativeExponent ? -exponent : exponent;
  }
  return d;
}

// The digit at position `index` of the decimal's digit string, 0 outside it.
int DigitAt(const TDecimal& d, long index) {
  if (index < 0 || index >= static_cast<long>(d.digits.size())) return 0;
  return d.digits[static_cast<std::size_t>(index)] - '0';
}

// Appends a digit to a magnitude, failing on overflow of int64.
bool AppendDigit(std::uint64_t& magnitude, int digit) {
  constexpr std::uint64_t limit = std::uint64_t{std::numeric_limits<std::int64_t>::max()};
  if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / 10) return false;
  magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit);
  return true;
}

bool Increment(std::uint64_t& magnitude, std::uint64_t by) {
  constexpr std::uint64_t limit = std::uint64_t{std::numeric_limits<std::int64_t>::max()};
  if (magnitude > limit - by) return false;
  magnitude += by;
  return true;
}

// The magnitude of the value scaled by 10^kept, rounded half away from zero.
std::optional<std::uint64_t> ScaledMagnitude(const TDecimal& d, int kept) {
  const long lastKept = d.point + kept;  // digits [0, lastKept) are kept
  const long firstSignificant = static_cast<long>(d.digits.find_first_not_of('0'));
  std::uint64_t magnitude = 0;
  if (firstSignificant >= 0) {
    for (long i = std::min(firstSignificant, lastKept); i < lastKept; ++i)
      if (!AppendDigit(magnitude, DigitAt(d, i))) return std::nullopt;
    if (DigitAt(d, lastKept) >= 5 && !Increment(magnitude, 1)) return std::nullopt;
  }
  return magnitude;
}

std::optional<std::int64_t> Encode(const TDecimal& d, int decimals) {
  if (decimals < 0 || decimals > kMaxBcdDecimals) return std::nullopt;
  const int kept = std::min(decimals, 4);
  const auto scaled = ScaledMagnitude(d, kept);
  if (!scaled) return std::nullopt;
  std::uint64_t magnitude = *scaled;
  // The digits beyond `kept` up to `decimals` are written as zeros.
  for (int i = kept; i < decimals; ++i)
    if (!AppendDigit(magnitude, 0)) return std::nullopt;
  if (!AppendDigit(magnitude, decimals)) return std::nullopt;
  const auto value = static_cast<std::int64_t>(magnitude);
  return d.negative ? -value : value;
}

}  // namespace

std::optional<std::int64_t> EncodeBcd(std::string_view text, int decimals, char decimalSeparator) {
  const auto d = ParseDecimal(text, decimalSeparator);
  if (!d) return std::nullopt;
  return Encode(*d, decimals);
}

std::optional<std::int64_t> ParseCurrency(std::string_view text, char decimalSeparator) {
  const auto d = ParseDecimal(text, decimalSeparator);
  if (!d) return std::nullopt;
  const auto magnitude = ScaledMagnitude(*d, 4);
  if (!magnitude) return std::nullopt;
  const auto value = static_cast<std::int64_t>(*magnitude);
  return d->negative ? -value : value;
}

std::optional<std::int64_t> EncodeBcdCurrency(std::int64_t tenThousandths, int decimals) {
  TDecimal d;
  d.negative = tenThousandths < 0;
  // The magnitude of INT64_MIN needs the unsigned type.
  const std::uint64_t magnitude =
      d.negative ? 0 - static_cast<std::uint64_t>(tenThousandths) : std::uint64_t(tenThousandths);
  d.digits = std::to_string(magnitude);
  d.point = static_cast<long>(d.digits.size()) - 4;
  return Encode(d, decimals);
}

std::string DecodeBcd(std::int64_t stored) {
  const bool negative = stored < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(stored) : static_cast<std::uint64_t>(stored);
  std::string digits = std::to_string(magnitude);
  const auto decimals = static_cast<std::size_t>(digits.back() - '0');
  digits.pop_back();
  if (digits.size() < decimals) digits.insert(0, decimals - digits.size(), '0');
  // Built by appending only: GCC 12 at -O3 misreads the string inserts that
  // a prepended sign would need as overlapping copies (-Wrestrict).
  const std::size_t wholeDigits = digits.size() - decimals;
  std::string text;
  text.reserve(digits.size() + 3);
  if (negative) text.push_back('-');
  if (wholeDigits == 0) text.push_back('0');
  text.append(digits, 0, wholeDigits);
  if (decimals > 0) {
    text.push_back('.');
    text.append(digits, wholeDigits, decimals);
  }
  return text;
}

int BcdDecimals(std::int64_t stored) {
  const std::uint64_t magnitude =
      stored < 0 ? 0 - static_cast<std::uint64_t>(stored) : static_cast<std::uint64_t>(stored);
  return static_cast<int>(magnitude % 10);
}

}  // namespace quire
