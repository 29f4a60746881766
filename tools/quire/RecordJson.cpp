#include "RecordJson.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Command.h"
#include "engine/Bcd.h"
#include "engine/DayNumber.h"
#include "engine/EngineError.h"
#include "engine/FieldValue.h"
#include "engine/FileBytes.h"

namespace quire::cli {
namespace {

using nlohmann::json;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) |
                            (i + 1 < bytes.size() ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                            (i + 2 < bytes.size() ? bytes[i + 2] : 0u);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int count = 0;
  std::size_t padding = 0;
  for (const char c : text) {
    if (c == '=') {
      ++padding;
      continue;
    }
    const char* at = std::strchr(kBase64, c);
    if (c == '\0' || at == nullptr || padding > 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(at - kBase64);
    if (++count == 4) {
      out.push_back(static_cast<std::uint8_t>(bits >> 16));
      out.push_back(static_cast<std::uint8_t>(bits >> 8));
      out.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2) return std::nullopt;
  if (count == 2) out.push_back(static_cast<std::uint8_t>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<std::uint8_t>(bits >> 10));
    out.push_back(static_cast<std::uint8_t>(bits >> 2));
  }
  return out;
}

bool IsTextBlob(const TFieldDescriptor& field) {
  return field.FieldSubType == fsubtype::Memo || field.FieldSubType == fsubtype::FormattedMemo;
}

// Day number to "YYYY-MM-DD".
std::string DateText(std::int32_t day) {
  int year = 1;
  // Whole 400-year cycles first, then years one by one.
  const std::int32_t cycle = DayNumber(401, 1, 1) - 1;
  std::int32_t rest = day - 1;
  year += 400 * (rest / cycle);
  rest %= cycle;
  while (rest >= (IsLeapYear(year) ? 366 : 365)) rest -= IsLeapYear(year++) ? 366 : 365;
  int month = 1;
  while (rest >= DaysInMonth(year, month)) rest -= DaysInMonth(year, month++);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, static_cast<int>(rest) + 1);
  return text;
}

std::string TimeText(std::int64_t ms) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000));
  return text;
}

std::optional<std::int32_t> ParseDate(const std::string& text) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || !IsValidDate(y, m, d))
    return std::nullopt;
  return DayNumber(y, m, d);
}

std::optional<std::int32_t> ParseTime(const std::string& text) {
  int h = 0, mi = 0, s = 0, ms = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%2d:%2d:%2d.%3d%c", &h, &mi, &s, &ms, &tail);
  if ((n != 3 && n != 4) || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0 || ms < 0)
    return std::nullopt;
  return ((h * 60 + mi) * 60 + s) * 1000 + ms;
}

template <typename T>
std::vector<std::uint8_t> Bytes(T value) {
  std::vector<std::uint8_t> out(sizeof(T));
  bytes::Put<T>(out, 0, value);
  return out;
}

std::vector<std::uint8_t> DoubleBytes(double value) {
  std::vector<std::uint8_t> out(8);
  bytes::PutDouble(out, 0, value);
  return out;
}

}  // namespace

