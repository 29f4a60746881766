#pragma once
// TPageCache: the cached pages of one index (one descriptor slot), most
// recently used first.
//
// The list holds at most 31 pages. To make room for a page that is not
// cached, the page nearest the end of the list that is neither modified nor
// pinned is reused; when there is none, the modified, unpinned page nearest
// the end is written back and reused; when every page is pinned, the list
// grows by 64 pages only if the caller allows it (buffered-change mode, where
// modified pages are kept until the mode ends), and otherwise nothing can be
// had. Pages stay decoded; a page on the free chain stays cached, with its
// free flag, until it is taken again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "index/Page.h"

namespace quire {

class TFileHandler;

inline constexpr std::size_t kPageCacheCapacity = 31;
inline constexpr std::size_t kPageCacheGrowth = 64;

class TPageCache {
 public:
  TPageCache() = default;

  // Drops every page; later pages are made for `format`.
  void Reset(const TPageFormat& format);
  const TPageFormat& Format() const { return format_; }

  // The cached page at `offset`, moved to the front; null when not cached.
  TPage* Find(std::uint32_t offset);

  // The cached page at `offset` without moving it; null when not cached.
  const TPage* Peek(std::uint32_t offset) const;

  // A page object at the front of the list, free to be loaded or reset by
  // the caller (it may still hold its old page's offset: the caller sets the
  // new one before anything else). Writes back one modified page through
  // `file` when it must. Null when every page is pinned and `mayGrow` is off.
  TPage* Acquire(TFileHandler& file, bool encrypted, bool mayGrow);

  // Keeps a copy of `page`, read from the file by someone else (a cursor),
  // when no page of its offset is cached and a page object can be had
  // without writing one back; false when it keeps none.
  bool Adopt(const TPage& page);

  // Forgets every page's contents, modified or not, and every pin.
  void Invalidate();
  void UnpinAll();
  // Cuts the list back to 31 pages, writing back the modified pages it cuts;
  // pinned pages are kept (the list stays longer while they are).
  void Trim(TFileHandler& file, bool encrypted);

  // Adds the modified, unpinned pages to `out`.
  void CollectModified(std::vector<TPage*>& out) const;

  std::size_t Size() const { return pages_.size(); }
  std::size_t Capacity() const { return capacity_; }

 private:
  void MoveToFront(std::size_t i);

  TPageFormat format_;
  std::size_t capacity_ = kPageCacheCapacity;
  std::vector<std::unique_ptr<TPage>> pages_;  // most recently used first
};

// Writes `pages` (modified pages of any index) back to `file`: sorted by
// offset, each run of adjacent pages in one write. They are clean afterwards.
void WriteBackPages(std::vector<TPage*>& pages, TFileHandler& file, bool encrypted);

}  // namespace quire
