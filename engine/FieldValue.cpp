#include "engine/FieldValue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "engine/Bcd.h"
#include "engine/BlankText.h"
#include "engine/DayNumber.h"
#include "engine/FileBytes.h"
#include "engine/ValueText.h"

namespace quire {
namespace {

bool Is(std::string_view text, std::string_view word) {
  return EqualsIgnoringAsciiCase(TrimBlanks(text), word);
}

struct TNow {
  std::int32_t day;
  std::int32_t milliseconds;
};

TNow LocalNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  return {DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
          ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
              static_cast<std::int32_t>(ms.count())};
}

template <typename T>
std::vector<std::uint8_t> LittleEndian(T value, std::size_t size) {
  std::vector<std::uint8_t> bytes(size, 0);
  bytes::Put<T>(bytes, 0, value);
  return bytes;
}

std::vector<std::uint8_t> DoubleBytes(double value) {
  std::vector<std::uint8_t> bytes(8, 0);
  bytes::PutDouble(bytes, 0, value);
  return bytes;
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool ReadFieldValue(const TFieldDescriptor& field, std::span<const std::uint8_t> buffer,
                    std::span<std::uint8_t> value) {
  std::fill(value.begin(), value.end(), std::uint8_t{0});
  const std::size_t size = std::min<std::size_t>(value.size(), field.DataSize);
  if (field.IsAutoInc()) {
    std::memcpy(value.data(), buffer.data() + kAutoIncOffset, std::min<std::size_t>(size, 4));
    return false;
  }
  std::memcpy(value.data(), buffer.data() + field.FieldOffset + 1, size);
  return buffer[field.FieldOffset] == 0;
}

void WriteFieldValue(const TFieldDescriptor& field, std::span<std::uint8_t> buffer,
                     const std::uint8_t* value, std::size_t length, bool blobPresent) {
  if (field.IsAutoInc()) {
    if (value == nullptr) return;
    std::uint8_t bytes[4] = {};
    std::memcpy(bytes, value, std::min<std::size_t>(length, 4));
    std::memcpy(buffer.data() + kAutoIncOffset, bytes, 4);
    return;
  }
  std::uint8_t* indicator = buffer.data() + field.FieldOffset;
  std::uint8_t* target = indicator + 1;
  std::memset(target, 0, field.DataSize);
  if (value == nullptr) {
    *indicator = 0;
    return;
  }
  switch (field.FieldType) {
    case ftype::String: {
      std::size_t n = 0;
      const std::size_t room = field.DataSize > 0 ? field.DataSize - 1u : 0u;
      while (n < length && n < room && value[n] != 0) ++n;
      while (n > 0 && value[n - 1] == ' ') --n;
      std::memcpy(target, value, n);
      *indicator = n > 0 ? 1 : 0;
      return;
    }
    case ftype::Boolean: {
      bool set = false;
      for (std::size_t i = 0; i < std::min<std::size_t>(length, 2); ++i) set = set || value[i] != 0;
      target[0] = set ? 1 : 0;
      *indicator = 1;
      return;
    }
    case ftype::Blob:
      std::memcpy(target, value, std::min<std::size_t>(length, field.DataSize));
      *indicator = blobPresent ? 1 : 0;
      return;
    default:
      std::memcpy(target, value, std::min<std::size_t>(length, field.DataSize));
      *indicator = 1;
      return;
  }
}

std::optional<std::vector<std::uint8_t>> ValueFromText(const TFieldDescriptor& field,
                                                       std::string_view text,
                                                       const TFormatSettings& settings) {
  const std::size_t size = field.DataSize;
  switch (field.FieldType) {
    case ftype::String:
    case ftype::Bytes:
    case ftype::VarBytes: {
      std::vector<std::uint8_t> bytes(size, 0);
      std::memcpy(bytes.data(), text.data(), std::min(text.size(), size));
      return bytes;
    }
    case ftype::Date: {
      if (Is(text, "DATE")) return LittleEndian<std::int32_t>(LocalNow().day, 4);
      const auto day = ParseDateText(text, settings);
      if (!day) return std::nullopt;
      return LittleEndian<std::int32_t>(*day, 4);
    }
    case ftype::Time: {
      if (Is(text, "TIME")) return LittleEndian<std::int32_t>(LocalNow().milliseconds, 4);
      const auto time = ParseTimeText(text, settings);
      if (!time) return std::nullopt;
      return LittleEndian<std::int32_t>(*time, 4);
    }
    case ftype::TimeStamp: {
      const TNow now = LocalNow();
      const double perDay = kMillisecondsPerDay;
      if (Is(text, "NOW")) return DoubleBytes(now.day * perDay + now.milliseconds);
      if (Is(text, "DATE")) return DoubleBytes(now.day * perDay);
      if (Is(text, "TIME")) return DoubleBytes(kDayNumberOf18991230 * perDay + now.milliseconds);
      const auto stamp = ParseDateTimeText(text, settings);
      if (!stamp) return std::nullopt;
      return DoubleBytes(*stamp);
    }
    case ftype::Boolean:
      if (Is(text, "TRUE")) return LittleEndian<std::uint16_t>(1, 2);
      if (Is(text, "FALSE")) return LittleEndian<std::uint16_t>(0, 2);
      return std::nullopt;
    case ftype::SmallInt:
      if (const auto v = ParseIntegerText(text, -32768, 32767))
        return LittleEndian<std::int16_t>(static_cast<std::int16_t>(*v), 2);
      return std::nullopt;
    case ftype::Word:
      if (const auto v = ParseIntegerText(text, 0, 65535))
        return LittleEndian<std::uint16_t>(static_cast<std::uint16_t>(*v), 2);
      return std::nullopt;
    case ftype::Integer:
      if (const auto v = ParseIntegerText(text, std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max()))
        return LittleEndian<std::int32_t>(static_cast<std::int32_t>(*v), 4);
      return std::nullopt;
    case ftype::UInt32:
      if (const auto v = ParseIntegerText(text, 0, std::numeric_limits<std::uint32_t>::max()))
        return LittleEndian<std::uint32_t>(static_cast<std::uint32_t>(*v), 4);
      return std::nullopt;
    case ftype::Float:
      if (const auto v = ParseFloatText(text, settings)) return DoubleBytes(*v);
      return std::nullopt;
    case ftype::Extended:
      if (const auto v = ParseFloatText(text, settings)) {
        const auto bytes = ExtendedFromDouble(*v);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
      }
      return std::nullopt;
    case ftype::Bcd: {
      const auto amount = ParseCurrency(text, settings.DecimalSeparator);
      if (!amount) return std::nullopt;
      const auto stored = EncodeBcdCurrency(*amount, field.DataDecimals);
      if (!stored) return std::nullopt;
      return LittleEndian<std::int64_t>(*stored, 8);
    }
    default:
      return std::nullopt;
  }
}

int CompareFieldValues(const TFieldDescriptor& field, std::span<const std::uint8_t> a,
                       std::span<const std::uint8_t> b) {
  switch (field.FieldType) {
    case ftype::String: {
      const auto length = [](std::span<const std::uint8_t> s) {
        return static_cast<std::size_t>(std::find(s.begin(), s.end(), 0) - s.begin());
      };
      const std::size_t la = length(a), lb = length(b);
      const int c = std::memcmp(a.data(), b.data(), std::min(la, lb));
      return c != 0 ? (c < 0 ? -1 : 1) : Order(la, lb);
    }
    case ftype::Date:
    case ftype::Integer:
    case ftype::Time:
      return Order(bytes::Get<std::int32_t>(a, 0), bytes::Get<std::int32_t>(b, 0));
    case ftype::SmallInt:
      return Order(bytes::Get<std::int16_t>(a, 0), bytes::Get<std::int16_t>(b, 0));
    case ftype::Boolean:
    case ftype::Word:
      return Order(bytes::Get<std::uint16_t>(a, 0), bytes::Get<std::uint16_t>(b, 0));
    case ftype::UInt32:
      return Order(bytes::Get<std::uint32_t>(a, 0), bytes::Get<std::uint32_t>(b, 0));
    case ftype::Float:
    case ftype::TimeStamp:
      return Order(bytes::GetDouble(a, 0), bytes::GetDouble(b, 0));
    case ftype::Extended:
      return Order(DoubleFromExtended(a), DoubleFromExtended(b));
    case ftype::Bcd:
      return Order(bytes::Get<std::int64_t>(a, 0), bytes::Get<std::int64_t>(b, 0));
    default: {
      const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
  }
}

std::array<std::uint8_t, 10> ExtendedFromDouble(double value) {
  std::array<std::uint8_t, 10> out{};
  if (value == 0 || std::isnan(value)) {
    if (std::signbit(value)) out[9] = 0x80;
    return out;
  }
  const bool negative = value < 0;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
  // The extended format keeps an explicit leading 1: mantissa = fraction * 2^64.
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
  const std::uint16_t biased = static_cast<std::uint16_t>(exponent - 1 + 16383);
  bytes::Put<std::uint64_t>(out, 0, mantissa);
  bytes::Put<std::uint16_t>(out, 8, static_cast<std::uint16_t>(biased | (negative ? 0x8000 : 0)));
  return out;
}

double DoubleFromExtended(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 10) return 0;
  const std::uint64_t mantissa = bytes::Get<std::uint64_t>(bytes, 0);
  const std::uint16_t top = bytes::Get<std::uint16_t>(bytes, 8);
  if (mantissa == 0) return 0;
  const int exponent = (top & 0x7FFF) - 16383;
  const double magnitude = std::ldexp(static_cast<double>(mantissa), exponent - 63);
  return (top & 0x8000) ? -magnitude : magnitude;
}

}  // namespace quire
