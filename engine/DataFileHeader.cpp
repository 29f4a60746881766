#include "engine/DataFileHeader.h"

#include <chrono>
#include <ctime>

#include "engine/Cipher.h"
#include "engine/FileBytes.h"

namespace quire {
namespace {

// Header offsets.
constexpr std::size_t kChangeCountAt = 0;
constexpr std::size_t kBlobBlockSizeAt = 4;
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kFreeRecordHeadAt = 9;
constexpr std::size_t kNextRecordNumberAt = 13;
constexpr std::size_t kLastAutoIncAt = 17;
constexpr std::size_t kRecordSizeAt = 21;
constexpr std::size_t kFieldCountAt = 23;
constexpr std::size_t kBlobFieldCountAt = 25;
constexpr std::size_t kLastUpdatedAt = 27;
constexpr std::size_t kDescriptionAt = 35;
constexpr std::size_t kEncryptedAt = 86;
constexpr std::size_t kPasswordAt = 87;
constexpr std::size_t kLanguageIdAt = 103;
constexpr std::size_t kSortIdAt = 105;
constexpr std::size_t kUserWordAAt = 107;
constexpr std::size_t kUserWordBAt = 109;
constexpr std::size_t kComputedAreaSizeAt = 111;
constexpr std::size_t kHeaderModifiedAt = 113;

// Descriptor offsets.
constexpr std::size_t kFieldNoAt = 0;
constexpr std::size_t kFieldNameAt = 2;
constexpr std::size_t kFieldTypeAt = 84;
constexpr std::size_t kFieldSubTypeAt = 85;
constexpr std::size_t kFieldSizeAt = 86;
constexpr std::size_t kFieldDecimalsAt = 87;
constexpr std::size_t kDataSizeAt = 88;
constexpr std::size_t kDataDecimalsAt = 89;
constexpr std::size_t kFieldOffsetAt = 90;
constexpr std::size_t kRequiredAt = 92;
constexpr std::size_t kMinValueAt = 94;
constexpr std::size_t kMaxValueAt = 145;
constexpr std::size_t kDefaultValueAt = 196;
constexpr std::size_t kComputeExpressionAt = 247;

// The characters of a short string in the header (not its length byte) are
// enciphered as one run of the stored length.
void CipherShortString(std::span<std::uint8_t> image, std::size_t at) {
  CipherRun(image.data() + at + 1, image[at], kHeaderCipherSeeds);
}

// 1899-12-30, the zero of the header's date-time, as days since 1970-01-01.
constexpr double kDateTimeEpochToUnixDays = 25569.0;
// LastUpdated is stored as the date-time less this many days.
constexpr double kLastUpdatedBias = 693594.0;

}  // namespace

THeaderImage EncodeDataFileHeader(const TDataFileHeader& header) {
  THeaderImage image{};
  bytes::Put<std::int32_t>(image, kChangeCountAt, header.ChangeCount);
  bytes::Put<std::uint32_t>(image, kBlobBlockSizeAt, header.BlobBlockSize);
  image[kVersionAt] = header.Version;
  bytes::Put<std::int32_t>(image, kFreeRecordHeadAt, header.FreeRecordHead);
  bytes::Put<std::int32_t>(image, kNextRecordNumberAt, header.NextRecordNumber);
  bytes::Put<std::int32_t>(image, kLastAutoIncAt, header.LastAutoIncValue);
  bytes::Put<std::uint16_t>(image, kRecordSizeAt, header.RecordSize);
  bytes::Put<std::uint16_t>(image, kFieldCountAt, header.FieldCount);
  bytes::Put<std::int16_t>(image, kBlobFieldCountAt, header.BlobFieldCount);
  bytes::PutDouble(image, kLastUpdatedAt, header.LastUpdated);
  bytes::PutShortString(image, kDescriptionAt, kDescriptionCapacity, header.Description);
  image[kEncryptedAt] = header.Encrypted;
  bytes::PutShortString(image, kPasswordAt, kPasswordCapacity, header.Password);
  if (header.IsEncrypted()) {
    CipherShortString(image, kDescriptionAt);
    CipherShortString(image, kPasswordAt);
  }
  bytes::Put<std::uint16_t>(image, kLanguageIdAt, header.LanguageId);
  bytes::Put<std::uint16_t>(image, kSortIdAt, header.SortId);
  bytes::Put<std::int16_t>(image, kUserWordAAt, header.UserWordA);
  bytes::Put<std::int16_t>(image, kUserWordBAt, header.UserWordB);
  bytes::Put<std::uint16_t>(image, kComputedAreaSizeAt, header.ComputedAreaSize);
  image[kHeaderModifiedAt] = header.HeaderModified;
  return image;
}

TDataFileHeader DecodeDataFileHeader(std::span<const std::uint8_t, kDataHeaderSize> stored) {
  THeaderImage image;
  std::copy(stored.begin(), stored.end(), image.begin());
  TDataFileHeader header;
  header.ChangeCount = bytes::Get<std::int32_t>(image, kChangeCountAt);
  header.BlobBlockSize = bytes::Get<std::uint32_t>(image, kBlobBlockSizeAt);
  header.Version = image[kVersionAt];
  header.FreeRecordHead = bytes::Get<std::int32_t>(image, kFreeRecordHeadAt);
  header.NextRecordNumber = bytes::Get<std::int32_t>(image, kNextRecordNumberAt);
  header.LastAutoIncValue = bytes::Get<std::int32_t>(image, kLastAutoIncAt);
  header.RecordSize = bytes::Get<std::uint16_t>(image, kRecordSizeAt);
  header.FieldCount = bytes::Get<std::uint16_t>(image, kFieldCountAt);
  header.BlobFieldCount = bytes::Get<std::int16_t>(image, kBlobFieldCountAt);
  header.LastUpdated = bytes::GetDouble(image, kLastUpdatedAt);
  header.Encrypted = image[kEncryptedAt];
  // A damaged length byte must not make the run leave its slot.
  image[kDescriptionAt] = std::min<std::uint8_t>(image[kDescriptionAt], kDescriptionCapacity);
  image[kPasswordAt] = std::min<std::uint8_t>(image[kPasswordAt], kPasswordCapacity);
  if (header.IsEncrypted()) {
    CipherShortString(image, kDescriptionAt);
    CipherShortString(image, kPasswordAt);
  }
  header.Description = bytes::GetShortString(image, kDescriptionAt, kDescriptionCapacity);
  header.Password = bytes::GetShortString(image, kPasswordAt, kPasswordCapacity);
  header.LanguageId = bytes::Get<std::uint16_t>(image, kLanguageIdAt);
  header.SortId = bytes::Get<std::uint16_t>(image, kSortIdAt);
  header.UserWordA = bytes::Get<std::int16_t>(image, kUserWordAAt);
  header.UserWordB = bytes::Get<std::int16_t>(image, kUserWordBAt);
  header.ComputedAreaSize = bytes::Get<std::uint16_t>(image, kComputedAreaSizeAt);
  header.HeaderModified = image[kHeaderModifiedAt];
  return header;
}

void TFieldDescriptor::DeriveSizes() {
  DataSize = static_cast<std::uint8_t>(DataSizeOf(FieldType, FieldSize));
  DataDecimals = FieldDecimals;
}

void EncodeFieldDescriptor(const TFieldDescriptor& field, std::span<std::uint8_t> image) {
  std::fill_n(image.begin(), kFieldDescriptorSize, std::uint8_t{0});
  bytes::Put<std::int16_t>(image, kFieldNoAt, field.FieldNo);
  bytes::PutShortString(image, kFieldNameAt, kFieldNameCapacity, field.FieldName);
  image[kFieldTypeAt] = field.FieldType;
  image[kFieldSubTypeAt] = field.FieldSubType;
  image[kFieldSizeAt] = field.FieldSize;
  image[kFieldDecimalsAt] = field.FieldDecimals;
  image[kDataSizeAt] = field.DataSize;
  image[kDataDecimalsAt] = field.DataDecimals;
  bytes::Put<std::uint16_t>(image, kFieldOffsetAt, field.FieldOffset);
  image[kRequiredAt] = field.Required;
  bytes::PutShortString(image, kMinValueAt, kValidityTextCapacity, field.MinValue);
  bytes::PutShortString(image, kMaxValueAt, kValidityTextCapacity, field.MaxValue);
  bytes::PutShortString(image, kDefaultValueAt, kValidityTextCapacity, field.DefaultValue);
  bytes::PutShortString(image, kComputeExpressionAt, kExpressionCapacity, field.ComputeExpression);
}

TFieldDescriptor DecodeFieldDescriptor(std::span<const std::uint8_t> image) {
  TFieldDescriptor field;
  field.FieldNo = bytes::Get<std::int16_t>(image, kFieldNoAt);
  field.FieldName = bytes::GetShortString(image, kFieldNameAt, kFieldNameCapacity);
  field.FieldType = image[kFieldTypeAt];
  field.FieldSubType = image[kFieldSubTypeAt];
  field.FieldSize = image[kFieldSizeAt];
  field.FieldDecimals = image[kFieldDecimalsAt];
  field.DataSize = image[kDataSizeAt];
  field.DataDecimals = image[kDataDecimalsAt];
  field.FieldOffset = bytes::Get<std::uint16_t>(image, kFieldOffsetAt);
  field.Required = image[kRequiredAt];
  field.MinValue = bytes::GetShortString(image, kMinValueAt, kValidityTextCapacity);
  field.MaxValue = bytes::GetShortString(image, kMaxValueAt, kValidityTextCapacity);
  field.DefaultValue = bytes::GetShortString(image, kDefaultValueAt, kValidityTextCapacity);
  field.ComputeExpression = bytes::GetShortString(image, kComputeExpressionAt, kExpressionCapacity);
  return field;
}

std::vector<std::uint8_t> EncodeDescriptorBlock(const std::vector<TFieldDescriptor>& fields,
                                                bool encrypted) {
  std::vector<std::uint8_t> block(fields.size() * kFieldDescriptorSize);
  for (std::size_t i = 0; i < fields.size(); ++i)
    EncodeFieldDescriptor(fields[i],
                          std::span(block).subspan(i * kFieldDescriptorSize, kFieldDescriptorSize));
  // One run whose length is taken modulo 65536 (the cipher's rule): past 85
  // fields the tail of the block stays plain, as other programs expect.
  if (encrypted) CipherRun(block, kDataCipherSeeds);
  return block;
}

std::vector<TFieldDescriptor> DecodeDescriptorBlock(std::vector<std::uint8_t>& block,
                                                    bool encrypted) {
  if (encrypted) CipherRun(block, kDataCipherSeeds);
  std::vector<TFieldDescriptor> fields;
  fields.reserve(block.size() / kFieldDescriptorSize);
  for (std::size_t at = 0; at + kFieldDescriptorSize <= block.size(); at += kFieldDescriptorSize)
    fields.push_back(DecodeFieldDescriptor(std::span(block).subspan(at, kFieldDescriptorSize)));
  return fields;
}

double LastUpdatedNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  // The local wall-clock time as if it were UTC gives the local day count.
  const double localSeconds =
      static_cast<double>(timegm(&local)) +
      static_cast<double>(
          std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
          1000) /
          1000.0;
  const double dateTime = localSeconds / 86400.0 + kDateTimeEpochToUnixDays;
  return dateTime - kLastUpdatedBias;
}

}  // namespace quire
