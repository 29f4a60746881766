#include "blob/BlobHeader.h"

#include "engine/FileBytes.h"

namespace quire {
namespace {
constexpr std::size_t kChangeCountAt = 0;
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kFreeBlockHeadAt = 9;
constexpr std::size_t kEndOffsetAt = 13;
constexpr std::size_t kModifiedAt = 17;
}  // namespace

TBlobHeaderImage TBlobHeader::Encode() const {
  TBlobHeaderImage image{};
  bytes::Put<std::int32_t>(image, kChangeCountAt, ChangeCount);
  image[kVersionAt] = Version;
  bytes::Put<std::uint32_t>(image, kFreeBlockHeadAt, FreeBlockHead);
  bytes::Put<std::uint32_t>(image, kEndOffsetAt, EndOffset);
  image[kModifiedAt] = Modified;
  return image;
}

TBlobHeader TBlobHeader::Decode(std::span<const std::uint8_t, kBlobHeaderSize> image) {
  TBlobHeader header;
  header.ChangeCount = bytes::Get<std::int32_t>(image, kChangeCountAt);
  header.Version = image[kVersionAt];
  header.FreeBlockHead = bytes::Get<std::uint32_t>(image, kFreeBlockHeadAt);
  header.EndOffset = bytes::Get<std::uint32_t>(image, kEndOffsetAt);
  header.Modified = image[kModifiedAt];
  return header;
}

}  // namespace quire
