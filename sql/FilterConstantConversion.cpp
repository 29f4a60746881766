#include "sql/FilterConstantConversion.h"

#include <cmath>
#include <limits>

#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"
#include "engine/ValueText.h"
#include "sql/FilterBuffer.h"
#include "sql/FilterConstantBytes.h"

namespace quire {
namespace {

constexpr std::string_view kOutOfRange = "Constant out of range";
constexpr std::string_view kCannotBeUsed = "Field '%s' cannot be used in a filter expression";

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// What the conversion says of a text that is not a value of `type`.
[[noreturn]] void RaiseNotA(std::uint8_t type, std::string_view text) {
  switch (type) {
    case ftype::Boolean:
      RaiseDatabaseError("'%s' is not a valid boolean value", text);
    case ftype::Float:
      RaiseDatabaseError("'%s' is not a valid floating point value", text);
    case ftype::Bcd:
      RaiseDatabaseError("'%s' is not a valid BCD value", text);
    case ftype::Date:
      RaiseDatabaseError("'%s' is not a valid date", text);
    case ftype::Time:
      RaiseDatabaseError("'%s' is not a valid time", text);
    case ftype::TimeStamp:
      RaiseDatabaseError("'%s' is not a valid date and time", text);
    default:
      RaiseDatabaseError("'%s' is not a valid integer value", text);
  }
}

// The range of an integer kind.
std::pair<std::int64_t, std::int64_t> RangeOf(std::uint8_t type) {
  switch (type) {
    case ftype::SmallInt:
      return {std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()};
    case ftype::Word:
      return {0, std::numeric_limits<std::uint16_t>::max()};
    default:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
  }
}

// A whole number within the type's range. A text such as "7.0" or "1E3" is
// whole too; one with a fraction is not an integer at all.
TValue IntegerFromText(std::uint8_t type, std::string_view text, const TFormatSettings& settings) {
  std::optional<std::int64_t> whole = ParseIntegerText(
      text, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
  if (!whole) {
    const auto real = ParseFloatText(text, settings);
    if (!real || !std::isfinite(*real) || std::trunc(*real) != *real) RaiseNotA(type, text);
    if (std::fabs(*real) >= 9.2e18) RaiseDatabaseError(std::string(kOutOfRange));
    whole = static_cast<std::int64_t>(*real);
  }
  const auto [low, high] = RangeOf(type);
  if (*whole < low || *whole > high) RaiseDatabaseError(std::string(kOutOfRange));
  TValue value = TValue::NullOf(type);
  value.Null = false;
  value.Integer = *whole;
  return value;
}

TValue FromText(std::uint8_t type, std::string_view text, const TFormatSettings& settings) {
  switch (type) {
    case ftype::String:
      return TValue::String(text.substr(0, filterbuffer::kMaxStringConstant));
    case ftype::Boolean:
      if (SameWord(text, kFilterTrueWord)) return TValue::Boolean(true);
      if (SameWord(text, kFilterFalseWord)) return TValue::Boolean(false);
      break;
    case ftype::SmallInt:
    case ftype::Word:
    case ftype::Integer:
      return IntegerFromText(type, text, settings);
    case ftype::Bcd:
      if (!ParseValue(ftype::Bcd, text, settings) && ParseFloatText(text, settings))
        RaiseDatabaseError(std::string(kOutOfRange));  // a number, beyond 64 bits
      break;
    default:
      break;
  }
  if (const auto value = ParseValue(type, text, settings)) return *value;
  RaiseNotA(type, text);
}

// A BCD amount as the field keeps it: rounded to its decimals.
TValue RoundedToField(const TFieldDescriptor& field, TValue value) {
  const auto stored = EncodeValue(value, ftype::Bcd, 8, field.DataDecimals);
  if (!stored) RaiseDatabaseError(std::string(kOutOfRange));
  TValue rounded = DecodeValue(ftype::Bcd, 0, *stored);
  rounded.Decimals = field.DataDecimals;
  return rounded;
}

}  // namespace

TValue ConvertFilterConstant(const TFieldDescriptor& field, const TValue& constant,
                             const TFormatSettings& settings) {
  const std::uint8_t type = FilterTypeOf(field);
  if (type == 0) RaiseDatabaseError(kCannotBeUsed, field.FieldName);
  TValue value;
  if (constant.Type == ftype::String) {
    value = FromText(type, constant.Text, settings);
  } else if (constant.Type == ftype::Boolean && type != ftype::Boolean) {
    // The word stands for the boolean where a text is compared.
    value = FromText(type, constant.IsTrue() ? kFilterTrueWord : kFilterFalseWord, settings);
  } else {
    const auto converted = ConvertValue(constant, type);
    if (!converted) {
      if (IsNumberKind(constant.Type) && IsNumberKind(type))
        RaiseDatabaseError(std::string(kOutOfRange));
      RaiseDatabaseError("Type mismatch for field '%s'", field.FieldName);
    }
    value = *converted;
  }
  if (type == ftype::Bcd) value = RoundedToField(field, value);
  value.Type = type;
  return value;
}

}  // namespace quire
