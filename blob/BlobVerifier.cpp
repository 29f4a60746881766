#include "blob/BlobVerifier.h"

#include <algorithm>
#include <array>

#include "blob/BlobFile.h"
#include "blob/BlobHeader.h"
#include "blob/Block.h"
#include "engine/Cipher.h"
#include "engine/FileBytes.h"
#include "engine/FileHandler.h"

namespace quire {
namespace {

// The header fields of one block, as read from the file.
struct TBlockHeader {
  std::uint32_t previous = 0;
  std::uint32_t next = 0;
  std::uint16_t usedBytes = 0;
  std::uint32_t owner = 0;
  std::int32_t valueLength = 0;
};

enum class TReach : std::uint8_t { None, Free, Value };

// Blocks read from the file per call.
constexpr std::size_t kReadChunk = 1 << 20;

}  // namespace

std::string TBlobFault::Line() const {
  if (block == 0) return fileName + ": " + text;
  return fileName + ": block " + std::to_string(block) + ": " + text;
}

class TBlobVerifier::TWalk {
 public:
  TWalk(TFileHandler& file, std::uint32_t blockSize, bool encrypted)
      : file_(file),
        blockSize_(blockSize),
        payload_(blockSize - kBlockHeaderSize),
        encrypted_(encrypted) {}

  TBlobCheck Run(std::optional<std::span<const TStoredBlob>> values) {
    if (!ReadHeader()) return std::move(check_);
    ReadBlocks();
    WalkFreeChain();
    if (values) {
      for (const TStoredBlob& value : *values) WalkValue(value);
    } else {
      for (const TStoredBlob& value : FoundValues()) WalkValue(value);
    }
    for (std::size_t i = 0; i < reach_.size(); ++i) {
      if (reach_[i] == TReach::None) Fault(OffsetOf(i), "block is in no value and not free");
    }
    return std::move(check_);
  }

 private:
  void Fault(std::uint32_t block, std::string text) {
    check_.faults.push_back({file_.FileName(), block, std::move(text)});
  }

  std::uint32_t OffsetOf(std::size_t index) const {
    return static_cast<std::uint32_t>(kBlobHeaderSize + index * blockSize_);
  }
  bool IsBlock(std::uint32_t offset) const {
    return offset >= kBlobHeaderSize && (offset - kBlobHeaderSize) % blockSize_ == 0 &&
           (offset - kBlobHeaderSize) / blockSize_ < headers_.size();
  }
  std::size_t IndexOf(std::uint32_t offset) const {
    return (offset - kBlobHeaderSize) / blockSize_;
  }

  bool ReadHeader() {
    TBlobHeaderImage image{};
    if (file_.ReadAt(0, image.data(), image.size(), true) != image.size()) {
      Fault(0, "file is shorter than its header");
      return false;
    }
    if (encrypted_) CipherRun(image, kDataCipherSeeds);
    header_ = TBlobHeader::Decode(image);
    if (header_.Version != kBlobFileVersion) {
      Fault(0, "version " + std::to_string(header_.Version) + " is not 3");
      return false;
    }
    if (header_.EndOffset < kBlobHeaderSize ||
        (header_.EndOffset - kBlobHeaderSize) % blockSize_ != 0) {
      Fault(0, "end offset " + std::to_string(header_.EndOffset) + " is not a block boundary");
      return false;
    }
    return true;
  }

  void ReadBlocks() {
    std::size_t count = (header_.EndOffset - kBlobHeaderSize) / blockSize_;
    const std::int64_t size = file_.Size();
    const std::int64_t needed = static_cast<std::int64_t>(header_.EndOffset);
    if (size < needed) {
      Fault(0, "file ends at " + std::to_string(size) + ", before the end offset " +
                   std::to_string(header_.EndOffset));
      count = size > static_cast<std::int64_t>(kBlobHeaderSize)
                  ? static_cast<std::size_t>(size - kBlobHeaderSize) / blockSize_
                  : 0;
    }
    check_.blocks = count;
    headers_.resize(count);
    reach_.assign(count, TReach::None);

    const std::size_t perRead = std::max<std::size_t>(kReadChunk / blockSize_, 1);
    std::vector<std::uint8_t> image;
    for (std::size_t first = 0; first < count; first += perRead) {
      const std::size_t n = std::min(perRead, count - first);
      image.resize(n * blockSize_);
      file_.ReadAt(OffsetOf(first), image.data(), image.size());
      for (std::size_t i = 0; i < n; ++i) {
        std::array<std::uint8_t, kBlockHeaderSize> bytes;
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(i * blockSize_), bytes.size(),
                    bytes.begin());
        if (encrypted_) CipherRun(bytes, kDataCipherSeeds);
        TBlockHeader& header = headers_[first + i];
        header.previous = bytes::Get<std::uint32_t>(bytes, 0);
        header.next = bytes::Get<std::uint32_t>(bytes, 4);
        header.usedBytes = bytes::Get<std::uint16_t>(bytes, 8);
        header.owner = bytes::Get<std::uint32_t>(bytes, 10);
        header.valueLength = bytes::Get<std::int32_t>(bytes, 14);
      }
    }
  }

