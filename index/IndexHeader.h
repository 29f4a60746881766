#pragma once
// The 4096-byte header at offset 0 of an index file, kept in memory as the
// exact image that is read and written as one block. Keeping the image (and
// not a decoded struct) preserves every byte a writer put there.
//
// Layout (little-endian):
//   0     4  change counter (signed; +1 on every header write)
//   4     4  reserved
//   8     1  version (3)
//   9     4  end offset: where the next new page goes (4096 with no pages)
//   13    1  secondary index count (0..30, slots 1..count)
//   14 3840  32 descriptor slots of 120 bytes: 0 primary, 1..30 secondary,
//            31 "Sys Deleted"
//   3854 120 reserved
//   3974  4  record count (signed, live records of the table)
//   3978  1  no-primary flag
//   3979  1  header-modified flag (written as it stands, ignored on read)
//   3980 116 reserved

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "index/IndexDescriptor.h"

namespace quire {

inline constexpr std::size_t kIndexHeaderSize = 4096;
inline constexpr std::uint8_t kIndexFileVersion = 3;
inline constexpr std::size_t kIndexSlotCount = 32;
inline constexpr std::uint8_t kSysDeletedSlot = 31;
inline constexpr char kSysDeletedName[] = "Sys Deleted";
inline constexpr std::uint16_t kSysDeletedKeySize = 5;

class TIndexHeader {
 public:
  // An all-zero image.
  TIndexHeader() = default;

  // The image of a new file: version 3, end offset 4096, slot 31 named
  // "Sys Deleted" with key size 5, header-modified 1, everything else zero.
  static TIndexHeader NewFile();

  std::span<std::uint8_t, kIndexHeaderSize> Bytes() { return image_; }
  std::span<const std::uint8_t, kIndexHeaderSize> Bytes() const { return image_; }

  std::int32_t ChangeCount() const;
  void SetChangeCount(std::int32_t value);
  std::uint8_t Version() const { return image_[8]; }
  std::uint32_t EndOffset() const;
  void SetEndOffset(std::uint32_t offset);
  std::uint8_t SecondaryCount() const { return image_[13]; }
  void SetSecondaryCount(std::uint8_t count) { image_[13] = count; }
  std::int32_t RecordCount() const;
  void SetRecordCount(std::int32_t count);
  bool NoPrimary() const { return image_[3978] != 0; }
  void SetNoPrimary(bool value) { image_[3978] = value ? 1 : 0; }
  bool Modified() const { return image_[3979] != 0; }
  void SetModified(bool value) { image_[3979] = value ? 1 : 0; }

  // Slot 0..31 decoded, and written back from a descriptor.
  TIndexDescriptor Descriptor(std::size_t slot) const;
  void SetDescriptor(std::size_t slot, const TIndexDescriptor& descriptor);
  // Sets a slot to all zero bytes (the primary slot of a table without one).
  void ClearDescriptor(std::size_t slot);

  // The root page and free page head of one slot, without decoding the rest.
  std::uint32_t RootPage(std::size_t slot) const;
  void SetRootPage(std::size_t slot, std::uint32_t offset);
  std::uint32_t FreePageHead(std::size_t slot) const;
  void SetFreePageHead(std::size_t slot, std::uint32_t offset);

 private:
  std::span<std::uint8_t, kIndexDescriptorSize> Slot(std::size_t slot);
  std::span<const std::uint8_t, kIndexDescriptorSize> Slot(std::size_t slot) const;

  std::array<std::uint8_t, kIndexHeaderSize> image_{};
};

}  // namespace quire
