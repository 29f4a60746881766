#pragma once
// TBlockCache: the cached blocks of one blob file, most recently used first.
//
// Capacity: min(262140 / B, 4096) blocks (511 for B = 512). To make room the
// cache reuses the block nearest the end of the list that is neither
// modified, nor pinned, nor being read ahead; when there is none it writes
// back the modified blocks and looks again; when there is still none it grows
// by 256 blocks if growing is allowed (buffered-change mode, where modified
// blocks stay until the mode ends), and fails with 8963 otherwise.
//
// Reads: a load may read ahead up to min(65535 / B, blocks asked for, blocks
// before the end offset) consecutive blocks in one read. Cached blocks of
// that range are refreshed from the read only when they are neither modified
// nor pinned. Write-back sorts the modified, unpinned blocks by offset and
// writes each run of adjacent blocks with one write.

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>

#include "blob/Block.h"

namespace quire {

class TFileHandler;

inline constexpr std::size_t kBlockCacheGrowth = 256;

// The normal capacity for blocks of `blockSize` bytes.
std::size_t BlockCacheCapacity(std::uint32_t blockSize);

class TBlockCache {
 public:
  // Blocks are read from and written to `file`, which must outlive the cache.
  TBlockCache(TFileHandler& file, std::uint32_t blockSize, bool encrypted);
  TBlockCache(const TBlockCache&) = delete;
  TBlockCache& operator=(const TBlockCache&) = delete;

  // The cached block at `offset`, moved to the front; null when not cached.
  TBlock* Find(std::uint32_t offset);
  // Reads the block at `offset` and up to `readAhead` - 1 blocks after it
  // (never at or past `endOffset`) in one read; returns the block at
  // `offset`, at the front. The caller has checked the offset.
  TBlock& Load(std::uint32_t offset, std::uint32_t readAhead, std::uint32_t endOffset);
  // An entry for the block at `offset` that is not read from the file (a new
  // block, or one about to be overwritten whole): cleared and modified, at
  // the front. A cached block at `offset` is cleared in place.
  TBlock& Create(std::uint32_t offset);

  // Writes every modified, unpinned block not being read ahead. Returns
  // whether anything was written.
  bool WriteBack();
  // Forgets every block, written or not. No block may be in use.
  void Invalidate();
  void UnpinAll();
  // Allows growing beyond the capacity; turning it off writes back and cuts
  // the list to the normal capacity (pinned blocks are kept).
  void SetMayGrow(bool mayGrow);

  std::size_t Size() const { return blocks_.size(); }
  std::size_t Capacity() const { return capacity_; }
  std::uint64_t Reads() const { return reads_; }
  std::uint64_t Writes() const { return writes_; }

 private:
  using List = std::list<TBlock>;

  // A block object at the front, not in the index, to be given an offset.
  List::iterator Acquire();
  List::iterator FindEvictable();
  void Enter(List::iterator block);
  void MoveToFront(List::iterator block);

  TFileHandler& file_;
  std::uint32_t blockSize_;
  bool encrypted_;
  std::size_t capacity_;
  bool mayGrow_ = false;
  List blocks_;  // most recently used first
  std::unordered_map<std::uint32_t, List::iterator> index_;
  std::uint64_t reads_ = 0;
  std::uint64_t writes_ = 0;
};

}  // namespace quire
