#include <cmath>
#include <cstdint>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "sql/Evaluate.h"

namespace quire {
namespace {

constexpr std::int64_t kBcdScale = 10000;
constexpr double kPerDay = kMillisecondsPerDay;

// Integer kinds compute in 32 bits and wrap, as the stored types do.
std::int64_t Wrap32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// A whole number of a double, wrapped to 32 bits; a value beyond any
// integer (a damaged timestamp, say) is 0 rather than undefined.
std::int64_t Wrap32(double value) {
  if (!(std::fabs(value) < 9.2e18)) return 0;
  return Wrap32(static_cast<std::int64_t>(value));
}

// An operand as a BCD amount in 1/10000 units.
__int128 Amount(const TValue& v) {
  if (v.Type == ftype::Bcd) return v.Integer;
  if (v.Type == ftype::Float) return static_cast<__int128>(std::llround(v.Real * kBcdScale));
  return static_cast<__int128>(v.Integer) * kBcdScale;
}

// numerator / denominator in 1/10000 units, rounded once, half away from
// zero, to `decimals` (at most four count): rounding the exact quotient
// rather than a truncated one keeps 2 / 3 at 0.6667.
std::int64_t RoundedAmount(__int128 numerator, __int128 denominator, int decimals) {
  static constexpr std::int64_t kSteps[] = {10000, 1000, 100, 10, 1};
  const std::int64_t step = kSteps[std::min(std::max(decimals, 0), 4)];
  const __int128 d = denominator * step;
  __int128 q = numerator / d;
  const __int128 r = numerator % d;
  const auto magnitude = [](__int128 v) { return v < 0 ? -v : v; };
  if (2 * magnitude(r) >= magnitude(d)) q += (numerator < 0) != (d < 0) ? -1 : 1;
  return static_cast<std::int64_t>(q * step);
}

TValue Typed(const TValue& result) {
  TValue v = TValue::NullOf(result.Type, result.Size);
  v.SubType = result.SubType;
  v.Decimals = result.Decimals;
  v.Null = false;
  return v;
}

}  // namespace

TValue ApplyArithmetic(std::uint8_t code, const TValue& resultType, const TValue& left,
                       const TValue& right) {
  if (left.Null || right.Null) return TValue::NullOf(resultType.Type, resultType.Size);
  TValue v = Typed(resultType);
  const bool divide = code == op::Divide;
  switch (resultType.Type) {
    case ftype::String:
      v.Text = left.Text + right.Text;
      v.Text.resize(std::min<std::size_t>(v.Text.size(), kMaxFieldSize));
      return v;
    case ftype::Float: {
      // Timestamp - timestamp lands here too: the milliseconds between them.
      const double a = NumericValue(left), b = NumericValue(right);
      switch (code) {
        case op::Add:
          v.Real = a + b;
          break;
        case op::Subtract:
          v.Real = a - b;
          break;
        case op::Multiply:
          v.Real = a * b;
          break;
        default:
          if (b == 0) return TValue::NullOf(resultType.Type, resultType.Size);
          v.Real = a / b;
          break;
      }
      return v;
    }
    case ftype::Bcd: {
      const __int128 a = Amount(left), b = Amount(right);
      const int decimals = resultType.Decimals;
      switch (code) {
        case op::Add:
          v.Integer = RoundedAmount(a + b, 1, decimals);
          break;
        case op::Subtract:
          v.Integer = RoundedAmount(a - b, 1, decimals);
          break;
        case op::Multiply:
          v.Integer = RoundedAmount(a * b, kBcdScale, decimals);
          break;
        default:
          if (b == 0) return TValue::NullOf(resultType.Type, resultType.Size);
          v.Integer = RoundedAmount(a * kBcdScale, b, decimals);
          break;
      }
      return v;
    }
    case ftype::Date:
      // date ± days, or days + date
      v.Integer = left.Type == ftype::Date ? (code == op::Add ? left.Integer + right.Integer
                                                              : left.Integer - right.Integer)
                                           : left.Integer + right.Integer;
      v.Integer = Wrap32(v.Integer);
      return v;
    case ftype::Time:
      // time ± milliseconds, or milliseconds + time
      v.Integer = Wrap32(code == op::Subtract ? left.Integer - right.Integer
                                              : left.Integer + right.Integer);
      return v;
    case ftype::TimeStamp: {
      // A timestamp moves its date part by whole days.
      const bool stampLeft = left.Type == ftype::TimeStamp;
      const double stamp = stampLeft ? left.Real : right.Real;
      const double days = static_cast<double>(stampLeft ? right.Integer : left.Integer);
      v.Real = code == op::Subtract ? stamp - days * kPerDay : stamp + days * kPerDay;
      return v;
    }
    default:
      break;
  }
  // Integer results: integer kinds, or differences of dates and times.
  if (divide) {  // only reached for unchecked trees: integer ÷ integer is float
    if (right.Integer == 0) return TValue::NullOf(resultType.Type, resultType.Size);
    v.Integer = Wrap32(left.Integer / right.Integer);
    return v;
  }
  if (code == op::Subtract && IsDateKind(left.Type)) {
    if (left.Type == ftype::TimeStamp) {
      // Against a date: whole days between them; against a time: the
      // milliseconds between the time of day and the time.
      if (right.Type == ftype::Date) {
        v.Integer = Wrap32(std::floor(left.Real / kPerDay) - static_cast<double>(right.Integer));
      } else {
        v.Integer = Wrap32(std::fmod(left.Real, kPerDay) - static_cast<double>(right.Integer));
      }
    } else {
      v.Integer = Wrap32(left.Integer - right.Integer);  // days or milliseconds
    }
    return v;
  }
  const std::int64_t a = left.Integer, b = right.Integer;
  switch (code) {
    case op::Add:
      v.Integer = Wrap32(a + b);
      break;
    case op::Subtract:
      v.Integer = Wrap32(a - b);
      break;
    default:
      v.Integer = Wrap32(a * b);  // two 32-bit values: the product fits 64 bits
      break;
  }
  return v;
}

TValue ApplyUnary(std::uint8_t code, const TValue& operand) {
  if (code == op::Plus || operand.Null) return operand;
  TValue v = operand;
  switch (operand.Type) {
    case ftype::Float:
    case ftype::TimeStamp:
      v.Real = -operand.Real;
      break;
    case ftype::Bcd:
      // Negated in unsigned arithmetic: the smallest amount wraps to itself.
      v.Integer = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(operand.Integer));
      break;
    default:
      v.Integer = Wrap32(-operand.Integer);
      break;
  }
  return v;
}

}  // namespace quire
