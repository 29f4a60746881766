#pragma once
// The data file's fixed parts: the 127-byte header at offset 0 and one
// 768-byte descriptor per field after it. Records follow the descriptors:
// record n (from 1) lives at DataStart + (n - 1) * RecordSize.
//
// In memory the header's description and password are plain text; the codec
// enciphers their characters (not the length bytes) with the header seed pair
// when the table is encrypted, as other programs expect.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/FieldTypes.h"

namespace quire {

inline constexpr std::size_t kDataHeaderSize = 127;
inline constexpr std::size_t kFieldDescriptorSize = 768;
inline constexpr std::uint8_t kDataFileVersion = 3;
inline constexpr int kMaxFieldCount = 1024;
inline constexpr int kMaxBlobFieldCount = 32;
inline constexpr std::uint32_t kDefaultBlobBlockSize = 512;
inline constexpr std::size_t kDescriptionCapacity = 50;
inline constexpr std::size_t kPasswordCapacity = 15;
inline constexpr std::size_t kFieldNameCapacity = 30;
inline constexpr std::size_t kValidityTextCapacity = 50;
inline constexpr std::size_t kExpressionCapacity = 255;
// Every record starts with the deleted flag, its own number (or the next
// free slot) and its auto-increment value.
inline constexpr int kRecordPrefixSize = 9;
inline constexpr int kAutoIncOffset = 5;

using THeaderImage = std::array<std::uint8_t, kDataHeaderSize>;

struct TDataFileHeader {
  std::int32_t ChangeCount = 0;
  std::uint32_t BlobBlockSize = kDefaultBlobBlockSize;
  std::uint8_t Version = kDataFileVersion;
  std::int32_t FreeRecordHead = 0;
  std::int32_t NextRecordNumber = 1;
  std::int32_t LastAutoIncValue = 0;
  std::uint16_t RecordSize = 0;
  std::uint16_t FieldCount = 0;
  std::int16_t BlobFieldCount = 0;
  double LastUpdated = 0;
  std::string Description;  // plain, at most 50 characters
  std::uint8_t Encrypted = 0;
  std::string Password;  // plain, at most 15 characters
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::int16_t UserWordA = 0;
  std::int16_t UserWordB = 0;
  std::uint16_t ComputedAreaSize = 0;
  std::uint8_t HeaderModified = 0;

  bool IsEncrypted() const { return Encrypted != 0; }
  // The block size the blob file uses: a stored 0 means 512.
  std::uint32_t EffectiveBlobBlockSize() const {
    return BlobBlockSize == 0 ? kDefaultBlobBlockSize : BlobBlockSize;
  }
  // Offset of the first record slot.
  std::int64_t DataStart() const {
    return static_cast<std::int64_t>(kDataHeaderSize) +
           static_cast<std::int64_t>(kFieldDescriptorSize) * FieldCount;
  }
  // Offset of record slot `recordNumber` (from 1).
  std::int64_t RecordOffset(std::int32_t recordNumber) const {
    return DataStart() + static_cast<std::int64_t>(recordNumber - 1) * RecordSize;
  }
};

// The header's 127 bytes. Reserved bytes are zero.
THeaderImage EncodeDataFileHeader(const TDataFileHeader& header);
// Reads a header image; `HeaderModified` is read as stored (callers clear it).
TDataFileHeader DecodeDataFileHeader(std::span<const std::uint8_t, kDataHeaderSize> image);

// One field descriptor. `DataSize` and `DataDecimals` are derived from the
// type, size and decimals (see DeriveSizes).
struct TFieldDescriptor {
  std::int16_t FieldNo = 0;
  std::string FieldName;
  std::uint8_t FieldType = 0;
  std::uint8_t FieldSubType = 0;
  std::uint8_t FieldSize = 0;
  std::uint8_t FieldDecimals = 0;
  std::uint8_t DataSize = 0;
  std::uint8_t DataDecimals = 0;
  std::uint16_t FieldOffset = 0;
  std::uint8_t Required = 0;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
  std::string ComputeExpression;

  bool IsComputed() const { return !ComputeExpression.empty(); }
  bool IsAutoInc() const {
    return FieldType == ftype::Integer && FieldSubType == fsubtype::AutoInc;
  }
  bool IsBlob() const { return FieldType == ftype::Blob; }
  // Whether the value has a slot of its own (indicator byte and value) in the
  // stored record: not computed and not the auto-increment field, whose value
  // lives in the record prefix.
  bool IsStored() const { return !IsComputed() && !IsAutoInc(); }
  // Sets DataSize and DataDecimals from the type, size and decimals.
  void DeriveSizes();
};

// The descriptor's 768 bytes (plain). Reserved bytes are zero.
void EncodeFieldDescriptor(const TFieldDescriptor& field, std::span<std::uint8_t> image);
TFieldDescriptor DecodeFieldDescriptor(std::span<const std::uint8_t> image);

// The whole descriptor block, enciphered as one run when `encrypted`.
std::vector<std::uint8_t> EncodeDescriptorBlock(const std::vector<TFieldDescriptor>& fields,
                                                bool encrypted);
// Deciphers `block` in place when `encrypted` and decodes its descriptors.
std::vector<TFieldDescriptor> DecodeDescriptorBlock(std::vector<std::uint8_t>& block,
                                                    bool encrypted);

// The current local date and time in the header's LastUpdated form.
double LastUpdatedNow();

}  // namespace quire
