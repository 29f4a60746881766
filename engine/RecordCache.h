#pragma once
// TRecordCache: the record buffers of one open table, most recently used
// first, findable by record number.
//
// The cache holds about 128 KB: min(131070 / buffer size, 65535) buffers. A
// record that is not cached gets a new buffer while the cache is below its
// capacity, else the least recently used buffer that is neither dirty, nor
// pinned, nor marked by a read-ahead in progress. The owner writes dirty
// buffers back (DirtyRecords) when none is left, and may let the cache grow
// when it must keep every change in memory (a table lock).

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/Record.h"

namespace quire {

inline constexpr std::size_t kRecordCacheBytes = 131070;
inline constexpr std::size_t kMaxRecordBuffers = 65535;
inline constexpr std::size_t kRecordCacheGrowth = 1024;

class TRecordCache {
 public:
  TRecordCache() = default;
  // The buffers point at this cache's list of pinned buffers.
  TRecordCache(const TRecordCache&) = delete;
  TRecordCache& operator=(const TRecordCache&) = delete;

  // Drops every buffer; later buffers have `bufferSize` bytes.
  void Configure(std::size_t bufferSize);
  std::size_t BufferSize() const { return bufferSize_; }
  std::size_t Capacity() const { return capacity_; }
  std::size_t Size() const { return buffers_.size(); }

  // The buffer holding record `number`, moved to the front; null when none.
  TRecord* Find(std::uint32_t number);
  // The same without touching the order.
  TRecord* Peek(std::uint32_t number) const;

  // A buffer for record `number`, which is not cached, at the front and
  // cleared: a new one below capacity, else the least recently used
  // reusable one. Null when every buffer is dirty, pinned or marked.
  TRecord* TakeFree(std::uint32_t number);
  // Gives a cached buffer another record number (a slot chosen for it).
  void Renumber(TRecord& record, std::uint32_t number);
  // Raises the capacity by kRecordCacheGrowth buffers.
  void Grow() { capacity_ += kRecordCacheGrowth; }
  // Cuts the list back to its normal capacity, dropping clean, unpinned
  // buffers from the least recently used end.
  void Trim();

  // The dirty buffers that may be written now (not marked by a read-ahead),
  // in record-number order. Pinned buffers are written too: a pin keeps a
  // buffer in the cache, and the current record, which stays pinned, must
  // reach the file like any other change.
  std::vector<TRecord*> DirtyRecords() const;
  // Forgets every buffer's record, dirty or not (after another user changed
  // the file, or when buffered changes are discarded).
  void DiscardAll();
  void UnpinAll();
  void Clear();
  // Calls `visit` for every buffer.
  template <typename Visit>
  void ForEach(Visit visit) {
    for (auto& record : buffers_) visit(*record);
  }

 private:
  using TList = std::list<std::unique_ptr<TRecord>>;

  std::size_t NormalCapacity() const;
  void Unindex(const TRecord& record);
  // Gives the buffer at `place` record number `number` (0: none).
  void Place(TList::iterator place, std::uint32_t number);

  std::size_t bufferSize_ = 0;
  std::size_t capacity_ = 0;
  TList buffers_;  // most recently used first
  std::unordered_map<std::uint32_t, TList::iterator> byNumber_;
  // The pinned buffers, each once (the buffers keep it up to date).
  std::vector<TRecord*> pinned_;
};

}  // namespace quire
