#include "blob/BlockCache.h"

#include <algorithm>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"

namespace quire {
namespace {
// The largest read or write of consecutive blocks in one call.
constexpr std::uint32_t kMaxTransfer = 65535;
}  // namespace

std::size_t BlockCacheCapacity(std::uint32_t blockSize) {
  return std::min<std::size_t>(262140 / blockSize, 4096);
}

TBlockCache::TBlockCache(TFileHandler& file, std::uint32_t blockSize, bool encrypted)
    : file_(file),
      blockSize_(blockSize),
      encrypted_(encrypted),
      capacity_(std::max<std::size_t>(BlockCacheCapacity(blockSize), 1)) {}

TBlock* TBlockCache::Find(std::uint32_t offset) {
  const auto found = index_.find(offset);
  if (found == index_.end()) return nullptr;
  MoveToFront(found->second);
  return &*found->second;
}

TBlock& TBlockCache::Load(std::uint32_t offset, std::uint32_t readAhead, std::uint32_t endOffset) {
  std::uint32_t count = std::min(kMaxTransfer / blockSize_, readAhead);
  if (endOffset > offset) count = std::min(count, (endOffset - offset) / blockSize_);
  count = std::max<std::uint32_t>(count, 1);

  // The read comes first: when it fails nothing in the cache has changed.
  std::vector<std::uint8_t> image(static_cast<std::size_t>(count) * blockSize_);
  const std::size_t got = file_.ReadAt(offset, image.data(), image.size(), true);
  ++reads_;
  // A block past the file's end: the header's end offset claims more blocks
  // than the file holds.
  count = static_cast<std::uint32_t>(got / blockSize_);
  if (count == 0) RaiseEngineError(err::BlobBuffersCorrupt, file_.FileName());

  std::vector<List::iterator> group;
  const auto unmark = [&group] {
    for (auto block : group) block->SetReadAhead(false);
  };
  const auto imageOf = [&](std::uint32_t i) {
    return std::span<const std::uint8_t>(image).subspan(std::size_t{i} * blockSize_, blockSize_);
  };
  try {
    // Cached blocks first: making room for the others may write blocks back
    // and leave them clean, and the image read before that must not then
    // overwrite them. Our own unwritten changes and blocks in use win over
    // the file.
    std::vector<std::uint32_t> missing;
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto found = index_.find(offset + i * blockSize_);
      if (found == index_.end()) {
        missing.push_back(i);
        continue;
      }
      const List::iterator block = found->second;
      if (block->Modified() || block->PinCount() > 0) continue;
      block->Load(imageOf(i), encrypted_);
      block->SetReadAhead(true);
      group.push_back(block);
    }
    for (const std::uint32_t i : missing) {
      const List::iterator block = Acquire();
      block->SetOffset(offset + i * blockSize_);
      Enter(block);
      block->Load(imageOf(i), encrypted_);
      block->SetReadAhead(true);
      group.push_back(block);
    }
  } catch (...) {
    unmark();
    throw;
  }
  unmark();
  const auto first = index_.find(offset)->second;
  MoveToFront(first);
  return *first;
}

TBlock& TBlockCache::Create(std::uint32_t offset) {
  List::iterator block;
  if (const auto found = index_.find(offset); found != index_.end()) {
    block = found->second;
    MoveToFront(block);
  } else {
    block = Acquire();
    block->SetOffset(offset);
    Enter(block);
  }
  block->Clear();
  block->SetModified(true);
  return *block;
}

TBlockCache::List::iterator TBlockCache::Acquire() {
  if (blocks_.size() < capacity_) {
    blocks_.emplace_front(blockSize_);
    return blocks_.begin();
  }
  auto block = FindEvictable();
  // Buffered-change mode writes nothing until it ends: it grows instead.
  if (block == blocks_.end() && !mayGrow_ && WriteBack()) block = FindEvictable();
  if (block == blocks_.end()) {
    if (!mayGrow_) RaiseEngineError(err::BlobBuffersCorrupt, file_.FileName());
    capacity_ += kBlockCacheGrowth;
    blocks_.emplace_front(blockSize_);
    return blocks_.begin();
  }
  index_.erase(block->Offset());
  block->Clear();
  block->SetModified(false);
  block->ClearPins();
  block->SetReadAhead(false);
  MoveToFront(block);
  return block;
}

TBlockCache::List::iterator TBlockCache::FindEvictable() {
  for (auto it = blocks_.end(); it != blocks_.begin();) {
    --it;
    if (!it->Modified() && it->PinCount() == 0 && !it->ReadAhead()) return it;
  }
  return blocks_.end();
}

void TBlockCache::Enter(List::iterator block) {
  index_[block->Offset()] = block;
}

void TBlockCache::MoveToFront(List::iterator block) {
  blocks_.splice(blocks_.begin(), blocks_, block);
}

bool TBlockCache::WriteBack() {
  std::vector<TBlock*> due;
  for (auto& block : blocks_) {
    if (block.Modified() && block.PinCount() == 0 && !block.ReadAhead()) due.push_back(&block);
  }
  if (due.empty()) return false;
  std::sort(due.begin(), due.end(),
            [](const TBlock* a, const TBlock* b) { return a->Offset() < b->Offset(); });

  std::vector<std::uint8_t> image;
  for (std::size_t first = 0; first < due.size();) {
    std::size_t end = first + 1;
    while (end < due.size() && due[end]->Offset() == due[end - 1]->Offset() + blockSize_) ++end;
    image.assign((end - first) * blockSize_, 0);
    for (std::size_t i = first; i < end; ++i) {
      due[i]->Store(std::span(image).subspan((i - first) * blockSize_, blockSize_), encrypted_);
    }
    file_.WriteAt(due[first]->Offset(), image.data(), image.size());
    ++writes_;
    for (std::size_t i = first; i < end; ++i) due[i]->SetModified(false);
    first = end;
  }
  return true;
}

void TBlockCache::Invalidate() {
  blocks_.clear();
  index_.clear();
}

void TBlockCache::UnpinAll() {
  for (auto& block : blocks_) block.ClearPins();
}

void TBlockCache::SetMayGrow(bool mayGrow) {
  const bool wasGrowing = mayGrow_;
  mayGrow_ = mayGrow;
  if (!wasGrowing || mayGrow) return;
  WriteBack();
  capacity_ = std::max<std::size_t>(BlockCacheCapacity(blockSize_), 1);
  // Cut from the least recently used end; blocks in use stay.
  for (auto it = blocks_.end(); blocks_.size() > capacity_ && it != blocks_.begin();) {
    --it;
    if (it->Modified() || it->PinCount() > 0) continue;
    index_.erase(it->Offset());
    it = blocks_.erase(it);
  }
}

}  // namespace quire
