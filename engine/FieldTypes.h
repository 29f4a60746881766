#pragma once
// The storage type codes of fields and the room each value takes in a record.
// The numbers are part of the file format and are shared with the value types
// of expressions.

#include <cstdint>

namespace quire {

namespace ftype {
inline constexpr std::uint8_t String = 1;
inline constexpr std::uint8_t Date = 2;
inline constexpr std::uint8_t Blob = 3;
inline constexpr std::uint8_t Boolean = 4;
inline constexpr std::uint8_t SmallInt = 5;
inline constexpr std::uint8_t Integer = 6;
inline constexpr std::uint8_t Float = 7;
inline constexpr std::uint8_t Bcd = 8;
inline constexpr std::uint8_t Bytes = 9;
inline constexpr std::uint8_t Time = 10;
inline constexpr std::uint8_t TimeStamp = 11;
inline constexpr std::uint8_t Word = 12;
inline constexpr std::uint8_t UInt32 = 13;
inline constexpr std::uint8_t Extended = 14;
inline constexpr std::uint8_t VarBytes = 15;
}  // namespace ftype

namespace fsubtype {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t Money = 21;  // with Float
inline constexpr std::uint8_t Memo = 22;   // 22 to 28 with Blob
inline constexpr std::uint8_t Binary = 23;
inline constexpr std::uint8_t FormattedMemo = 24;
inline constexpr std::uint8_t Ole = 25;
inline constexpr std::uint8_t Graphic = 26;
inline constexpr std::uint8_t Ole2 = 27;
inline constexpr std::uint8_t TypedBinary = 28;
inline constexpr std::uint8_t AutoInc = 29;  // with Integer
}  // namespace fsubtype

// The largest declared size of a string, bytes or variable-bytes field.
inline constexpr int kMaxFieldSize = 250;

// Whether the type carries a declared size (string, bytes, variable bytes).
constexpr bool HasFieldSize(std::uint8_t type) {
  return type == ftype::String || type == ftype::Bytes || type == ftype::VarBytes;
}

// Bytes a value of `type` occupies in a record, not counting the
// null-indicator byte. `fieldSize` matters only for the sized types; codes
// above 15 take their (zero) field size.
constexpr int DataSizeOf(std::uint8_t type, int fieldSize) {
  switch (type) {
    case ftype::String:
      return fieldSize + 1;  // the terminating zero
    case ftype::Date:
    case ftype::Blob:
    case ftype::Integer:
    case ftype::Time:
    case ftype::UInt32:
      return 4;
    case ftype::Boolean:
    case ftype::SmallInt:
    case ftype::Word:
      return 2;
    case ftype::Float:
    case ftype::Bcd:
    case ftype::TimeStamp:
      return 8;
    case ftype::Extended:
      return 10;
    default:
      return fieldSize;
  }
}

}  // namespace quire
