#pragma once
// TBlock: the in-memory copy of one block of a blob file.
//
// A block is B bytes at offset 512 + n*B: an 18-byte header and a payload of
// B - 18 bytes. Header layout (little-endian):
//   0  4  previous block of the same value (0 in the first block)
//   4  4  next block of the same value, or of the free chain (0 at the end)
//   8  2  used bytes: payload bytes in use (B - 18 in all but the last block)
//   10 4  owner: physical record number of the record the value belongs to
//   14 4  value length: the whole value's length, in the first block only
// On an encrypted table the header and the payload are enciphered as two
// separate runs of the table cipher with the data seeds.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quire {

inline constexpr std::size_t kBlockHeaderSize = 18;
// A block is refused (8963) when it would be pinned more often than this.
inline constexpr int kMaxBlockPins = 64;

class TBlock {
 public:
  // A cleared block of `blockSize` bytes at offset 0.
  explicit TBlock(std::uint32_t blockSize);

  std::uint32_t Offset() const { return offset_; }
  void SetOffset(std::uint32_t offset) { offset_ = offset; }

  // The five header fields.
  std::uint32_t Previous = 0;
  std::uint32_t Next = 0;
  std::uint16_t UsedBytes = 0;
  std::uint32_t Owner = 0;
  std::int32_t ValueLength = 0;

  std::span<std::uint8_t> Payload() { return payload_; }
  std::span<const std::uint8_t> Payload() const { return payload_; }
  std::uint32_t BlockSize() const {
    return static_cast<std::uint32_t>(payload_.size() + kBlockHeaderSize);
  }

  // Takes the block's B bytes as read from the file, deciphering them when
  // `encrypted`. The block is clean afterwards.
  void Load(std::span<const std::uint8_t> image, bool encrypted);
  // The block's B bytes as they go to the file, enciphered when `encrypted`.
  void Store(std::span<std::uint8_t> image, bool encrypted) const;
  // Zeroes the header fields and the payload.
  void Clear();

  // Copies `count` bytes between `at` in the payload and `bytes`. Returns
  // false, copying nothing, when they would pass the payload's end.
  bool CopyIn(std::size_t at, std::span<const std::uint8_t> bytes);
  bool CopyOut(std::size_t at, std::span<std::uint8_t> bytes) const;

  // The image differs from the file.
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // A pinned block stays in the cache while a caller uses it. Pin returns
  // false when the count would pass kMaxBlockPins.
  bool Pin();
  void Unpin() {
    if (pins_ > 0) --pins_;
  }
  int PinCount() const { return pins_; }
  void ClearPins() { pins_ = 0; }

  // Set while the block belongs to a group being read ahead, so that making
  // room for the group's later blocks does not evict its earlier ones.
  bool ReadAhead() const { return readAhead_; }
  void SetReadAhead(bool mark) { readAhead_ = mark; }

 private:
  std::uint32_t offset_ = 0;
  std::vector<std::uint8_t> payload_;
  bool modified_ = false;
  int pins_ = 0;
  bool readAhead_ = false;
};

}  // namespace quire
