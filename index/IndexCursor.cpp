#include "index/IndexCursor.h"

#include "engine/EngineError.h"
#include "index/IndexFile.h"

namespace quire {
namespace {

// Pages a cursor keeps before it starts afresh; a walk needs one page at a
// time, a descent one per level.
constexpr std::size_t kCursorPages = 256;

}  // namespace

TIndexCursor::TIndexCursor(TIndexFile& index, TBeforeRead beforeRead)
    : index_(index), beforeRead_(std::move(beforeRead)) {}

void TIndexCursor::Invalidate() {
  pages_.clear();
  synced_ = false;
}

void TIndexCursor::Reset() {
  Invalidate();
  Park(TCursorState::BeforeFirst);
  key_.clear();
  record_ = 0;
}

void TIndexCursor::Park(TCursorState state) {
  state_ = state;
  position_ = 0;
}

void TIndexCursor::SetOnKey(std::span<const std::uint8_t> key, std::uint32_t record) {
  key_.assign(key.begin(), key.end());
  record_ = record;
  state_ = TCursorState::OnKey;
  position_ = 0;
  synced_ = false;
}

void TIndexCursor::Restore(const TSaved& saved) {
  if (saved.state == TCursorState::OnKey) {
    SetOnKey(saved.key, saved.record);
  } else {
    Park(saved.state);
  }
}

bool TIndexCursor::Root(std::uint32_t& offset) {
  offset = index_.Header().RootPage(index_.CurrentIndex());
  // An empty index reads no page, so nothing else would notice that another
  // program has since added keys.
  if (offset == 0 || !pages_.contains(offset)) {
    if (beforeRead_ && !beforeRead_()) return false;
    offset = index_.Header().RootPage(index_.CurrentIndex());
  }
  return true;
}

const TPage* TIndexCursor::Fetch(std::uint32_t offset) {
  // Offsets come from the file; one outside the pages is a damaged tree.
  if (offset < kPageSize || offset % kPageSize != 0 || offset >= index_.Header().EndOffset())
    RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
  if (const auto found = pages_.find(offset); found != pages_.end()) return found->second.get();
  if (beforeRead_ && !beforeRead_()) return nullptr;
  const std::uint8_t number = index_.CurrentIndex();
  auto page = std::make_unique<TPage>(TPageFormat::For(number, index_.Descriptor(number)));
  page->Read(index_, offset, index_.Encrypted());
  // Every page of a walk has entries; an empty one is a damaged tree, and
  // reading past its end would follow garbage.
  if (page->Count() == 0) RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
  const TPage* result = page.get();
  pages_.emplace(offset, std::move(page));
  return result;
}

void TIndexCursor::TakeEntry(const TPage& leaf, std::size_t slot, std::int32_t position) {
  const auto key = leaf.Key(slot);
  key_.assign(key.begin(), key.end());
  record_ = leaf.Pointer(slot);
  leaf_ = leaf.Offset();
  slot_ = slot;
  position_ = position;
  state_ = TCursorState::OnKey;
  synced_ = true;
}

TMoveResult TIndexCursor::Edge(bool first) {
  if (pages_.size() > kCursorPages) pages_.clear();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (index_.KeySize() == 0 || offset == 0) {
    Park(first ? TCursorState::AfterLast : TCursorState::BeforeFirst);
    return TMoveResult::Ok;
  }
  std::int32_t rank = 0;
  for (;;) {
    const TPage* page = Fetch(offset);
    if (page == nullptr) return TMoveResult::Restart;
    const std::size_t pick = first ? 0 : page->Count() - 1;
    if (page->IsLeaf()) {
      TakeEntry(*page, pick, rank + static_cast<std::int32_t>(pick) + 1);
      return TMoveResult::Ok;
    }
    for (std::size_t i = 0; i < pick; ++i) rank += page->SubtreeCount(i);
    offset = page->Pointer(pick);
  }
}

TMoveResult TIndexCursor::Next() {
  if (state_ == TCursorState::AfterLast) return TMoveResult::Ok;
  if (state_ == TCursorState::BeforeFirst) return Edge(true);
  if (!synced_) {
    bool exact = false;
    if (Resync(exact) == TMoveResult::Restart) return TMoveResult::Restart;
    // Gone: the cursor already stands on what followed it.
    if (!exact) return TMoveResult::Ok;
  }
  if (pages_.size() > kCursorPages) {
    bool exact = false;
    Invalidate();
    if (Resync(exact) == TMoveResult::Restart) return TMoveResult::Restart;
  }
  const TPage* page = Fetch(leaf_);
  if (page == nullptr) return TMoveResult::Restart;
  if (slot_ + 1 < page->Count()) {
    TakeEntry(*page, slot_ + 1, position_ + 1);
  } else if (page->Right() == 0) {
    Park(TCursorState::AfterLast);
  } else {
    const TPage* right = Fetch(page->Right());
    if (right == nullptr) return TMoveResult::Restart;
    TakeEntry(*right, 0, position_ + 1);
  }
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::Prior() {
  if (state_ == TCursorState::BeforeFirst) return TMoveResult::Ok;
  if (state_ == TCursorState::AfterLast) return Edge(false);
  if (!synced_ || pages_.size() > kCursorPages) {
    bool exact = false;
    Invalidate();
    // When the entry is gone the cursor stands on its successor, and the
    // step back reaches its predecessor all the same.
    if (Resync(exact) == TMoveResult::Restart) return TMoveResult::Restart;
    if (state_ == TCursorState::AfterLast) return Edge(false);
  }
  const TPage* page = Fetch(leaf_);
  if (page == nullptr) return TMoveResult::Restart;
  if (slot_ > 0) {
    TakeEntry(*page, slot_ - 1, position_ - 1);
  } else if (page->Left() == 0) {
    Park(TCursorState::BeforeFirst);
  } else {
    const TPage* left = Fetch(page->Left());
    if (left == nullptr) return TMoveResult::Restart;
    TakeEntry(*left, left->Count() - 1, position_ - 1);
  }
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::Seek(std::span<const std::uint8_t> key, std::size_t length, bool& found) {
  found = false;
  if (pages_.size() > kCursorPages) pages_.clear();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (index_.KeySize() == 0 || offset == 0) {
    Park(TCursorState::AfterLast);
    return TMoveResult::Ok;
  }
  const auto before = [&](const TPage& page, std::size_t i) {
    return index_.CompareKeys(page.Key(i).data(), key.data(), length) < 0;
  };
  std::int32_t rank = 0;
  for (;;) {
    const TPage* page = Fetch(offset);
    if (page == nullptr) return TMoveResult::Restart;
    if (page->IsNode()) {
      // The last child whose first key lies before the key: equal keys may
      // begin at the end of the child before the one that starts with one.
      std::size_t pick = 0;
      while (pick + 1 < page->Count() && before(*page, pick + 1)) ++pick;
      for (std::size_t i = 0; i < pick; ++i) rank += page->SubtreeCount(i);
      offset = page->Pointer(pick);
      continue;
    }
    std::size_t slot = 0;
    while (slot < page->Count() && before(*page, slot)) ++slot;
    if (slot == page->Count()) {
      if (page->Right() == 0) {
        Park(TCursorState::AfterLast);
        return TMoveResult::Ok;
      }
      rank += static_cast<std::int32_t>(page->Count());
      page = Fetch(page->Right());
      if (page == nullptr) return TMoveResult::Restart;
      slot = 0;
    }
    TakeEntry(*page, slot, rank + static_cast<std::int32_t>(slot) + 1);
    found = index_.CompareKeys(page->Key(slot).data(), key.data(), length) == 0;
    return TMoveResult::Ok;
  }
}

TMoveResult TIndexCursor::JumpTo(std::int32_t position) {
  if (pages_.size() > kCursorPages) pages_.clear();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (position < 1 || index_.KeySize() == 0 || offset == 0) {
    Park(position < 1 ? TCursorState::BeforeFirst : TCursorState::AfterLast);
    return TMoveResult::Ok;
  }
  std::int32_t left = position;  // the rank still to find below `offset`
  for (bool root = true;; root = false) {
    const TPage* page = Fetch(offset);
    if (page == nullptr) return TMoveResult::Restart;
    if (root && position > page->KeysBelow()) {
      Park(TCursorState::AfterLast);
      return TMoveResult::Ok;
    }
    if (page->IsLeaf()) {
      if (left > static_cast<std::int32_t>(page->Count()))
        RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
      TakeEntry(*page, static_cast<std::size_t>(left - 1), position);
      return TMoveResult::Ok;
    }
    std::size_t pick = 0;
    while (pick + 1 < page->Count() && left > page->SubtreeCount(pick)) {
      left -= page->SubtreeCount(pick);
      ++pick;
    }
    offset = page->Pointer(pick);
  }
}

TMoveResult TIndexCursor::Resync(bool& exact) {
  exact = true;
  if (state_ != TCursorState::OnKey || synced_) return TMoveResult::Ok;
  const std::vector<std::uint8_t> key = key_;
  const std::uint32_t record = record_;
  bool found = false;
  const TMoveResult result = Seek(key, key.size(), found);
  if (result == TMoveResult::Restart) {
    // Still the old position, to be found again on the next try.
    key_ = key;
    record_ = record;
    state_ = TCursorState::OnKey;
    synced_ = false;
    return result;
  }
  exact = found && record_ == record;
  return result;
}

std::size_t TIndexCursor::ContiguousRun(bool forward, std::size_t limit) const {
  if (state_ != TCursorState::OnKey || !synced_ || limit <= 1) return 1;
  const auto found = pages_.find(leaf_);
  if (found == pages_.end()) return 1;
  const TPage& page = *found->second;
  std::size_t run = 1;
  for (std::size_t slot = slot_; run < limit; ++run) {
    const std::size_t next = forward ? slot + 1 : slot - 1;
    if ((forward && next >= page.Count()) || (!forward && slot == 0)) break;
    const std::int64_t step = static_cast<std::int64_t>(page.Pointer(next)) - page.Pointer(slot);
    if (step != (forward ? 1 : -1)) break;
    slot = next;
  }
  return run;
}

}  // namespace quire
