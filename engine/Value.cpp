#include "engine/Value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/Bcd.h"
#include "engine/DayNumber.h"
#include "engine/FieldValue.h"
#include "engine/FileBytes.h"

namespace quire {
namespace {

constexpr std::int64_t kBcdScale = 10000;
constexpr std::int64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// A stored BCD integer (digits, then the decimals as the last digit) as an
// amount of 1/10000 units. Up to four decimals scale up exactly; beyond four
// the stored digits are zeros (the encoding rounds to four), so dividing
// loses nothing.
std::int64_t BcdAmount(std::int64_t stored) {
  const int decimals = BcdDecimals(stored);
  const std::int64_t digits = stored / 10;
  if (decimals > 4) return digits / kPowersOfTen[decimals - 4];
  // Digits that would not fit once scaled are held at the nearest end.
  std::int64_t amount = 0;
  if (__builtin_mul_overflow(digits, kPowersOfTen[4 - decimals], &amount))
    return digits < 0 ? std::numeric_limits<std::int64_t>::min()
                      : std::numeric_limits<std::int64_t>::max();
  return amount;
}

bool IsTextType(std::uint8_t type) {
  return type == ftype::String || type == ftype::Bytes || type == ftype::VarBytes;
}

bool IsConvertibleNumber(std::uint8_t type) {
  return IsNumberKind(type) || type == ftype::UInt32 || type == ftype::Extended;
}

bool IsIntegerStorage(std::uint8_t type) {
  return IsIntegerKind(type) || type == ftype::UInt32;
}

std::pair<std::int64_t, std::int64_t> IntegerRange(std::uint8_t type) {
  switch (type) {
    case ftype::SmallInt:
      return {-32768, 32767};
    case ftype::Word:
      return {0, 65535};
    case ftype::UInt32:
      return {0, std::numeric_limits<std::uint32_t>::max()};
    default:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
  }
}

}  // namespace

TValue TValue::Boolean(bool value) {
  TValue v;
  v.Type = ftype::Boolean;
  v.Size = 2;
  v.Null = false;
  v.Integer = value ? 1 : 0;
  return v;
}

TValue TValue::Int(std::int32_t value) {
  TValue v;
  v.Type = ftype::Integer;
  v.Size = 4;
  v.Null = false;
  v.Integer = value;
  return v;
}

TValue TValue::Float(double value) {
  TValue v;
  v.Type = ftype::Float;
  v.Size = 8;
  v.Null = false;
  v.Real = value;
  return v;
}

TValue TValue::String(std::string_view text) {
  TValue v;
  v.Type = ftype::String;
  v.Text.assign(text);
  v.Size = static_cast<std::uint16_t>(text.size() + 1);
  v.Null = false;
  return v;
}

TValue TValue::NullOf(std::uint8_t type, std::uint16_t size) {
  TValue v;
  v.Type = type;
  v.Size = size != 0 ? size : static_cast<std::uint16_t>(DataSizeOf(type, 0));
  return v;
}

bool IsIntegerKind(std::uint8_t type) {
  return type == ftype::SmallInt || type == ftype::Integer || type == ftype::Word;
}

bool IsNumberKind(std::uint8_t type) {
  return IsIntegerKind(type) || type == ftype::Float || type == ftype::Bcd;
}

bool IsDateKind(std::uint8_t type) {
  return type == ftype::Date || type == ftype::Time || type == ftype::TimeStamp;
}

TValue DecodeValue(std::uint8_t type, std::uint8_t subType, std::span<const std::uint8_t> bytes) {
  TValue v;
  v.Type = type;
  v.SubType = subType;
  v.Size = static_cast<std::uint16_t>(bytes.size());
  v.Null = false;
  std::array<std::uint8_t, 10> fixed{};  // room for the widest fixed-size type
  std::copy_n(bytes.begin(), std::min(bytes.size(), fixed.size()), fixed.begin());
  switch (type) {
    case ftype::String:
      v.Text.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0));
      break;
    case ftype::Bytes:
    case ftype::VarBytes:
      v.Text.assign(bytes.begin(), bytes.end());
      break;
    case ftype::Date:
    case ftype::Integer:
    case ftype::Time:
    case ftype::Blob:
      v.Integer = bytes::Get<std::int32_t>(fixed, 0);
      break;
    case ftype::UInt32:
      v.Integer = bytes::Get<std::uint32_t>(fixed, 0);
      break;
    case ftype::SmallInt:
      v.Integer = bytes::Get<std::int16_t>(fixed, 0);
      break;
    case ftype::Word:
      v.Integer = bytes::Get<std::uint16_t>(fixed, 0);
      break;
    case ftype::Boolean:
      v.Integer = bytes::Get<std::uint16_t>(fixed, 0) != 0 ? 1 : 0;
      break;
    case ftype::Float:
    case ftype::TimeStamp:
      v.Real = bytes::GetDouble(fixed, 0);
      break;
    case ftype::Extended:
      v.Real = DoubleFromExtended(fixed);
      break;
    case ftype::Bcd: {
      const std::int64_t stored = bytes::Get<std::int64_t>(fixed, 0);
      v.Integer = BcdAmount(stored);
      v.Decimals = static_cast<std::uint8_t>(BcdDecimals(stored));
      break;
    }
    default:
      v.Text.assign(bytes.begin(), bytes.end());
      break;
  }
  return v;
}