TFieldInput ParseFieldJson(TDataFile& table, int fieldNo, const json& value,
                           const TTextCodec& codec, const std::string& what) {
  const TFieldDescriptor& field = table.FieldAt(true, fieldNo);
  TFieldInput input{fieldNo, std::nullopt};
  if (value.is_null()) return input;
  const auto bad = [&]() -> EUsageError {
    return EUsageError(what + ": field " + field.FieldName + " cannot take " + value.dump());
  };
  const auto integer = [&](std::int64_t min, std::int64_t max) {
    if (!value.is_number_integer()) throw bad();
    const std::int64_t n = value.get<std::int64_t>();
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(max)) throw bad();
    if (n < min || n > max) throw bad();
    return n;
  };
  const auto text = [&]() -> std::string {
    if (!value.is_string()) throw bad();
    return value.get<std::string>();
  };
  switch (field.FieldType) {
    case ftype::String: {
      const std::string bytes = codec.ToBytes(text(), what + ": field " + field.FieldName);
      input.value.emplace(bytes.begin(), bytes.end());
      break;
    }
    case ftype::Blob:
      if (IsTextBlob(field)) {
        const std::string bytes = codec.ToBytes(text(), what + ": field " + field.FieldName);
        input.value.emplace(bytes.begin(), bytes.end());
      } else {
        input.value = DecodeBase64(text());
        if (!input.value) throw bad();
      }
      break;
    case ftype::Bytes:
    case ftype::VarBytes: {
      input.value = DecodeBase64(text());
      if (!input.value || input.value->size() > field.DataSize) throw bad();
      input.value->resize(field.DataSize, 0);
      break;
    }
    case ftype::Date: {
      const auto day = ParseDate(text());
      if (!day) throw bad();
      input.value = Bytes<std::int32_t>(*day);
      break;
    }
    case ftype::Time: {
      const auto ms = ParseTime(text());
      if (!ms) throw bad();
      input.value = Bytes<std::int32_t>(*ms);
      break;
    }
    case ftype::TimeStamp: {
      const std::string stamp = text();
      const auto blank = stamp.find(' ');
      if (blank == std::string::npos) throw bad();
      const auto day = ParseDate(stamp.substr(0, blank));
      const auto ms = ParseTime(stamp.substr(blank + 1));
      if (!day || !ms) throw bad();
      input.value = DoubleBytes(double(*day) * kMillisecondsPerDay + *ms);
      break;
    }
    case ftype::Boolean:
      if (!value.is_boolean()) throw bad();
      input.value = Bytes<std::uint16_t>(value.get<bool>() ? 1 : 0);
      break;
    case ftype::SmallInt:
      input.value = Bytes<std::int16_t>(static_cast<std::int16_t>(integer(-32768, 32767)));
      break;
    case ftype::Word:
      input.value = Bytes<std::uint16_t>(static_cast<std::uint16_t>(integer(0, 65535)));
      break;
    case ftype::Integer:
      input.value = Bytes<std::int32_t>(static_cast<std::int32_t>(integer(INT32_MIN, INT32_MAX)));
      break;
    case ftype::UInt32:
      input.value = Bytes<std::uint32_t>(static_cast<std::uint32_t>(integer(0, UINT32_MAX)));
      break;
    case ftype::Float:
      if (!value.is_number()) throw bad();
      input.value = DoubleBytes(value.get<double>());
      break;
    case ftype::Extended: {
      if (!value.is_number()) throw bad();
      const auto bytes = ExtendedFromDouble(value.get<double>());
      input.value.emplace(bytes.begin(), bytes.end());
      break;
    }
    case ftype::Bcd: {
      const std::string number = value.is_string()   ? value.get<std::string>()
                                 : value.is_number() ? value.dump()
                                                     : throw bad();
      const auto stored = EncodeBcd(number, field.DataDecimals);
      if (!stored) throw bad();
      input.value = Bytes<std::int64_t>(*stored);
      break;
    }
    default:
      throw bad();
  }
  return input;
}

std::vector<TFieldInput> ParseRecordJson(TDataFile& table, const json& row, const TTextCodec& codec,
                                         const std::string& what) {
  if (!row.is_object()) throw EUsageError(what + ": a row must be a JSON object");
  std::vector<TFieldInput> inputs;
  for (const auto& [name, value] : row.items()) {
    const int fieldNo = table.FieldNumber(codec.ToBytes(name, what));
    if (fieldNo == 0) throw EUsageError(what + ": the table has no field " + name);
    const TFieldDescriptor& field = table.FieldAt(true, fieldNo);
    if (field.IsAutoInc() || field.IsComputed()) continue;
    inputs.push_back(ParseFieldJson(table, fieldNo, value, codec, what));
  }
  return inputs;
}

