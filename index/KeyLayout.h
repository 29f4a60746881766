#pragma once
// TKeyLayout: how the keys of one index are built from a record buffer.
//
// A key is the concatenation, over the index's key fields, of a part of
// DataSize + 1 bytes: the null-indicator byte (1 when the field has a value,
// always 1 for the auto-increment field) and the value encoded so that plain
// unsigned byte order is value order:
//   date, integer, auto-increment, time   4 bytes big-endian, sign bit flipped
//   small integer                         2 bytes big-endian, sign bit flipped
//   boolean, word                         2 bytes big-endian
//   float, money, timestamp               8 bytes big-endian; top bit set when
//                                         not below zero, all bits flipped when
//                                         negative
//   BCD                                   8 bytes big-endian, sign bit flipped
//   string                                the text, upper-cased (a-z) for a
//                                         case-insensitive index
//   anything else                         the record's bytes as stored
// In a table without a locale a descending field (of an index not descending
// as a whole) is stored complemented: the indicator and the value, except the
// last byte of a string part (its terminator). A secondary index that is not
// unique ends every key with the record's auto-increment value (4 bytes, as an
// integer), so equal field values still give distinct keys.
//
// The "Sys Deleted" key (index 31) is the slot's deleted flag followed by the
// auto-increment value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "index/IndexDescriptor.h"
#include "index/KeyField.h"

namespace quire {

// One key field of an index as the builder and comparer use it.
struct TKeyPart {
  std::uint16_t recordOffset = 0;
  std::uint8_t fieldType = 0;
  std::uint8_t dataSize = 0;
  bool autoIncrement = false;
  bool descending = false;  // the field's own flag
};

class TKeyLayout {
 public:
  // An empty layout (no key fields; K = 0).
  TKeyLayout() = default;

  // The layout of index `number` (0..31) described by `descriptor` over the
  // table's fields. `tableHasLocale` is whether the table's LanguageId is
  // nonzero: descending fields are then compared reversed instead of stored
  // complemented. Key fields the table lacks contribute their width as zero
  // bytes (the index file checked the definition when it was added).
  static TKeyLayout For(std::uint8_t number, const TIndexDescriptor& descriptor,
                        std::span<const TKeyField> fields, bool tableHasLocale);

  std::uint16_t KeySize() const { return keySize_; }
  std::size_t PartCount() const { return partCount_; }
  const TKeyPart& Part(std::size_t i) const { return parts_[i]; }
  bool Descending() const { return descending_; }
  bool HasSuffix() const { return suffix_; }

  // Builds the key of `record` (a record buffer) into `key`, which must hold
  // KeySize() bytes. The record must be long enough for every key field.
  void Build(std::span<const std::uint8_t> record, std::span<std::uint8_t> key) const;

 private:
  std::array<TKeyPart, kMaxKeyFields> parts_{};
  std::size_t partCount_ = 0;
  std::uint16_t keySize_ = 0;
  bool descending_ = false;
  bool caseInsensitive_ = false;
  bool complementDescending_ = false;  // no locale: descending fields stored complemented
  bool suffix_ = false;
  bool sysDeleted_ = false;
};

// Encodes a signed 32-bit value as a key part body: big-endian, sign flipped.
void PutKeyInt32(std::uint8_t* out, std::int32_t value);

}  // namespace quire
