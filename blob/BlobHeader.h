#pragma once
// The 512-byte header at offset 0 of a blob file. Blocks of the table's
// block size B follow it, the first at offset 512.
//
// Layout (little-endian):
//   0   4  change counter (signed; +1 on every header write)
//   4   4  reserved
//   8   1  version (3)
//   9   4  free block head: first block of the free chain, 0 when empty
//   13  4  end offset: where the next new block goes (512 with no blocks)
//   17  1  header-modified flag (written as it stands, ignored on read)
//   18 494 reserved

#include <array>
#include <cstdint>
#include <span>

namespace quire {

inline constexpr std::size_t kBlobHeaderSize = 512;
inline constexpr std::uint8_t kBlobFileVersion = 3;

using TBlobHeaderImage = std::array<std::uint8_t, kBlobHeaderSize>;

struct TBlobHeader {
  std::int32_t ChangeCount = 0;
  std::uint8_t Version = kBlobFileVersion;
  std::uint32_t FreeBlockHead = 0;
  std::uint32_t EndOffset = kBlobHeaderSize;
  std::uint8_t Modified = 0;

  // The plain 512 bytes; reserved bytes are zero.
  TBlobHeaderImage Encode() const;
  static TBlobHeader Decode(std::span<const std::uint8_t, kBlobHeaderSize> image);
};

}  // namespace quire