void ApplyFieldInputs(TDataFile& table, std::span<std::uint8_t> buffer,
                      const std::vector<TFieldInput>& inputs) {
  for (const TFieldInput& input : inputs) {
    const TFieldDescriptor& field = table.FieldAt(true, input.fieldNo);
    if (!field.IsBlob()) {
      table.SetField(true, input.fieldNo, buffer, input.value ? input.value->data() : nullptr,
                     input.value ? input.value->size() : 0);
      continue;
    }
    RaiseIfNonzero(table.OpenBlob(input.fieldNo, buffer));
    RaiseIfNonzero(table.TruncateBlob(input.fieldNo, buffer, 0));
    if (input.value && !input.value->empty()) {
      RaiseIfNonzero(table.WriteBlob(input.fieldNo, buffer, 0,
                                     static_cast<std::uint32_t>(input.value->size()),
                                     input.value->data()));
    }
  }
}

nlohmann::ordered_json RecordToJson(TDataFile& table, std::span<std::uint8_t> buffer,
                                    const TTextCodec& codec) {
  nlohmann::ordered_json row = nlohmann::ordered_json::object();
  const auto& fields = table.LogicalFields();
  std::vector<std::uint8_t> value;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& field = fields[i];
    const int fieldNo = static_cast<int>(i + 1);
    const std::string name = codec.ToText(field.FieldName, "a field name");
    value.assign(std::max<std::size_t>(field.DataSize, 10), 0);
    if (table.GetField(true, fieldNo, buffer, value)) {
      row[name] = nullptr;
      continue;
    }
    const std::span<const std::uint8_t> v(value);
    switch (field.FieldType) {
      case ftype::String:
        row[name] = codec.ToText(reinterpret_cast<const char*>(value.data()), field.FieldName);
        break;
      case ftype::Blob: {
        RaiseIfNonzero(table.OpenBlob(fieldNo, buffer));
        std::uint32_t size = 0;
        RaiseIfNonzero(table.BlobSize(fieldNo, buffer, size));
        std::vector<std::uint8_t> data(size);
        std::uint32_t copied = 0;
        RaiseIfNonzero(table.ReadBlob(fieldNo, buffer, 0, size, data.data(), copied));
        RaiseIfNonzero(table.CloseBlob(fieldNo, buffer));
        if (IsTextBlob(field)) {
          row[name] = codec.ToText(std::string(data.begin(), data.end()), field.FieldName);
        } else {
          row[name] = EncodeBase64(data);
        }
        break;
      }
      case ftype::Bytes:
      case ftype::VarBytes:
        row[name] = EncodeBase64(v.first(field.DataSize));
        break;
      case ftype::Date:
        row[name] = DateText(bytes::Get<std::int32_t>(v, 0));
        break;
      case ftype::Time:
        row[name] = TimeText(bytes::Get<std::int32_t>(v, 0));
        break;
      case ftype::TimeStamp: {
        const double stamp = bytes::GetDouble(v, 0);
        const auto day = static_cast<std::int32_t>(std::floor(stamp / kMillisecondsPerDay));
        const auto ms = static_cast<std::int64_t>(stamp - double(day) * kMillisecondsPerDay);
        row[name] = DateText(day) + " " + TimeText(ms);
        break;
      }
      case ftype::Boolean:
        row[name] = bytes::Get<std::uint16_t>(v, 0) != 0;
        break;
      case ftype::SmallInt:
        row[name] = bytes::Get<std::int16_t>(v, 0);
        break;
      case ftype::Word:
        row[name] = bytes::Get<std::uint16_t>(v, 0);
        break;
      case ftype::Integer:
        row[name] = bytes::Get<std::int32_t>(v, 0);
        break;
      case ftype::UInt32:
        row[name] = bytes::Get<std::uint32_t>(v, 0);
        break;
      case ftype::Float:
        row[name] = bytes::GetDouble(v, 0);
        break;
      case ftype::Extended:
        row[name] = DoubleFromExtended(v);
        break;
      case ftype::Bcd:
        row[name] = DecodeBcd(bytes::Get<std::int64_t>(v, 0));
        break;
      default:
        row[name] = nullptr;
        break;
    }
  }
  return row;
}

}  // namespace quire::cli
