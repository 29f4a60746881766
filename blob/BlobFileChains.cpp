// TBlobFile: block chains. Walking a stored chain, rewriting a value into
// its chain, and taking and freeing blocks through the free chain.
//
// Every offset that comes from the file is checked before it is followed,
// and a chain is walked whole before any of its blocks is changed, so that a
// damaged chain ends in 8963 with nothing changed rather than in blocks
// overwritten that belong to another value.
#include <algorithm>
#include <unordered_set>

#include "blob/BlobBuffer.h"
#include "blob/BlobFile.h"
#include "blob/BlockCache.h"
#include "engine/EngineError.h"

namespace quire {
namespace {

std::uint32_t BlocksFor(std::uint64_t bytes, std::uint32_t payload) {
  return static_cast<std::uint32_t>((bytes + payload - 1) / payload);
}

}  // namespace

void TBlobFile::RaiseCorrupt() const {
  RaiseEngineError(err::BlobBuffersCorrupt, FileName());
}

bool TBlobFile::ValidBlockOffset(std::uint32_t offset) const {
  // A whole block must lie below the end offset, on a block boundary.
  return offset >= kBlobHeaderSize && (offset - kBlobHeaderSize) % blockSize_ == 0 &&
         header_.EndOffset >= blockSize_ && offset <= header_.EndOffset - blockSize_;
}

void TBlobFile::RequireBlockOffset(std::uint32_t offset) const {
  if (!ValidBlockOffset(offset)) RaiseCorrupt();
}

std::uint64_t TBlobFile::BlockCount() const {
  return header_.EndOffset > kBlobHeaderSize ? (header_.EndOffset - kBlobHeaderSize) / blockSize_
                                             : 0;
}

std::vector<std::uint32_t> TBlobFile::WalkChain(std::uint32_t firstBlock, std::uint32_t record) {
  const std::uint32_t payload = PayloadSize();
  std::vector<std::uint32_t> chain;
  std::unordered_set<std::uint32_t> seen;
  const TBlock* block = &FetchKnownBlock(firstBlock, 1);
  const std::uint64_t length = static_cast<std::uint64_t>(std::max(block->ValueLength, 0));
  std::uint32_t offset = firstBlock;
  for (;;) {
    if (block->Owner != record) RaiseCorrupt();
    chain.push_back(offset);
    seen.insert(offset);
    const std::uint32_t next = block->Next;
    if (next == 0) break;
    // A pointer back into the chain would make it endless.
    if (!ValidBlockOffset(next) || seen.count(next) != 0) RaiseCorrupt();
    const std::uint64_t covered = std::uint64_t{payload} * chain.size();
    const std::uint32_t ahead = length > covered ? BlocksFor(length - covered, payload) : 1;
    block = &FetchKnownBlock(next, ahead);
    offset = next;
  }
  return chain;
}

void TBlobFile::StoreValue(TBlobBuffer& value, std::span<const std::uint32_t> oldChain) {
  const std::uint32_t payload = PayloadSize();
  const std::uint64_t length = value.Size();
  const std::uint32_t needed = BlocksFor(length, payload);

  // The blocks of the new chain: the old chain's first, then fresh ones. A
  // block taken twice, or one of the old chain, means a damaged free chain.
  std::vector<std::uint32_t> chain(
      oldChain.begin(), oldChain.begin() + std::min<std::size_t>(needed, oldChain.size()));
  // Taking changes only the header; when it fails (a damaged free chain, a
  // full file) the header goes back to what it was and nothing has changed.
  std::unordered_set<std::uint32_t> inUse(oldChain.begin(), oldChain.end());
  const TBlobHeader before = header_;
  try {
    while (chain.size() < needed) {
      const std::uint32_t offset = TakeBlock();
      if (!inUse.insert(offset).second) RaiseCorrupt();
      chain.push_back(offset);
    }
  } catch (...) {
    header_ = before;
    throw;
  }

  // Marked also when only block contents change, so that the change counter
  // tells other users to drop the blocks they cached.
  MarkHeaderModified();
  const auto& bytes = value.Bytes();
  for (std::uint32_t i = 0; i < needed; ++i) {
    const std::uint64_t at = std::uint64_t{i} * payload;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(payload, length - at));
    // A reused block that is only partly filled keeps the rest of its old
    // payload, as a block rewritten in place does; every other block is
    // written whole and need not be read.
    const bool keepsOldBytes = i < oldChain.size() && count < payload;
    TBlock& block = keepsOldBytes ? FetchKnownBlock(chain[i], 1) : cache_->Create(chain[i]);
    block.Previous = i == 0 ? 0 : chain[i - 1];
    block.Next = i + 1 < needed ? chain[i + 1] : 0;
    block.UsedBytes = static_cast<std::uint16_t>(count);
    block.Owner = value.Record();
    block.ValueLength = i == 0 ? static_cast<std::int32_t>(length) : 0;
    if (!block.CopyIn(0, std::span(bytes).subspan(static_cast<std::size_t>(at), count))) {
      RaiseEngineError(err::InvalidBlobLength, FileName());
    }
    block.SetModified(true);
  }

  if (needed < oldChain.size()) FreeBlocks(oldChain.subspan(needed));
  value.SetFirstBlock(chain.empty() ? 0 : chain.front());
  value.SetModified(false);
}

std::uint32_t TBlobFile::TakeBlock() {
  const std::uint32_t head = header_.FreeBlockHead;
  if (head != 0) {
    const TBlock& block = FetchKnownBlock(head, 1);
    if (block.Next != 0 && !ValidBlockOffset(block.Next)) RaiseCorrupt();
    header_.FreeBlockHead = block.Next;
    header_.Modified = 1;
    // The block is cleared when the value is written into it.
    return head;
  }
  if (header_.EndOffset > kMaxBlobEndOffset) RaiseEngineError(err::FileFull, FileName());
  if (cutShort_) RaiseCorrupt();
  const std::uint32_t offset = header_.EndOffset;
  header_.EndOffset += blockSize_;
  header_.Modified = 1;
  return offset;
}

void TBlobFile::FreeBlocks(std::span<const std::uint32_t> offsets) {
  // In chain order, so the chain's last block ends at the head. Only the
  // next field changes; the rest of the block stays as it was.
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    TBlock& block = FetchKnownBlock(offsets[i], static_cast<std::uint32_t>(offsets.size() - i));
    block.Next = header_.FreeBlockHead;
    block.SetModified(true);
    header_.FreeBlockHead = offsets[i];
  }
  if (!offsets.empty()) header_.Modified = 1;
}

void TBlobFile::FreeValue(std::int32_t firstBlock, std::uint32_t record) {
  if (firstBlock == 0) return;
  if (firstBlock < 0) RaiseCorrupt();  // an in-memory handle is never stored
  RunChange([&] {
    const auto chain = WalkChain(static_cast<std::uint32_t>(firstBlock), record);
    FreeBlocks(chain);
  });
}

}  // namespace quire
