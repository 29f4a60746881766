#pragma once
// One index of a table as the index file header stores it: a 120-byte slot.
// The same 120 bytes are the index definition that table creation hands to
// the index file, so TIndexDefinition is this struct too; in a definition the
// key size, root page and free page head are ignored (the index file computes
// the key size from the fields, and a new index has no pages).
//
// Layout (little-endian):
//   0  31  name: length byte + up to 30 characters ("" for the primary index)
//   31  2  key size K
//   33  1  descending          34  1  case-insensitive
//   35  1  unique              36  1  compression (0 none, 1 leading, 2 trailing, 3 both)
//   37  1  field count (0..16)
//   38 16  per-field descending flags, key order
//   54 32  16 field numbers (16-bit, 1-based), 0 past the field count
//   86  4  root page offset (0: no key)
//   90  4  free page head (0: chain empty)
//   94 26  reserved, zero

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quire {

inline constexpr std::size_t kIndexDescriptorSize = 120;
inline constexpr std::size_t kMaxIndexNameLength = 30;
inline constexpr std::size_t kMaxKeyFields = 16;
// Longest key built from the fields of one index.
inline constexpr std::size_t kMaxKeyBody = 1036;
// Keys of a secondary index that is not unique end in the record's 4-byte
// auto-increment value, which keeps equal field values apart.
inline constexpr std::size_t kKeySuffixSize = 4;
inline constexpr std::size_t kMaxKeySize = kMaxKeyBody + kKeySuffixSize;

struct TIndexDescriptor {
  std::string Name;  // at most 30 characters when stored
  std::uint16_t KeySize = 0;
  // Flag bytes are kept as stored, so a file rewritten by us keeps them.
  std::uint8_t Descending = 0;
  std::uint8_t CaseInsensitive = 0;
  std::uint8_t Unique = 0;
  std::uint8_t Compression = 0;
  std::uint8_t FieldCount = 0;
  std::array<std::uint8_t, kMaxKeyFields> FieldDescending{};
  std::array<std::uint16_t, kMaxKeyFields> FieldNumbers{};
  std::uint32_t RootPage = 0;
  std::uint32_t FreePageHead = 0;

  // Writes the 120-byte slot; the name is cut to 30 characters and every
  // reserved byte is written as zero.
  void EncodeTo(std::span<std::uint8_t, kIndexDescriptorSize> out) const;

  // Reads a 120-byte slot. A name length above 30 (a damaged slot) is read
  // as 30 so that the name never reaches past its field.
  static TIndexDescriptor Decode(std::span<const std::uint8_t, kIndexDescriptorSize> in);

  friend bool operator==(const TIndexDescriptor&, const TIndexDescriptor&) = default;
};

using TIndexDefinition = TIndexDescriptor;

}  // namespace quire
