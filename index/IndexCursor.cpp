#include "index/IndexCursor.h"

#include <algorithm>

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

TIndexCursor::~TIndexCursor() = default;

void TIndexCursor::BindIndex(std::uint8_t number) {
  bound_ = std::make_unique<TKeyOrder>(index_, number);
  Reset();
}

std::uint8_t TIndexCursor::Number() const {
  return bound_ ? bound_->Number() : index_.CurrentIndex();
}

std::uint16_t TIndexCursor::KeySize() const {
  return bound_ ? bound_->KeySize() : index_.KeySize();
}

int TIndexCursor::Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const {
  return bound_ ? bound_->Compare(a, b, n) : index_.CompareKeys(a, b, n);
}

void TIndexCursor::Invalidate() {
  pages_.clear();
  synced_ = false;
  if (range_) range_->known = false;
}

void TIndexCursor::Reset() {
  Invalidate();
  Park(TCursorState::BeforeFirst);
  key_.clear();
  record_ = 0;
  range_.reset();
}

void TIndexCursor::Park(TCursorState state) {
  state_ = state;
  position_ = 0;
}

std::int32_t TIndexCursor::Position() const {
  if (state_ != TCursorState::OnKey || position_ == 0) return 0;
  if (!Ranged()) return position_;
  return range_->known ? position_ - range_->first + 1 : 0;
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
  offset = index_.Header().RootPage(Number());
  // An empty index reads no page, so nothing else would notice that another
  // program has since added keys.
  if (offset == 0 || !pages_.contains(offset)) {
    if (beforeRead_ && !beforeRead_()) return false;
    offset = index_.Header().RootPage(Number());
  }
  return true;
}

const TPage* TIndexCursor::Fetch(std::uint32_t offset) {
  // Offsets come from the file; one outside the pages is a damaged tree.
  if (offset < kPageSize || offset % kPageSize != 0 || offset >= index_.Header().EndOffset())
    RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
  if (const auto found = pages_.find(offset); found != pages_.end()) return found->second.get();
  if (beforeRead_ && !beforeRead_()) return nullptr;
  const std::uint8_t number = Number();
  auto page = std::make_unique<TPage>(TPageFormat::For(number, index_.Descriptor(number)));
  page->Read(index_, offset, index_.Encrypted());
  // Every page of a walk has entries; an empty one is a damaged tree, and
  // reading past its end would follow garbage.
  if (page->Count() == 0) RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
  index_.AdoptPage(*page);
  const TPage* result = page.get();
  pages_.emplace(offset, std::move(page));
  return result;
}

