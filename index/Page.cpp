#include "index/Page.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "engine/Cipher.h"
#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "index/IndexFile.h"
#include "index/LittleEndian.h"

namespace quire {

namespace {
constexpr std::size_t kTypeAt = 0;
constexpr std::size_t kCountAt = 1;
constexpr std::size_t kLeftAt = 3;
constexpr std::size_t kRightAt = 7;
constexpr std::size_t kUsedBytesAt = 11;
constexpr std::uint8_t kLastPageType = 3;
}  // namespace

TPageFormat TPageFormat::For(std::uint8_t number, const TIndexDescriptor& descriptor) {
  TPageFormat format;
  format.indexNumber = number;
  format.keySize = descriptor.KeySize;
  format.compression = descriptor.Compression;
  format.keySuffix = number >= 1 && number <= 30 && descriptor.Unique == 0;
  return format;
}

TPage::TPage(const TPageFormat& format) : format_(format), layout_{format.keySize} {}

bool TPage::Pin() {
  if (pins_ >= kMaxPagePins) return false;
  ++pins_;
  return true;
}

void TPage::Unpin() {
  if (pins_ > 0) --pins_;
}

std::uint8_t* TPage::EntryAt(std::size_t i) {
  assert(i < count_);
  return entries_.data() + i * layout_.Stride();
}

const std::uint8_t* TPage::EntryAt(std::size_t i) const {
  assert(i < count_);
  return entries_.data() + i * layout_.Stride();
}

void TPage::Reserve(std::size_t bytes) {
  // Grown in whole entry areas, so that a page filling up reallocates only a
  // few times.
  if (entries_.capacity() >= bytes) return;
  entries_.reserve((bytes + kPageEntryArea - 1) / kPageEntryArea * kPageEntryArea);
}

std::span<const std::uint8_t> TPage::Key(std::size_t i) const {
  return {EntryAt(i), layout_.keySize};
}

std::uint32_t TPage::Pointer(std::size_t i) const {
  return le::Load32(EntryAt(i) + layout_.PointerAt());
}

std::int32_t TPage::SubtreeCount(std::size_t i) const {
  return static_cast<std::int32_t>(le::Load32(EntryAt(i) + layout_.SubtreeCountAt()));
}

TCompressionCounts TPage::Counts(std::size_t i) const {
  const std::uint8_t* entry = EntryAt(i);
  return {le::Load16(entry + layout_.LeadingAt()), le::Load16(entry + layout_.TrailingAt())};
}

void TPage::Insert(std::size_t i, std::span<const std::uint8_t> key, std::uint32_t pointer,
                   std::int32_t subtreeCount) {
  assert(i <= count_ && key.size() == layout_.keySize);
  const std::size_t stride = layout_.Stride();
  Reserve((count_ + 1) * stride);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i * stride), stride,
                  std::uint8_t{0});
  ++count_;
  std::uint8_t* entry = EntryAt(i);
  std::copy(key.begin(), key.end(), entry);
  le::Store32(entry + layout_.PointerAt(), pointer);
  le::Store32(entry + layout_.SubtreeCountAt(), static_cast<std::uint32_t>(subtreeCount));
}

void TPage::Remove(std::size_t i) {
  assert(i < count_);
  const std::size_t stride = layout_.Stride();
  const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(i * stride);
  entries_.erase(first, first + static_cast<std::ptrdiff_t>(stride));
  --count_;
}

void TPage::MoveEntriesTo(std::size_t first, std::size_t count, TPage& to, std::size_t at) {
  assert(first + count <= count_ && at <= to.count_ && layout_.keySize == to.layout_.keySize);
  if (count == 0) return;
  const std::size_t stride = layout_.Stride();
  const auto from = entries_.begin() + static_cast<std::ptrdiff_t>(first * stride);
  const auto until = from + static_cast<std::ptrdiff_t>(count * stride);
  to.Reserve((to.count_ + count) * stride);
  to.entries_.insert(to.entries_.begin() + static_cast<std::ptrdiff_t>(at * stride), from, until);
  to.count_ += count;
  entries_.erase(from, until);
  count_ -= count;
}

void TPage::SetKey(std::size_t i, std::span<const std::uint8_t> key) {
  assert(key.size() == layout_.keySize);
  std::copy(key.begin(), key.end(), EntryAt(i));
}

void TPage::SetPointer(std::size_t i, std::uint32_t pointer) {
  le::Store32(EntryAt(i) + layout_.PointerAt(), pointer);
}

void TPage::SetSubtreeCount(std::size_t i, std::int32_t count) {
  le::Store32(EntryAt(i) + layout_.SubtreeCountAt(), static_cast<std::uint32_t>(count));
}

void TPage::ClearEntries() {
  entries_.clear();
  count_ = 0;
}

void TPage::Reset(std::uint32_t offset) {
  ClearEntries();
  offset_ = offset;
  parent_ = 0;
  type_ = TPageType::RootLeaf;
  left_ = 0;
  right_ = 0;
  usedBytes_ = 0;
  free_ = false;
  modified_ = true;
  searchPosition_ = 0;
  walkPosition_ = 0;
}

void TPage::Forget() {
  Reset(0);
  modified_ = false;
  pins_ = 0;
}

std::int32_t TPage::KeysBelow() const {
  if (IsLeaf()) return static_cast<std::int32_t>(count_);
  std::uint32_t sum = 0;  // unsigned: a damaged page must not overflow a signed sum
  for (std::size_t i = 0; i < count_; ++i) sum += static_cast<std::uint32_t>(SubtreeCount(i));
  return static_cast<std::int32_t>(sum);
}

