#pragma once
// Encoding of the leaf pages of a compressed index. Entries are written one
// after the other from byte 13 of the page, each relative to the entry before
// it in the same page (the first stands alone), in at most 4083 bytes.
//
// The key body is the part whose trailing zero bytes may be cut: the whole
// key, except for a secondary index that is not unique, where the last 4 key
// bytes are the record's auto-increment suffix and are never cut.
//
//   scheme 1: u16 P, key[P..K), u32 record            (K - P + 6 bytes)
//   scheme 2: u16 T, body without its last T bytes,
//             suffix (if any), u32 record             (K - T + 6 bytes)
//   scheme 3: u8 P, u8 T, key[P..cut), suffix (if any and K - P >= 5),
//             u32 record                              (K - P - T + 6 bytes)
//
// P counts leading bytes equal to the previous key, over the whole key (0 for
// the first entry). T counts zero bytes at the end of the body; in scheme 3 it
// never reaches into the first P bytes, both counts are capped at 255, and a
// suffixed key with K - P below 5 is not cut at all (its remaining bytes are
// stored as they are, suffix included).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "index/IndexDescriptor.h"
#include "index/PageEntry.h"

namespace quire {

inline constexpr std::size_t kLeafAreaSize = 4083;

struct TLeafFormat {
  std::uint16_t keySize = 0;
  std::uint8_t scheme = 1;  // 1, 2 or 3
  bool keySuffix = false;   // the last 4 key bytes are an auto-increment suffix

  std::size_t BodySize() const { return keySuffix ? keySize - kKeySuffixSize : keySize; }
};

struct TCompressionCounts {
  std::uint16_t leading = 0;   // P
  std::uint16_t trailing = 0;  // T

  friend bool operator==(const TCompressionCounts&, const TCompressionCounts&) = default;
};

// The counts for `key` following `previousKey` (nullptr for a page's first
// entry). Both keys are K bytes.
TCompressionCounts CompressionCounts(const TLeafFormat& format, const std::uint8_t* previousKey,
                                     const std::uint8_t* key);

// Bytes one entry with these counts takes in the page.
std::size_t EncodedEntrySize(const TLeafFormat& format, TCompressionCounts counts);

// Recomputes the counts of `count` entries (TEntryLayout) and stores them in
// the entries; returns the bytes the encoded entries need.
std::size_t RefreshCompressionCounts(const TLeafFormat& format, std::span<std::uint8_t> entries,
                                     std::size_t count);

// Encodes `count` entries into `area` (the page's entry area) and returns
// the bytes used. The counts are recomputed first. When the entries need
// more room than `area` has, or the scheme is not 1 to 3, raises 8965 naming
// `fileName` and writes nothing.
std::size_t EncodeCompressedLeaf(const TLeafFormat& format, std::span<std::uint8_t> entries,
                                 std::size_t count, std::span<std::uint8_t> area,
                                 std::string_view fileName);

// Decodes `count` entries from the first `used` bytes of `area` into
// `entries` (resized to count entries of TEntryLayout). Every count and
// length is checked against the key size and the bytes left: a page whose
// entries do not decode to exactly `used` bytes raises 8965 naming
// `fileName`; nothing is ever read outside `area`.
void DecodeCompressedLeaf(const TLeafFormat& format, std::span<const std::uint8_t> area,
                          std::size_t used, std::size_t count, std::vector<std::uint8_t>& entries,
                          std::string_view fileName);

}  // namespace quire