TValue ReadValue(const TFieldDescriptor& field, std::span<const std::uint8_t> buffer) {
  std::array<std::uint8_t, 256> bytes{};
  const std::span<std::uint8_t> value(bytes.data(), field.DataSize);
  const bool blank = ReadFieldValue(field, buffer, value);
  TValue v = DecodeValue(field.FieldType, field.FieldSubType, value);
  v.Decimals = field.DataDecimals;
  v.Null = blank;
  return v;
}

std::optional<TValue> ConvertValue(const TValue& value, std::uint8_t type) {
  if (value.Type == type) return value;
  TValue out = TValue::NullOf(type);
  out.SubType = value.SubType;
  out.Decimals = value.Decimals;
  if (value.Type == 0) return out;  // the NULL keyword takes any type
  if (IsTextType(type) && IsTextType(value.Type)) {
    out.Text = value.Text;
    out.Null = value.Null;
    out.Size = value.Size;
    return out;
  }
  out.Null = value.Null;
  if (IsConvertibleNumber(type) && IsConvertibleNumber(value.Type)) {
    const bool fromBcd = value.Type == ftype::Bcd;
    const bool fromReal = value.Type == ftype::Float || value.Type == ftype::Extended;
    if (type == ftype::Bcd) {
      if (fromReal) {
        const double scaled = std::round(value.Real * kBcdScale);
        if (!(std::fabs(scaled) < 9.2e18)) return std::nullopt;
        out.Integer = static_cast<std::int64_t>(scaled);
      } else {
        out.Integer = value.Integer * kBcdScale;
      }
    } else if (type == ftype::Float || type == ftype::Extended) {
      out.Real = fromBcd    ? static_cast<double>(value.Integer) / kBcdScale
                 : fromReal ? value.Real
                            : static_cast<double>(value.Integer);
    } else {
      std::int64_t whole = value.Integer;
      if (fromBcd) whole = value.Integer / kBcdScale;
      if (fromReal) {
        if (!(std::fabs(value.Real) < 9.2e18)) return std::nullopt;
        whole = static_cast<std::int64_t>(std::trunc(value.Real));
      }
      const auto [low, high] = IntegerRange(type);
      if (whole < low || whole > high) return std::nullopt;
      out.Integer = whole;
    }
    return out;
  }
  const double perDay = kMillisecondsPerDay;
  if (type == ftype::TimeStamp && value.Type == ftype::Date) {
    out.Real = static_cast<double>(value.Integer) * perDay;
    return out;
  }
  if (type == ftype::Date && value.Type == ftype::TimeStamp) {
    out.Integer = static_cast<std::int64_t>(std::floor(value.Real / perDay));
    return out;
  }
  if (type == ftype::Time && value.Type == ftype::TimeStamp) {
    out.Integer = static_cast<std::int64_t>(std::fmod(value.Real, perDay));
    return out;
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> EncodeValue(const TValue& value, std::uint8_t type,
                                                     std::size_t dataSize, int decimals) {
  const auto converted = ConvertValue(value, type);
  if (!converted) return std::nullopt;
  const TValue& v = *converted;
  std::vector<std::uint8_t> bytes(std::max<std::size_t>(dataSize, 10), 0);
  switch (type) {
    case ftype::String: {
      const std::size_t n = std::min(v.Text.size(), dataSize > 0 ? dataSize - 1 : 0);
      std::memcpy(bytes.data(), v.Text.data(), n);
      break;
    }
    case ftype::Bytes:
    case ftype::VarBytes:
      std::memcpy(bytes.data(), v.Text.data(), std::min(v.Text.size(), dataSize));
      break;
    case ftype::SmallInt:
    case ftype::Word:
    case ftype::Boolean:
      bytes::Put<std::uint16_t>(bytes, 0, static_cast<std::uint16_t>(v.Integer));
      break;
    case ftype::Date:
    case ftype::Integer:
    case ftype::Time:
    case ftype::UInt32:
    case ftype::Blob:
      bytes::Put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(v.Integer));
      break;
    case ftype::Float:
    case ftype::TimeStamp:
      bytes::PutDouble(bytes, 0, v.Real);
      break;
    case ftype::Extended: {
      const auto extended = ExtendedFromDouble(v.Real);
      std::copy(extended.begin(), extended.end(), bytes.begin());
      break;
    }
    case ftype::Bcd: {
      const auto stored = EncodeBcdCurrency(v.Integer, decimals);
      if (!stored) return std::nullopt;
      bytes::Put<std::int64_t>(bytes, 0, *stored);
      break;
    }
    default:
      return std::nullopt;
  }
  bytes.resize(dataSize);
  return bytes;
}

bool WriteValue(const TFieldDescriptor& field, std::span<std::uint8_t> buffer,
                const TValue& value) {
  if (value.Null) {
    WriteFieldValue(field, buffer, nullptr, 0);
    return true;
  }
  const auto bytes = EncodeValue(value, field.FieldType, field.DataSize, field.DataDecimals);
  if (!bytes) {
    WriteFieldValue(field, buffer, nullptr, 0);
    return false;
  }
  WriteFieldValue(field, buffer, bytes->data(), bytes->size(), field.IsBlob() && value.Integer > 0);
  return true;
}

std::optional<std::vector<std::uint8_t>> EncodeForField(const TValue& value,
                                                        const TFieldDescriptor& field,
                                                        const TFormatSettings& formats) {
  std::optional<TValue> converted = value;
  if (value.Type == ftype::String && field.FieldType != ftype::String)
    converted = ParseValue(field.FieldType, value.Text, formats);
  if (!converted) return std::nullopt;
  return EncodeValue(*converted, field.FieldType, field.DataSize, field.DataDecimals);
}

std::optional<TValue> ParseValue(std::uint8_t type, std::string_view text,
                                 const TFormatSettings& settings) {
  TFieldDescriptor field;
  field.FieldType = type;
  field.FieldSize = static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), kMaxFieldSize));
  // Four decimals keep a BCD amount exact.
  field.FieldDecimals = type == ftype::Bcd ? 4 : 0;
  field.DeriveSizes();
  const auto bytes = ValueFromText(field, text, settings);
  if (!bytes) return std::nullopt;
  if (type == ftype::String) return TValue::String(text);
  return DecodeValue(type, 0, *bytes);
}