  void WalkFreeChain() {
    std::uint32_t offset = header_.FreeBlockHead;
    std::uint32_t from = 0;  // the block whose link is followed; 0: the header
    while (offset != 0) {
      if (!IsBlock(offset)) {
        Fault(from, "free chain points to " + std::to_string(offset) + ", which is no block");
        return;
      }
      TReach& reach = reach_[IndexOf(offset)];
      if (reach != TReach::None) {
        Fault(offset, "free chain leads back into itself");
        return;
      }
      reach = TReach::Free;
      ++check_.freeBlocks;
      from = offset;
      offset = headers_[IndexOf(offset)].next;
    }
  }

  std::vector<TStoredBlob> FoundValues() const {
    std::vector<TStoredBlob> values;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      if (reach_[i] == TReach::None && headers_[i].previous == 0) {
        values.push_back({headers_[i].owner, 0, OffsetOf(i)});
      }
    }
    return values;
  }

  void WalkValue(const TStoredBlob& value) {
    const std::string who =
        "record " + std::to_string(value.record) +
        (value.field != 0 ? " field " + std::to_string(value.field) : std::string{});
    if (!IsBlock(value.firstBlock)) {
      Fault(0, who + " refers to " + std::to_string(value.firstBlock) + ", which is no block");
      return;
    }
    ++check_.values;
    check_.chains.push_back(value);
    const TBlockHeader& first = headers_[IndexOf(value.firstBlock)];
    if (first.previous != 0) Fault(value.firstBlock, who + ": first block has a previous block");
    const std::int64_t length = first.valueLength;
    if (length <= 0) {
      Fault(value.firstBlock, who + ": value length " + std::to_string(length) + " in a chain");
    }
    const std::uint64_t needed = length > 0 ? (length + payload_ - 1) / payload_ : 1;

    std::uint32_t offset = value.firstBlock;
    std::uint32_t previous = 0;
    for (std::uint64_t i = 0;; ++i) {
      TReach& reach = reach_[IndexOf(offset)];
      if (reach != TReach::None) {
        Fault(offset, who + (reach == TReach::Free ? ": block is also on the free chain"
                                                   : ": block is reached twice"));
        return;
      }
      reach = TReach::Value;
      ++check_.valueBlocks;
      const TBlockHeader& block = headers_[IndexOf(offset)];
      CheckBlock(block, offset, previous, i, needed, length, value, who);
      if (block.next == 0) {
        if (i + 1 < needed) Fault(offset, who + ": chain ends before the value does");
        return;
      }
      if (!IsBlock(block.next)) {
        Fault(offset, who + ": next block " + std::to_string(block.next) + " is no block");
        return;
      }
      previous = offset;
      offset = block.next;
    }
  }

  void CheckBlock(const TBlockHeader& block, std::uint32_t offset, std::uint32_t previous,
                  std::uint64_t i, std::uint64_t needed, std::int64_t length,
                  const TStoredBlob& value, const std::string& who) {
    if (block.owner != value.record) {
      Fault(offset, who + ": block owned by record " + std::to_string(block.owner));
    }
    if (i > 0 && block.previous != previous) {
      Fault(offset, who + ": previous link " + std::to_string(block.previous) + " is not " +
                        std::to_string(previous));
    }
    if (i > 0 && block.valueLength != 0) {
      Fault(offset,
            who + ": value length " + std::to_string(block.valueLength) + " after the first block");
    }
    if (i >= needed) {
      if (i == needed) Fault(offset, who + ": chain is longer than its value needs");
      return;
    }
    const std::int64_t expected =
        i + 1 < needed ? payload_ : length - static_cast<std::int64_t>((needed - 1) * payload_);
    if (length > 0 && block.usedBytes != expected) {
      Fault(offset, who + ": " + std::to_string(block.usedBytes) + " bytes used, " +
                        std::to_string(expected) + " expected");
    }
  }

  TFileHandler& file_;
  std::uint32_t blockSize_;
  std::uint32_t payload_;
  bool encrypted_;
  TBlobHeader header_;
  std::vector<TBlockHeader> headers_;
  std::vector<TReach> reach_;
  TBlobCheck check_;
};

TBlobVerifier::TBlobVerifier(TFileHandler& file, std::uint32_t blockSize, bool encrypted)
    : file_(file), blockSize_(blockSize), encrypted_(encrypted) {}

TBlobVerifier::TBlobVerifier(TBlobFile& file)
    : file_(file), blockSize_(file.BlockSize()), encrypted_(file.Encrypted()) {}

TBlobCheck TBlobVerifier::Verify(std::optional<std::span<const TStoredBlob>> values) {
  return TWalk(file_, blockSize_, encrypted_).Run(values);
}

}  // namespace quire