void TIndexCursor::TrimPages() {
  if (pages_.size() > kCursorPages) {
    pages_.clear();
    synced_ = false;
  }
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

// ---- walks over every key --------------------------------------------------

namespace {

// Entries of `page` whose key lies before `key` (with `inclusive`: not after
// it) over `length` bytes; the entries are in order, so this bisects.
template <typename Compare>
std::size_t EntriesBefore(const TPage& page, const std::uint8_t* key, std::size_t length,
                          bool inclusive, const Compare& compare) {
  std::size_t low = 0;
  std::size_t high = page.Count();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    const int c = compare(page.Key(mid).data(), key, length);
    if (c < 0 || (inclusive && c == 0)) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

}  // namespace

TMoveResult TIndexCursor::RawEdge(bool first) {
  TrimPages();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (KeySize() == 0 || offset == 0) {
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

TMoveResult TIndexCursor::RawNext() {
  if (state_ == TCursorState::AfterLast) return TMoveResult::Ok;
  if (state_ == TCursorState::BeforeFirst) return RawEdge(true);
  if (!synced_ || pages_.size() > kCursorPages) {
    bool exact = false;
    if (RawFindAgain(exact) == TMoveResult::Restart) return TMoveResult::Restart;
    // Gone: the cursor already stands on what followed it.
    if (!exact) return TMoveResult::Ok;
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

TMoveResult TIndexCursor::RawPrior() {
  if (state_ == TCursorState::BeforeFirst) return TMoveResult::Ok;
  if (state_ == TCursorState::AfterLast) return RawEdge(false);
  if (!synced_ || pages_.size() > kCursorPages) {
    // When the entry is gone the cursor stands on its successor, and the
    // step back reaches its predecessor all the same.
    bool exact = false;
    if (RawFindAgain(exact) == TMoveResult::Restart) return TMoveResult::Restart;
    if (state_ == TCursorState::AfterLast) return RawEdge(false);
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

TMoveResult TIndexCursor::RawFindAgain(bool& exact) {
  const std::vector<std::uint8_t> key = key_;
  const std::uint32_t record = record_;
  if (RawSeek(key, key.size()) == TMoveResult::Restart) {
    // Still the old position, to be found again on the next try.
    SetOnKey(key, record);
    return TMoveResult::Restart;
  }
  exact = state_ == TCursorState::OnKey && record_ == record &&
          Compare(key_.data(), key.data(), key.size()) == 0;
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::RawSeek(std::span<const std::uint8_t> key, std::size_t length) {
  TrimPages();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (KeySize() == 0 || offset == 0) {
    Park(TCursorState::AfterLast);
    return TMoveResult::Ok;
  }
  const TPage* page = nullptr;
  std::size_t slot = 0;
  std::int32_t rank = 0;
  if (DescendToLeaf(offset, key, length, false, page, slot, rank) == TMoveResult::Restart)
    return TMoveResult::Restart;
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
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::DescendToLeaf(std::uint32_t root, std::span<const std::uint8_t> key,
                                        std::size_t length, bool inclusive, const TPage*& leaf,
                                        std::size_t& before, std::int32_t& rank) {
  const auto compare = [this](const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    return Compare(a, b, n);
  };
  rank = 0;
  for (std::uint32_t offset = root;;) {
    const TPage* page = Fetch(offset);
    if (page == nullptr) return TMoveResult::Restart;
    before = EntriesBefore(*page, key.data(), length, inclusive, compare);
    if (page->IsLeaf()) {
      leaf = page;
      return TMoveResult::Ok;
    }
    // The last child whose first key lies before the key: equal keys may
    // begin at the end of the child before the one that starts with one, and
    // the children before it hold only keys before the key.
    const std::size_t pick = before == 0 ? 0 : before - 1;
    for (std::size_t i = 0; i < pick; ++i) rank += page->SubtreeCount(i);
    offset = page->Pointer(pick);
  }
}

TMoveResult TIndexCursor::RawJump(std::int32_t rank) {
  TrimPages();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (rank < 1 || KeySize() == 0 || offset == 0) {
    Park(rank < 1 ? TCursorState::BeforeFirst : TCursorState::AfterLast);
    return TMoveResult::Ok;
  }
  std::int32_t left = rank;  // the rank still to find below `offset`
  for (bool root = true;; root = false) {
    const TPage* page = Fetch(offset);
    if (page == nullptr) return TMoveResult::Restart;
    if (root && rank > page->KeysBelow()) {
      Park(TCursorState::AfterLast);
      return TMoveResult::Ok;
    }
    if (page->IsLeaf()) {
      if (left > static_cast<std::int32_t>(page->Count()))
        RaiseEngineError(err::IndexPagesCorrupt, index_.FileName());
      TakeEntry(*page, static_cast<std::size_t>(left - 1), rank);
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

// ---- counting ----------------------------------------------------------------

TMoveResult TIndexCursor::CountBefore(std::span<const std::uint8_t> key, std::size_t length,
                                      bool inclusive, std::int32_t& count) {
  count = 0;
  TrimPages();
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (KeySize() == 0 || offset == 0) return TMoveResult::Ok;
  const TPage* leaf = nullptr;
  std::size_t before = 0;
  std::int32_t rank = 0;
  if (DescendToLeaf(offset, key, length, inclusive, leaf, before, rank) == TMoveResult::Restart)
    return TMoveResult::Restart;
  count = rank + static_cast<std::int32_t>(before);
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::CountBetween(std::span<const std::uint8_t> start,
                                       std::span<const std::uint8_t> end, std::size_t length,
                                       std::int32_t& count) {
  count = 0;
  if (Compare(start.data(), end.data(), length) > 0) return TMoveResult::Ok;
  std::int32_t before = 0;
  std::int32_t notAfter = 0;
  if (CountBefore(start, length, false, before) == TMoveResult::Restart ||
      CountBefore(end, length, true, notAfter) == TMoveResult::Restart)
    return TMoveResult::Restart;
  count = std::max(0, notAfter - before);
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::MarkBetween(std::span<const std::uint8_t> start,
                                      std::span<const std::uint8_t> end, std::size_t length,
                                      TRecordBitmap& bitmap) {
  if (Compare(start.data(), end.data(), length) > 0) return TMoveResult::Ok;
  if (RawSeek(start, length) == TMoveResult::Restart) return TMoveResult::Restart;
  while (state_ == TCursorState::OnKey && Compare(key_.data(), end.data(), length) <= 0) {
    bitmap.Set(record_, true);
    if (RawNext() == TMoveResult::Restart) return TMoveResult::Restart;
  }
  return TMoveResult::Ok;
}

// ---- range -----------------------------------------------------------------

void TIndexCursor::SetRange(std::span<const std::uint8_t> start,
                            std::span<const std::uint8_t> end) {
  range_ = TRange{{start.begin(), start.end()}, {end.begin(), end.end()}};
}

void TIndexCursor::CancelRange() {
  range_.reset();
}

std::span<const std::uint8_t> TIndexCursor::RangeStart() const {
  return range_ ? std::span<const std::uint8_t>(range_->start) : std::span<const std::uint8_t>();
}

std::span<const std::uint8_t> TIndexCursor::RangeEnd() const {
  return range_ ? std::span<const std::uint8_t>(range_->end) : std::span<const std::uint8_t>();
}

bool TIndexCursor::RangeEmpty() const {
  return range_->first == 0 || range_->last == 0 || range_->last < range_->first;
}

TMoveResult TIndexCursor::KeyCount(std::int32_t& count) {
  count = 0;
  std::uint32_t offset = 0;
  if (!Root(offset)) return TMoveResult::Restart;
  if (offset == 0 || KeySize() == 0) return TMoveResult::Ok;
  const TPage* root = Fetch(offset);
  if (root == nullptr) return TMoveResult::Restart;
  count = root->KeysBelow();
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::RangePositions(std::int32_t& first, std::int32_t& last) {
  if (!Ranged()) {
    first = 1;
    return KeyCount(last);
  }
  TRange& r = *range_;
  if (!r.known) {
    const std::size_t k = KeySize();
    r.first = r.last = 0;
    // A start after the end is an empty range, whatever the keys.
    if (r.start.size() == k && r.end.size() == k && Compare(r.start.data(), r.end.data(), k) <= 0) {
      std::int32_t before = 0;
      std::int32_t notAfter = 0;
      std::int32_t total = 0;
      if (CountBefore(r.start, k, false, before) == TMoveResult::Restart ||
          CountBefore(r.end, k, true, notAfter) == TMoveResult::Restart ||
          KeyCount(total) == TMoveResult::Restart)
        return TMoveResult::Restart;
      r.first = before < total ? before + 1 : 0;
      r.last = notAfter;
    }
    r.known = true;
  }
  first = r.first;
  last = r.last;
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::Prepare() {
  visibleNow_ = visible_ ? visible_() : nullptr;
  if (!Ranged() || range_->known) return TMoveResult::Ok;
  std::int32_t first = 0;
  std::int32_t last = 0;
  return RangePositions(first, last);
}

bool TIndexCursor::Visible(std::uint32_t record) const {
  return visibleNow_ == nullptr || visibleNow_->Test(record);
}

TMoveResult TIndexCursor::VisibleCount(std::int32_t& count) {
  count = 0;
  if (Prepare() == TMoveResult::Restart) return TMoveResult::Restart;
  if (visibleNow_ != nullptr) {
    count = visibleNow_->Count();
    return TMoveResult::Ok;
  }
  if (!Ranged()) return KeyCount(count);
  count = RangeEmpty() ? 0 : range_->last - range_->first + 1;
  return TMoveResult::Ok;
}

// ---- moves within the range and the visible records ----------------------------

TMoveResult TIndexCursor::Settle(bool forward) {
  for (;;) {
    if (state_ != TCursorState::OnKey) return TMoveResult::Ok;
    if (Ranged()) {
      if (RangeEmpty()) {
        Park(forward ? TCursorState::AfterLast : TCursorState::BeforeFirst);
        return TMoveResult::Ok;
      }
      const bool beyond = forward ? position_ > range_->last : position_ < range_->first;
      if (beyond) {
        Park(forward ? TCursorState::AfterLast : TCursorState::BeforeFirst);
        return TMoveResult::Ok;
      }
      const bool short_ = forward ? position_ < range_->first : position_ > range_->last;
      if (short_) {
        if (RawJump(forward ? range_->first : range_->last) == TMoveResult::Restart)
          return TMoveResult::Restart;
        continue;
      }
    }
    if (Visible(record_)) return TMoveResult::Ok;
    if ((forward ? RawNext() : RawPrior()) == TMoveResult::Restart) return TMoveResult::Restart;
  }
}

TMoveResult TIndexCursor::First() {
  if (Prepare() == TMoveResult::Restart) return TMoveResult::Restart;
  const TMoveResult landed = Ranged() ? RawJump(RangeEmpty() ? 0 : range_->first) : RawEdge(true);
  if (landed == TMoveResult::Restart) return landed;
  if (state_ == TCursorState::BeforeFirst) Park(TCursorState::AfterLast);
  return Settle(true);
}

TMoveResult TIndexCursor::Last() {
  if (Prepare() == TMoveResult::Restart) return TMoveResult::Restart;
  const TMoveResult landed = Ranged() ? RawJump(RangeEmpty() ? 0 : range_->last) : RawEdge(false);
  if (landed == TMoveResult::Restart) return landed;
  // An empty range parks before the first; so does an index without keys.
  if (state_ == TCursorState::AfterLast) Park(TCursorState::BeforeFirst);
  return Settle(false);
}

TMoveResult TIndexCursor::Next() {
  if (state_ == TCursorState::AfterLast) return TMoveResult::Ok;
  if (state_ == TCursorState::BeforeFirst) return First();
  if (Prepare() == TMoveResult::Restart || RawNext() == TMoveResult::Restart)
    return TMoveResult::Restart;
  return Settle(true);
}

TMoveResult TIndexCursor::Prior() {
  if (state_ == TCursorState::BeforeFirst) return TMoveResult::Ok;
  if (state_ == TCursorState::AfterLast) return Last();
  if (Prepare() == TMoveResult::Restart || RawPrior() == TMoveResult::Restart)
    return TMoveResult::Restart;
  return Settle(false);
}

TMoveResult TIndexCursor::MoveBy(std::int32_t count) {
  for (; count > 0 && state_ != TCursorState::AfterLast; --count) {
    if (Next() == TMoveResult::Restart) return TMoveResult::Restart;
  }
  for (; count < 0 && state_ != TCursorState::BeforeFirst; ++count) {
    if (Prior() == TMoveResult::Restart) return TMoveResult::Restart;
  }
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::Seek(std::span<const std::uint8_t> key, std::size_t length, bool& found) {
  return Find(key, length, true, false, found);
}

TMoveResult TIndexCursor::Find(std::span<const std::uint8_t> key, std::size_t length, bool nearest,
                               bool keepEdges, bool& found) {
  found = false;
  const TSaved saved = Save();
  if (Prepare() == TMoveResult::Restart || RawSeek(key, length) == TMoveResult::Restart)
    return TMoveResult::Restart;
  if (Settle(true) == TMoveResult::Restart) return TMoveResult::Restart;
  found = state_ == TCursorState::OnKey && Compare(key_.data(), key.data(), length) == 0;
  if (!nearest && !found) {
    Restore(saved);
    return TMoveResult::Ok;
  }
  if (keepEdges && saved.state != TCursorState::OnKey && state_ == TCursorState::OnKey) {
    bool edge = false;
    if (AtVisibleEdge(saved.state == TCursorState::AfterLast, edge) == TMoveResult::Restart)
      return TMoveResult::Restart;
    if (edge) Park(saved.state);
  }
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::AtVisibleEdge(bool forward, bool& edge) {
  const std::vector<std::uint8_t> key = key_;
  const std::uint32_t record = record_;
  const std::uint32_t leaf = leaf_;
  const std::size_t slot = slot_;
  const std::int32_t position = position_;
  const bool synced = synced_;
  const TMoveResult moved = (forward ? RawNext() : RawPrior()) == TMoveResult::Restart
                                ? TMoveResult::Restart
                                : Settle(forward);
  edge = state_ != TCursorState::OnKey;
  key_ = key;
  record_ = record;
  leaf_ = leaf;
  slot_ = slot;
  position_ = position;
  state_ = TCursorState::OnKey;
  // The pages may have been dropped meanwhile; the next move finds them.
  synced_ = synced && pages_.contains(leaf);
  return moved;
}

TMoveResult TIndexCursor::JumpTo(std::int32_t position) {
  if (Prepare() == TMoveResult::Restart) return TMoveResult::Restart;
  if (position < 1) {
    Park(TCursorState::BeforeFirst);
    return TMoveResult::Ok;
  }
  std::int32_t rank = position;
  if (Ranged()) {
    if (RangeEmpty() || position > range_->last - range_->first + 1) {
      Park(TCursorState::AfterLast);
      return TMoveResult::Ok;
    }
    rank = range_->first + position - 1;
  }
  if (RawJump(rank) == TMoveResult::Restart) return TMoveResult::Restart;
  if (state_ != TCursorState::OnKey || Visible(record_)) return TMoveResult::Ok;
  // Not visible: the next visible record, else the previous one.
  if (Settle(true) == TMoveResult::Restart) return TMoveResult::Restart;
  if (state_ == TCursorState::OnKey) return TMoveResult::Ok;
  if (RawJump(rank) == TMoveResult::Restart || Settle(false) == TMoveResult::Restart)
    return TMoveResult::Restart;
  if (state_ == TCursorState::BeforeFirst) Park(TCursorState::AfterLast);
  return TMoveResult::Ok;
}

TMoveResult TIndexCursor::Resync(bool& exact) {
  exact = true;
  if (Prepare() == TMoveResult::Restart) return TMoveResult::Restart;
  if (state_ != TCursorState::OnKey || synced_) return TMoveResult::Ok;
  const TSaved saved = Save();
  if (RawFindAgain(exact) == TMoveResult::Restart) return TMoveResult::Restart;
  // A key outside the range, or a record no longer visible, gives way to
  // the next one that is.
  const std::uint32_t found = record_;
  if (Settle(true) == TMoveResult::Restart) {
    Restore(saved);
    return TMoveResult::Restart;
  }
  exact = exact && state_ == TCursorState::OnKey && record_ == found;
  return TMoveResult::Ok;
}

std::size_t TIndexCursor::ContiguousRun(bool forward, std::size_t limit) const {
  if (state_ != TCursorState::OnKey || !synced_ || limit <= 1) return 1;
  const auto found = pages_.find(leaf_);
  if (found == pages_.end()) return 1;
  const TPage& page = *found->second;
  std::size_t run = 1;
  std::int32_t position = position_;
  for (std::size_t slot = slot_; run < limit; ++run) {
    const std::size_t next = forward ? slot + 1 : slot - 1;
    if ((forward && next >= page.Count()) || (!forward && slot == 0)) break;
    const std::int64_t step = static_cast<std::int64_t>(page.Pointer(next)) - page.Pointer(slot);
    if (step != (forward ? 1 : -1)) break;
    position += forward ? 1 : -1;
    if (Ranged() && range_->known && (position > range_->last || position < range_->first)) break;
    if (!Visible(page.Pointer(next))) break;
    slot = next;
  }
  return run;
}

}  // namespace quire
