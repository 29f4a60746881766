#include "engine/RecordCache.h"

#include <algorithm>
#include <iterator>

namespace quire {

std::size_t TRecordCache::NormalCapacity() const {
  if (bufferSize_ == 0) return 1;
  return std::clamp<std::size_t>(kRecordCacheBytes / bufferSize_, 1, kMaxRecordBuffers);
}

void TRecordCache::Configure(std::size_t bufferSize) {
  Clear();
  bufferSize_ = bufferSize;
  capacity_ = NormalCapacity();
}

void TRecordCache::Clear() {
  buffers_.clear();
  byNumber_.clear();
  pinned_.clear();
}

TRecord* TRecordCache::Find(std::uint32_t number) {
  const auto found = byNumber_.find(number);
  if (number == 0 || found == byNumber_.end()) return nullptr;
  buffers_.splice(buffers_.begin(), buffers_, found->second);
  return buffers_.front().get();
}

TRecord* TRecordCache::Peek(std::uint32_t number) const {
  const auto found = byNumber_.find(number);
  return number == 0 || found == byNumber_.end() ? nullptr : found->second->get();
}

void TRecordCache::Unindex(const TRecord& record) {
  if (record.Number() != 0) byNumber_.erase(record.Number());
}

TRecord* TRecordCache::TakeFree(std::uint32_t number) {
  if (buffers_.size() < capacity_) {
    buffers_.push_front(std::make_unique<TRecord>(bufferSize_));
    buffers_.front()->ListPinsIn(&pinned_);
    Place(buffers_.begin(), number);
    return buffers_.front().get();
  }
  // A buffer that cannot be reused now goes to the front on the way, so
  // that the next search does not walk past it again: an exclusive table
  // that appends keeps most of its cache dirty until it writes it back.
  // Splicing keeps the index's iterators valid.
  for (std::size_t left = buffers_.size(); left > 0; --left) {
    const auto last = std::prev(buffers_.end());
    TRecord& record = **last;
    buffers_.splice(buffers_.begin(), buffers_, last);
    if (record.Dirty() || record.PinCount() > 0 || record.Marked()) continue;
    Unindex(record);
    record.Forget();
    Place(buffers_.begin(), number);
    return &record;
  }
  return nullptr;
}

void TRecordCache::Renumber(TRecord& record, std::uint32_t number) {
  // A numbered buffer is found through the index; only an unnumbered one
  // needs the walk.
  auto place = buffers_.end();
  if (const auto found = byNumber_.find(record.Number());
      record.Number() != 0 && found != byNumber_.end() && found->second->get() == &record)
    place = found->second;
  for (auto it = buffers_.begin(); place == buffers_.end() && it != buffers_.end(); ++it)
    if (it->get() == &record) place = it;
  if (place != buffers_.end()) Place(place, number);
}

void TRecordCache::Place(TList::iterator place, std::uint32_t number) {
  TRecord& record = **place;
  Unindex(record);
  record.SetNumber(number);
  if (number != 0) byNumber_[number] = place;
}

void TRecordCache::Trim() {
  capacity_ = NormalCapacity();
  for (auto it = buffers_.end(); buffers_.size() > capacity_ && it != buffers_.begin();) {
    --it;
    const TRecord& record = **it;
    if (record.Dirty() || record.PinCount() > 0 || record.Marked()) continue;
    Unindex(record);
    it = buffers_.erase(it);
  }
}

std::vector<TRecord*> TRecordCache::DirtyRecords() const {
  std::vector<TRecord*> dirty;
  for (const auto& record : buffers_) {
    if (record->Dirty() && !record->Marked() && record->Number() != 0)
      dirty.push_back(record.get());
  }
  std::sort(dirty.begin(), dirty.end(),
            [](const TRecord* a, const TRecord* b) { return a->Number() < b->Number(); });
  return dirty;
}

void TRecordCache::DiscardAll() {
  // Not zeroed: a buffer is cleared again when it is taken for a record.
  for (auto& record : buffers_) record->Release();
  byNumber_.clear();
}

void TRecordCache::UnpinAll() {
  // Only the pinned buffers: every insert unpins all, and an exclusive
  // table's cache holds every record it changed.
  const std::vector<TRecord*> pinned = std::move(pinned_);
  pinned_.clear();
  for (TRecord* record : pinned) record->pins_ = 0;
}

}  // namespace quire
