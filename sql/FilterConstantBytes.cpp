#include "sql/FilterConstantBytes.h"

#include <algorithm>

#include "engine/FieldTypes.h"
#include "engine/FileBytes.h"
#include "sql/FilterBuffer.h"

namespace quire {

std::uint8_t FilterTypeOf(const TFieldDescriptor& field) {
  switch (field.FieldType) {
    case ftype::String:
    case ftype::Date:
    case ftype::Boolean:
    case ftype::SmallInt:
    case ftype::Integer:
    case ftype::Float:
    case ftype::Bcd:
    case ftype::Time:
    case ftype::TimeStamp:
    case ftype::Word:
      return field.FieldType;
    default:
      return 0;
  }
}

std::vector<std::uint8_t> EncodeFilterConstant(const TValue& value) {
  switch (value.Type) {
    case ftype::String: {
      const std::size_t n = std::min(value.Text.size(), filterbuffer::kMaxStringConstant);
      std::vector<std::uint8_t> bytes(value.Text.begin(), value.Text.begin() + n);
      bytes.push_back(0);
      return bytes;
    }
    case ftype::Boolean:
      return {value.Integer != 0 ? std::uint8_t{0xFF} : std::uint8_t{0},
              value.Integer != 0 ? std::uint8_t{0xFF} : std::uint8_t{0}};
    case ftype::Bcd: {
      std::vector<std::uint8_t> bytes(8);
      bytes::Put<std::int64_t>(bytes, 0, value.Integer);
      return bytes;
    }
    default: {
      const int size = DataSizeOf(value.Type, 0);
      auto bytes = EncodeValue(value, value.Type, static_cast<std::size_t>(size), 0);
      return bytes ? *bytes : std::vector<std::uint8_t>(static_cast<std::size_t>(size), 0);
    }
  }
}

std::optional<TValue> DecodeFilterConstant(std::uint8_t type, std::span<const std::uint8_t> bytes) {
  switch (type) {
    case ftype::String: {
      if (bytes.empty()) return std::nullopt;
      TValue value = DecodeValue(type, 0, bytes);
      if (value.Text.empty()) return TValue::NullOf(ftype::String, 1);
      value.Size = static_cast<std::uint16_t>(value.Text.size() + 1);
      return value;
    }
    case ftype::Date:
    case ftype::Boolean:
    case ftype::SmallInt:
    case ftype::Integer:
    case ftype::Float:
    case ftype::Time:
    case ftype::TimeStamp:
    case ftype::Word:
      if (bytes.size() != static_cast<std::size_t>(DataSizeOf(type, 0))) return std::nullopt;
      return DecodeValue(type, 0, bytes);
    case ftype::Bcd: {
      if (bytes.size() != 8) return std::nullopt;
      TValue value = TValue::NullOf(ftype::Bcd, 8);
      value.Null = false;
      value.Integer = bytes::Get<std::int64_t>(bytes, 0);
      value.Decimals = 4;
      return value;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace quire