TLeafFormat TPage::LeafFormat() const {
  return TLeafFormat{format_.keySize, format_.compression, format_.keySuffix};
}

std::size_t TPage::StoredEntrySize(bool leaf) const {
  return layout_.keySize + (leaf ? 4 : 8);
}

std::size_t TPage::Capacity() const {
  return kPageEntryArea / (layout_.keySize + (IsNode() ? 10 : 6));
}

std::size_t TPage::EncodedBytes() {
  if (Compressed()) return RefreshCompressionCounts(LeafFormat(), entries_, count_);
  return count_ * StoredEntrySize(IsLeaf());
}

bool TPage::Overflows() {
  if (Compressed()) return EncodedBytes() > kPageEntryArea;
  return count_ > Capacity();
}

void TPage::EncodeTo(std::span<std::uint8_t, kPageSize> out, std::string_view fileName) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  std::uint8_t* p = out.data();
  const std::span<std::uint8_t> area = out.subspan(kPageHeaderSize);

  std::size_t count = free_ ? 0 : count_;
  if (!free_) {
    if (Compressed()) {
      usedBytes_ = static_cast<std::uint16_t>(
          EncodeCompressedLeaf(LeafFormat(), entries_, count_, area, fileName));
    } else {
      const std::size_t size = StoredEntrySize(IsLeaf());
      if (count_ * size > kPageEntryArea) RaiseEngineError(err::IndexPagesCorrupt, fileName);
      std::uint8_t* to = area.data();
      for (std::size_t i = 0; i < count_; ++i, to += size) {
        std::memcpy(to, EntryAt(i), size);  // key, pointer and (nodes) subtree count
      }
      usedBytes_ = 0;
    }
  }
  p[kTypeAt] = static_cast<std::uint8_t>(type_);
  le::Store16(p + kCountAt, static_cast<std::uint16_t>(count));
  le::Store32(p + kLeftAt, left_);
  le::Store32(p + kRightAt, right_);
  le::Store16(p + kUsedBytesAt, usedBytes_);
}

void TPage::DecodeFrom(std::span<const std::uint8_t, kPageSize> in, std::string_view fileName) {
  const std::uint8_t* p = in.data();
  if (p[kTypeAt] > kLastPageType) RaiseEngineError(err::IndexPagesCorrupt, fileName);
  const TPageType type = static_cast<TPageType>(p[kTypeAt]);
  const bool leaf = type == TPageType::Leaf || type == TPageType::RootLeaf;
  const std::size_t count = le::Load16(p + kCountAt);
  const std::uint16_t used = le::Load16(p + kUsedBytesAt);
  const std::span<const std::uint8_t> area = in.subspan(kPageHeaderSize);

  // Decoded aside first, so that a damaged image leaves the page as it was.
  // The spare buffer is kept between reads so that a read allocates nothing.
  std::vector<std::uint8_t>& entries = spare_;
  entries.clear();
  if (count > 0 && leaf && format_.compression != 0) {
    DecodeCompressedLeaf(LeafFormat(), area, used, count, entries, fileName);
  } else if (count > 0) {
    const std::size_t size = StoredEntrySize(leaf);
    if (count * size > kPageEntryArea) RaiseEngineError(err::IndexPagesCorrupt, fileName);
    entries.assign(count * layout_.Stride(), 0);
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(entries.data() + i * layout_.Stride(), area.data() + i * size, size);
    }
  }
  // A page with no entries may be a free page, whose used-bytes field keeps
  // its last value; it is taken as it stands.
  entries_.swap(spare_);
  count_ = count;
  type_ = type;
  left_ = le::Load32(p + kLeftAt);
  right_ = le::Load32(p + kRightAt);
  usedBytes_ = used;
}

void TPage::Read(TFileHandler& file, std::uint32_t offset, bool encrypted) {
  std::array<std::uint8_t, kPageSize> image;
  file.ReadAt(offset, image.data(), image.size());
  if (encrypted) DecipherRun(image.data(), image.size(), kDataCipherSeeds);
  DecodeFrom(image, file.FileName());
  offset_ = offset;
  free_ = false;
  modified_ = false;
}

void TPage::Read(TIndexFile& file, std::uint32_t offset, bool encrypted) {
  const TPage* cached = file.CleanCachedPage(format_.indexNumber, offset);
  if (cached == nullptr || cached->format_.keySize != format_.keySize ||
      cached->format_.compression != format_.compression ||
      cached->format_.keySuffix != format_.keySuffix) {
    Read(static_cast<TFileHandler&>(file), offset, encrypted);
    return;
  }
  CopyContentsFrom(*cached);
  offset_ = offset;
  free_ = false;
  modified_ = false;
}

void TPage::CopyCleanFrom(const TPage& other) {
  CopyContentsFrom(other);
  offset_ = other.offset_;
  parent_ = 0;
  free_ = false;
  modified_ = false;
  pins_ = 0;
}

void TPage::CopyContentsFrom(const TPage& other) {
  layout_ = other.layout_;
  type_ = other.type_;
  left_ = other.left_;
  right_ = other.right_;
  usedBytes_ = other.usedBytes_;
  count_ = other.count_;
  entries_.assign(other.entries_.begin(), other.entries_.end());
}

void TPage::Write(TFileHandler& file, bool encrypted) {
  std::array<std::uint8_t, kPageSize> image;
  EncodeTo(image, file.FileName());
  if (encrypted) EncipherRun(image.data(), image.size(), kDataCipherSeeds);
  file.WriteAt(offset_, image.data(), image.size());
  modified_ = false;
}

}  // namespace quire
