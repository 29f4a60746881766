#include "index/IndexTree.h"

#include "engine/EngineError.h"

namespace quire {

namespace {

// Deeper than any tree of 4096-byte pages can grow; a longer descent means
// the pages link into a cycle.
constexpr std::size_t kMaxDepth = 64;

// Unpins, whatever way the operation ends, what it pinned.
class TPinScope {
 public:
  explicit TPinScope(std::vector<TPage*>& pinned) : pinned_(pinned) {}
  ~TPinScope() {
    for (TPage* page : pinned_) page->Unpin();
    pinned_.clear();
  }
  TPinScope(const TPinScope&) = delete;
  TPinScope& operator=(const TPinScope&) = delete;

 private:
  std::vector<TPage*>& pinned_;
};

}  // namespace

void TIndexTree::SetIndex(const TKeyComparer& comparer, std::uint16_t keySize) {
  comparer_ = &comparer;
  keySize_ = keySize;
}

void TIndexTree::Corrupt() const {
  RaiseEngineError(err::IndexPagesCorrupt, storage_.StorageFileName());
}

void TIndexTree::Pin(TPage& page) {
  if (!page.Pin()) Corrupt();
  pinned_.push_back(&page);
}

void TIndexTree::UnpinAll() {
  for (TPage* page : pinned_) page->Unpin();
  pinned_.clear();
}

TPage& TIndexTree::Fetch(std::uint32_t offset) {
  if (offset == 0) Corrupt();
  TPage* page = storage_.FetchPage(offset);
  if (page == nullptr) Corrupt();
  Pin(*page);
  return *page;
}

std::size_t TIndexTree::EntriesNotAfter(const TPage& page, const std::uint8_t* key,
                                        std::size_t length) const {
  std::size_t low = 0;
  std::size_t high = page.Count();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (comparer_->Compare(page.Key(mid).data(), key, length) <= 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

bool TIndexTree::Descend(std::span<const std::uint8_t> key, std::size_t length, bool insert,
                         std::int32_t* position) {
  path_.clear();
  std::uint32_t rank = 0;  // keys before the chosen entry, over the whole index
  std::uint32_t offset = storage_.RootPage();
  std::uint32_t parent = 0;
  while (offset != 0) {
    if (path_.size() == kMaxDepth) Corrupt();
    TPage* page = storage_.FetchPage(offset);
    if (page == nullptr) {
      UnpinAll();
      path_.clear();
      return false;
    }
    if (page->Count() == 0 || page->Free()) Corrupt();
    Pin(*page);
    page->SetParent(parent);
    const std::size_t notAfter = EntriesNotAfter(*page, key.data(), length);
    if (page->IsLeaf()) {
      const std::size_t pos = insert ? notAfter : (notAfter == 0 ? 0 : notAfter - 1);
      page->SetSearchPosition(pos + 1);
      path_.push_back({page, pos});
      rank += static_cast<std::uint32_t>(pos);
      break;
    }
    const std::size_t pos = notAfter == 0 ? 0 : notAfter - 1;
    if (position != nullptr) {
      for (std::size_t i = 0; i < pos; ++i)
        rank += static_cast<std::uint32_t>(page->SubtreeCount(i));
    }
    page->SetSearchPosition(pos + 1);
    path_.push_back({page, pos});
    parent = offset;
    offset = page->Pointer(pos);
    if (offset == 0) Corrupt();
  }
  if (position != nullptr) *position = static_cast<std::int32_t>(rank + 1);
  return true;
}

TSearch TIndexTree::Find(std::span<const std::uint8_t> key, std::size_t length,
                         std::int32_t* position) {
  TPinScope pins(pinned_);
  std::int32_t rank = 0;
  if (!Descend(key, length, false, position != nullptr ? &rank : nullptr)) {
    return TSearch::Restart;
  }
  if (path_.empty()) return TSearch::Absent;
  const TStep& leaf = path_.back();
  if (comparer_->Compare(leaf.page->Key(leaf.pos).data(), key.data(), length) != 0) {
    return TSearch::Absent;
  }
  if (position != nullptr) *position = rank;
  return TSearch::Found;
}

// ---- insert ----------------------------------------------------------------

void TIndexTree::Insert(std::span<const std::uint8_t> key, std::uint32_t record) {
  TPinScope pins(pinned_);
  if (storage_.RootPage() == 0) {
    storage_.RequireRoomFor(1);
    TPage& root = storage_.TakePage();
    root.SetType(TPageType::RootLeaf);
    root.Insert(0, key, record);
    storage_.SetRootPage(root.Offset());
    return;
  }
  if (!Descend(key, keySize_, true, nullptr)) Corrupt();
  storage_.RequireRoomFor(PagesForSplits());

  for (std::size_t level = 0; level + 1 < path_.size(); ++level) {
    TStep& step = path_[level];
    step.page->SetSubtreeCount(step.pos, step.page->SubtreeCount(step.pos) + 1);
    step.page->SetModified(true);
  }
  const std::size_t leafLevel = path_.size() - 1;
  TStep& leaf = path_[leafLevel];
  leaf.page->Insert(leaf.pos, key, record);
  leaf.page->SetModified(true);
  if (leaf.pos == 0) PropagateFirstKey(leafLevel);
  SplitUpwards(leafLevel);
}

std::size_t TIndexTree::PagesForSplits() const {
  // Counted before anything changes, so that a full file refuses the insert
  // instead of leaving it half done. A compressed leaf may always split.
  const TPage& leaf = *path_.back().page;
  const bool leafSplits = leaf.Compressed() || leaf.Count() + 1 > leaf.Capacity();
  if (!leafSplits) return 0;
  std::size_t pages = 1;
  for (std::size_t level = path_.size() - 1; level-- > 0;) {
    const TPage& node = *path_[level].page;
    if (node.Count() + 1 <= node.Capacity()) return pages;
    ++pages;
  }
  return pages + 1;  // the root splits: a new root above it
}

void TIndexTree::PropagateFirstKey(std::size_t level) {
  // A page's first key is its entry's key in the parent, and so on upwards
  // while the entry changed is the first of its page.
  while (level > 0) {
    TPage& page = *path_[level].page;
    TStep& parent = path_[level - 1];
    parent.page->SetKey(parent.pos, page.Key(0));
    parent.page->SetModified(true);
    if (parent.pos != 0) break;
    --level;
  }
}

void TIndexTree::SplitUpwards(std::size_t level) {
  for (;;) {
    TPage& left = *path_[level].page;
    if (!left.Overflows()) return;

    TPage& right = storage_.TakePage();
    Pin(right);
    const bool leaf = left.IsLeaf();
    const std::size_t moved = left.Count() / 2;
    left.MoveEntriesTo(left.Count() - moved, moved, right, 0);
    left.SetType(leaf ? TPageType::Leaf : TPageType::Node);
    right.SetType(leaf ? TPageType::Leaf : TPageType::Node);

    right.SetRight(left.Right());
    if (left.Right() != 0) SetLeftOf(left.Right(), right.Offset());
    left.SetRight(right.Offset());
    right.SetLeft(left.Offset());
    right.SetParent(left.Parent());

    if (left.Compressed()) {
      // Halves by count may still be uneven by bytes.
      if (left.EncodedBytes() > kPageEntryArea) {
        while (left.Count() > 1 && left.EncodedBytes() > kPageEntryArea) {
          left.MoveEntriesTo(left.Count() - 1, 1, right, 0);
        }
      } else {
        while (right.Count() > 1 && right.EncodedBytes() > kPageEntryArea) {
          right.MoveEntriesTo(0, 1, left, left.Count());
        }
      }
      if (left.EncodedBytes() > kPageEntryArea || right.EncodedBytes() > kPageEntryArea) {
        Corrupt();
      }
    }
    left.SetModified(true);
    right.SetModified(true);

    if (level == 0) {
      TPage& root = storage_.TakePage();
      root.SetType(TPageType::RootNode);
      root.Insert(0, left.Key(0), left.Offset(), left.KeysBelow());
      root.Insert(1, right.Key(0), right.Offset(), right.KeysBelow());
      left.SetParent(root.Offset());
      right.SetParent(root.Offset());
      storage_.SetRootPage(root.Offset());
      return;
    }
    TStep& parent = path_[level - 1];
    parent.page->SetSubtreeCount(parent.pos, left.KeysBelow());
    parent.page->Insert(parent.pos + 1, right.Key(0), right.Offset(), right.KeysBelow());
    parent.page->SetModified(true);
    --level;
  }
}

void TIndexTree::SetLeftOf(std::uint32_t offset, std::uint32_t left) {
  TPage& page = Fetch(offset);
  page.SetLeft(left);
  page.SetModified(true);
}

void TIndexTree::SetRightOf(std::uint32_t offset, std::uint32_t right) {
  TPage& page = Fetch(offset);
  page.SetRight(right);
  page.SetModified(true);
}

// ---- delete ----------------------------------------------------------------

bool TIndexTree::Remove(std::span<const std::uint8_t> key) {
  TPinScope pins(pinned_);
  if (!Descend(key, keySize_, false, nullptr)) Corrupt();
  if (path_.empty()) return false;
  const std::size_t leafLevel = path_.size() - 1;
  TStep& leaf = path_[leafLevel];
  if (comparer_->Compare(leaf.page->Key(leaf.pos).data(), key.data(), keySize_) != 0) {
    return false;
  }
  for (std::size_t level = 0; level < leafLevel; ++level) {
    TStep& step = path_[level];
    step.page->SetSubtreeCount(step.pos, step.page->SubtreeCount(step.pos) - 1);
    step.page->SetModified(true);
  }
  leaf.page->Remove(leaf.pos);
  leaf.page->SetModified(true);
  Rebalance(leafLevel, leaf.pos);
  return true;
}

void TIndexTree::Rebalance(std::size_t level, std::size_t removed) {
  TPage& page = *path_[level].page;
  if (page.Count() > 0 && removed == 0 && level > 0) PropagateFirstKey(level);

  // Compressed leaves vary in size, so they are only dropped once empty.
  if (page.Compressed()) {
    if (page.Count() == 0) RemoveEmptyPage(level);
    return;
  }
  if (page.Count() >= page.Capacity() / 2) return;

  if (level == 0) {
    if (page.Count() == 0) {
      storage_.FreePage(page);
      storage_.SetRootPage(0);
    } else if (page.IsNode() && page.Count() == 1) {
      CollapseRoot(page);
    }
    return;
  }
  const TStep& parent = path_[level - 1];
  if (parent.page->Count() == 1) {
    // The page is its parent's only child: its neighbours belong to other
    // parents, whose counts and first keys this level cannot see. An
    // under-filled page is harmless; an empty one leaves the tree.
    if (page.Count() == 0) RemoveEmptyPage(level);
    return;
  }
  if (parent.pos > 0) {
    MergeOrBorrowLeft(level);
  } else {
    MergeOrBorrowRight(level);
  }
}

void TIndexTree::RemoveEmptyPage(std::size_t level) {
  TPage& page = *path_[level].page;
  if (level == 0) {
    storage_.FreePage(page);
    storage_.SetRootPage(0);
    return;
  }
  const std::uint32_t left = page.Left();
  const std::uint32_t right = page.Right();
  if (left != 0) SetRightOf(left, right);
  if (right != 0) SetLeftOf(right, left);
  storage_.FreePage(page);
  TStep& parent = path_[level - 1];
  parent.page->Remove(parent.pos);
  parent.page->SetModified(true);
  Rebalance(level - 1, parent.pos);
}

void TIndexTree::MergeOrBorrowLeft(std::size_t level) {
  TPage& page = *path_[level].page;
  TStep& parent = path_[level - 1];
  const std::size_t s = parent.pos;
  TPage& left = Fetch(parent.page->Pointer(s - 1));

  if (page.Count() + left.Count() < page.Capacity()) {
    page.MoveEntriesTo(0, page.Count(), left, left.Count());
    left.SetRight(page.Right());
    if (page.Right() != 0) SetLeftOf(page.Right(), left.Offset());
    left.SetModified(true);
    storage_.FreePage(page);
    parent.page->SetSubtreeCount(s - 1, left.KeysBelow());
    parent.page->Remove(s);
    parent.page->SetModified(true);
    Rebalance(level - 1, s);
    return;
  }
  // Borrow: the left page keeps the first half (rounded up) of both.
  const std::size_t keep = (left.Count() + page.Count() + 1) / 2;
  left.MoveEntriesTo(keep, left.Count() - keep, page, 0);
  left.SetModified(true);
  page.SetModified(true);
  parent.page->SetKey(s, page.Key(0));
  parent.page->SetSubtreeCount(s, page.KeysBelow());
  parent.page->SetSubtreeCount(s - 1, left.KeysBelow());
  parent.page->SetModified(true);
}

void TIndexTree::MergeOrBorrowRight(std::size_t level) {
  TPage& page = *path_[level].page;
  TStep& parent = path_[level - 1];
  TPage& right = Fetch(parent.page->Pointer(1));

  if (page.Count() + right.Count() < page.Capacity()) {
    page.MoveEntriesTo(0, page.Count(), right, 0);
    right.SetLeft(page.Left());
    if (page.Left() != 0) SetRightOf(page.Left(), right.Offset());
    right.SetModified(true);
    storage_.FreePage(page);
    parent.page->SetKey(1, right.Key(0));
    parent.page->SetSubtreeCount(1, right.KeysBelow());
    parent.page->Remove(0);
    parent.page->SetModified(true);
    Rebalance(level - 1, 0);
    return;
  }
  // Borrow: this page keeps the first half (rounded down) of both.
  const std::size_t keep = (page.Count() + right.Count()) / 2;
  right.MoveEntriesTo(0, keep - page.Count(), page, page.Count());
  right.SetModified(true);
  page.SetModified(true);
  parent.page->SetSubtreeCount(0, page.KeysBelow());
  parent.page->SetKey(1, right.Key(0));
  parent.page->SetSubtreeCount(1, right.KeysBelow());
  parent.page->SetModified(true);
  // An emptied page that borrowed has a new first key, which its entry and
  // (being first) its parent's entry above must show.
  PropagateFirstKey(level);
}

void TIndexTree::CollapseRoot(TPage& root) {
  TPage& child = Fetch(root.Pointer(0));
  child.SetType(child.IsLeaf() ? TPageType::RootLeaf : TPageType::RootNode);
  child.SetLeft(0);
  child.SetRight(0);
  child.SetParent(0);
  child.SetModified(true);
  storage_.FreePage(root);
  storage_.SetRootPage(child.Offset());
}

}  // namespace quire
