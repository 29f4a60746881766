#pragma once
// TIndexTree: the B+-tree operations on one index — search, insert with page
// split, delete with borrowing and merging — over pages that a TTreeStorage
// supplies.
//
// Shape: every page but the root holds at least one entry; a node entry holds
// the first key of its child and the number of keys in the child's subtree;
// the pages of each level are linked left and right. Within a page searches
// bisect over the entries with the index's comparer:
//   insert position  the entries before or equal to the key (0: before all)
//   find position    the last entry before or equal to the key, or the first
//                    when the key is before every entry
// Every insert and delete keeps the subtree counts on its path exact, so a
// key's rank is found in one descent.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "index/KeyComparer.h"
#include "index/Page.h"

namespace quire {

// What the tree needs from the file that holds its pages.
class TTreeStorage {
 public:
  virtual ~TTreeStorage() = default;
  // The page at `offset`, or null when the file was changed by another user
  // since the descent began (the caller starts again from the root). Raises
  // 8965 when the page cannot be had.
  virtual TPage* FetchPage(std::uint32_t offset) = 0;
  // A page for new use (from the index's free chain, else at the end of the
  // file): cleared and modified. Raises 9479 when the file is full.
  virtual TPage& TakePage() = 0;
  // Puts an emptied page at the head of the index's free chain.
  virtual void FreePage(TPage& page) = 0;
  // Raises 9479 unless `count` pages can still be taken.
  virtual void RequireRoomFor(std::size_t count) = 0;
  virtual std::uint32_t RootPage() const = 0;
  virtual void SetRootPage(std::uint32_t offset) = 0;
  // For error messages.
  virtual const std::string& StorageFileName() const = 0;
};

// The outcome of a search.
enum class TSearch {
  Restart,  // another user changed the file; search again
  Absent,
  Found,
};

class TIndexTree {
 public:
  explicit TIndexTree(TTreeStorage& storage) : storage_(storage) {}

  // Works on keys of `keySize` bytes ordered by `comparer` (which must
  // outlive the tree's use with it).
  void SetIndex(const TKeyComparer& comparer, std::uint16_t keySize);

  // Looks for a leaf entry equal to `key` over its first `length` bytes.
  // When found and `position` is given, stores the entry's 1-based rank in
  // the index.
  TSearch Find(std::span<const std::uint8_t> key, std::size_t length,
               std::int32_t* position = nullptr);

  // Inserts (key, record) after every equal key. The caller has made sure
  // the file cannot change under it (it holds a lock, or checked at the start
  // of the change). Raises 9479 before changing anything when the pages a
  // split may need cannot be had, 8965 when a compressed leaf cannot be
  // split into two pages.
  void Insert(std::span<const std::uint8_t> key, std::uint32_t record);

  // Removes the entry of `key` (K bytes). Returns false, changing nothing,
  // when the key is absent. The same caller's duty as for Insert.
  bool Remove(std::span<const std::uint8_t> key);

 private:
  struct TStep {
    TPage* page;
    std::size_t pos;  // 0-based: the entry descended through, or at the leaf
                      // the insert point (insert) or the last entry <= key
  };

  // Descends from the root to a leaf, filling path_. False when the file
  // changed. With `insert` the leaf step holds the insert point.
  bool Descend(std::span<const std::uint8_t> key, std::size_t length, bool insert,
               std::int32_t* position);
  std::size_t EntriesNotAfter(const TPage& page, const std::uint8_t* key, std::size_t length) const;
  TPage& Fetch(std::uint32_t offset);  // for changes: no restart can happen
  void Pin(TPage& page);
  void UnpinAll();
  [[noreturn]] void Corrupt() const;

  void PropagateFirstKey(std::size_t level);
  void SplitUpwards(std::size_t level);
  std::size_t PagesForSplits() const;
  void Rebalance(std::size_t level, std::size_t removed);
  void RemoveEmptyPage(std::size_t level);
  void MergeOrBorrowLeft(std::size_t level);
  void MergeOrBorrowRight(std::size_t level);
  void CollapseRoot(TPage& root);
  void SetLeftOf(std::uint32_t offset, std::uint32_t left);
  void SetRightOf(std::uint32_t offset, std::uint32_t right);

  TTreeStorage& storage_;
  const TKeyComparer* comparer_ = nullptr;
  std::uint16_t keySize_ = 0;
  std::vector<TStep> path_;     // root first
  std::vector<TPage*> pinned_;  // pages this operation pinned
};

}  // namespace quire
