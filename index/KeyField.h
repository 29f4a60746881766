#pragma once
// What key building needs to know about one field of the table: where its
// bytes lie in the record buffer and how they are encoded. The data file hands
// the index file one of these per field, so the index layer never depends on
// the data file's own descriptor type.

#include <cstddef>
#include <cstdint>

namespace quire {

inline constexpr std::uint8_t kStringFieldType = 1;
inline constexpr std::uint8_t kAutoIncrementSubType = 29;
// The record prefix: deleted flag at 0, chain link or record number at 1,
// auto-increment value at 5.
inline constexpr std::size_t kRecordDeletedFlagAt = 0;
inline constexpr std::size_t kRecordAutoIncrementAt = 5;

struct TKeyField {
  std::uint16_t FieldNo = 0;      // 1-based
  std::uint8_t FieldType = 0;     // storage type code
  std::uint8_t FieldSubType = 0;  // 29 with type 6: auto-increment
  std::uint8_t DataSize = 0;      // bytes of the value in the record
  // Offset in the record of the field's null-indicator byte, or of the value
  // itself for the auto-increment field (which has no indicator).
  std::uint16_t FieldOffset = 0;

  bool IsAutoIncrement() const { return FieldType == 6 && FieldSubType == kAutoIncrementSubType; }
};

}  // namespace quire