double NumericValue(const TValue& value) {
  switch (value.Type) {
    case ftype::Float:
    case ftype::TimeStamp:
    case ftype::Extended:
      return value.Real;
    case ftype::Bcd:
      return static_cast<double>(value.Integer) / kBcdScale;
    default:
      return static_cast<double>(value.Integer);
  }
}

int CompareValues(const TValue& a, const TValue& b,
                  const std::array<std::uint8_t, 256>* collation) {
  if (IsTextType(a.Type) && IsTextType(b.Type)) {
    const std::size_t n = std::min(a.Text.size(), b.Text.size());
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t x = static_cast<std::uint8_t>(a.Text[i]);
      std::uint8_t y = static_cast<std::uint8_t>(b.Text[i]);
      if (collation != nullptr) {
        x = (*collation)[x];
        y = (*collation)[y];
      }
      if (x != y) return x < y ? -1 : 1;
    }
    return Order(a.Text.size(), b.Text.size());
  }
  const double perDay = kMillisecondsPerDay;
  if (a.Type == ftype::Date && b.Type == ftype::TimeStamp)
    return Order(static_cast<double>(a.Integer) * perDay, b.Real);
  if (a.Type == ftype::TimeStamp && b.Type == ftype::Date)
    return Order(a.Real, static_cast<double>(b.Integer) * perDay);
  const bool aInteger = IsIntegerStorage(a.Type) || a.Type == ftype::Date ||
                        a.Type == ftype::Time || a.Type == ftype::Boolean;
  const bool bInteger = IsIntegerStorage(b.Type) || b.Type == ftype::Date ||
                        b.Type == ftype::Time || b.Type == ftype::Boolean;
  if ((aInteger && bInteger) || (a.Type == ftype::Bcd && b.Type == ftype::Bcd))
    return Order(a.Integer, b.Integer);
  if (a.Type == ftype::Bcd && bInteger)
    return Order(static_cast<long double>(a.Integer),
                 static_cast<long double>(b.Integer) * kBcdScale);
  if (b.Type == ftype::Bcd && aInteger)
    return Order(static_cast<long double>(a.Integer) * kBcdScale,
                 static_cast<long double>(b.Integer));
  return Order(NumericValue(a), NumericValue(b));
}

}  // namespace quire
