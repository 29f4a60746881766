#pragma once
// TIndexCursor: a position in the current index of a table's index file, and
// the moves over its keys in index order.
//
// The cursor reads the index's pages itself (decoded, through TPage) and
// keeps copies of the pages it read until Invalidate. So the owner must make
// sure that the file holds every page the index file changed before the
// cursor reads (the data file writes the index file's pages back first) and
// must invalidate the cursor after every change of the index. The page
// reader it is given is asked before each read from the file; when it
// reports that another user changed the table, the move stops with Restart
// and the owner repositions (Resync) and tries again.
//
// States: before the first key, on a key, after the last key. Next from
// before-first goes to the first key and Prior from after-last to the last;
// moving past an edge leaves the cursor before-first or after-last. Every
// key of an index is distinct (equal field values carry the record's
// auto-increment value as a suffix), so a key names one entry.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "index/Page.h"

namespace quire {

class TIndexFile;

enum class TCursorState : std::uint8_t { BeforeFirst, OnKey, AfterLast };

enum class TMoveResult : std::uint8_t { Ok, Restart };

class TIndexCursor {
 public:
  // Called before the cursor reads a page from the file; returns false when
  // the table was changed by another user (the move then restarts).
  using TBeforeRead = std::function<bool()>;

  TIndexCursor(TIndexFile& index, TBeforeRead beforeRead);

  // Forgets the pages read so far; the position is kept as a key and found
  // again by the next Resync.
  void Invalidate();
  // Before the first key, nothing cached (after the index changed).
  void Reset();

  TCursorState State() const { return state_; }
  // The record number and key of the entry the cursor is on (0 / empty when
  // it is on none).
  std::uint32_t Record() const { return state_ == TCursorState::OnKey ? record_ : 0; }
  std::span<const std::uint8_t> Key() const { return key_; }
  // 1-based rank of the key in the index; 0 when not on a key or not yet
  // known after an invalidation.
  std::int32_t Position() const { return state_ == TCursorState::OnKey ? position_ : 0; }

  // A position to come back to when a move has to be repeated.
  struct TSaved {
    TCursorState state = TCursorState::BeforeFirst;
    std::vector<std::uint8_t> key;
    std::uint32_t record = 0;
  };
  TSaved Save() const { return {state_, key_, record_}; }
  // Back to a saved position; the pages are found by the next Resync.
  void Restore(const TSaved& saved);

  void SetBeforeFirst() { Park(TCursorState::BeforeFirst); }
  void SetAfterLast() { Park(TCursorState::AfterLast); }
  // Puts the cursor on an entry the owner knows (a record it just inserted);
  // the pages are found by the next Resync.
  void SetOnKey(std::span<const std::uint8_t> key, std::uint32_t record);

  // One entry forward or backward.
  TMoveResult Next();
  TMoveResult Prior();
  // Positions on the first key equal to or after `key` over its first
  // `length` bytes; after-last when there is none. `found` tells whether
  // that key equals `key` over `length`.
  TMoveResult Seek(std::span<const std::uint8_t> key, std::size_t length, bool& found);
  // Positions on the n-th key (1-based); before-first below 1, after-last
  // above the count.
  TMoveResult JumpTo(std::int32_t position);
  // Finds the entry the cursor was on again, after Invalidate. When it is
  // gone, the cursor is on the next key (or after-last) and `exact` is false.
  TMoveResult Resync(bool& exact);
  // Whether the cursor's pages are the ones it read (no Resync needed).
  bool Synced() const { return synced_ || state_ != TCursorState::OnKey; }

  // How many of the next `limit` entries from the cursor (itself included)
  // in the direction of travel hold consecutive record numbers, within the
  // cursor's page; 1 when nothing is known.
  std::size_t ContiguousRun(bool forward, std::size_t limit) const;

 private:
  const TPage* Fetch(std::uint32_t offset);
  // The root page of the index, checked for others' changes unless it is
  // cached; false when the table changed.
  bool Root(std::uint32_t& offset);
  void Park(TCursorState state);
  void TakeEntry(const TPage& leaf, std::size_t slot, std::int32_t position);
  TMoveResult Edge(bool first);

  TIndexFile& index_;
  TBeforeRead beforeRead_;
  std::unordered_map<std::uint32_t, std::unique_ptr<TPage>> pages_;

  TCursorState state_ = TCursorState::BeforeFirst;
  bool synced_ = false;
  std::uint32_t leaf_ = 0;
  std::size_t slot_ = 0;  // 0-based entry of leaf_
  std::uint32_t record_ = 0;
  std::int32_t position_ = 0;
  std::vector<std::uint8_t> key_;
};

}  // namespace quire
