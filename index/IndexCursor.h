#pragma once
// TIndexCursor: a position in one index of a table's index file, the moves
// over its keys in index order, an optional key range and an optional set of
// visible records.
//
// The cursor reads the index's pages itself (decoded, through TPage) and
// keeps copies of the pages it read until Invalidate. So the owner must make
// sure that the file holds every page the index file changed before the
// cursor reads (the data file writes the index file's pages back first) and
// must invalidate the cursor after every change of the index. The page
// reader it is given is asked before each read from the file; when it
// reports that another user changed the table, the operation stops with
// Restart and the owner repositions (Resync) and tries again. Nothing a
// Restart interrupted needs undoing: every walk starts again from the root.
//
// States: before the first key, on a key, after the last key. Next from
// before-first goes to the first key and Prior from after-last to the last;
// moving past an edge leaves the cursor before-first or after-last. Every
// key of an index is distinct (equal field values carry the record's
// auto-increment value as a suffix), so a key names one entry.
//
// Range: keys from a start key to an end key (whole keys, compared over K
// bytes). Its first and last positions are found by one descent each
// through the subtree counts, so counting and jumping never walk the
// leaves; positions reported to callers count from the range's first key.
// Visible records: when the owner supplies a bitmap, moves skip the entries
// whose record is not in it (positions still count every key).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "index/KeyRange.h"
#include "index/Page.h"
#include "index/RecordBitmap.h"

namespace quire {

class TIndexFile;

enum class TCursorState : std::uint8_t { BeforeFirst, OnKey, AfterLast };

enum class TMoveResult : std::uint8_t { Ok, Restart };

class TIndexCursor {
 public:
  // Called before the cursor reads a page from the file; returns false when
  // the table was changed by another user (the move then restarts).
  using TBeforeRead = std::function<bool()>;
  // Called at the start of every move: the records the cursor may stop on,
  // or null when every record is visible. The bitmap must stay unchanged
  // until the move returns.
  using TVisibleRecords = std::function<const TRecordBitmap*()>;

  TIndexCursor(TIndexFile& index, TBeforeRead beforeRead);
  ~TIndexCursor();

  // Works on index `number` from now on instead of the index file's
  // current index (a scanner of another index than the one being walked).
  void BindIndex(std::uint8_t number);
  void SetVisibleRecords(TVisibleRecords visible) { visible_ = std::move(visible); }

  // Forgets the pages read so far; the position is kept as a key and found
  // again by the next Resync. Range positions are computed again.
  void Invalidate();
  // Before the first key, nothing cached, no range (after the index
  // changed, or another index was selected).
  void Reset();

  TCursorState State() const { return state_; }
  // The record number and key of the entry the cursor is on (0 / empty when
  // it is on none).
  std::uint32_t Record() const { return state_ == TCursorState::OnKey ? record_ : 0; }
  std::span<const std::uint8_t> Key() const { return key_; }
  // 1-based rank of the key within the range (within the index without
  // one); 0 when not on a key or not yet known after an invalidation.
  std::int32_t Position() const;

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

  // --- Moves (all honour the range and the visible records) -----------------

  // On the first / last visible key; after-last / before-first when none.
  TMoveResult First();
  TMoveResult Last();
  // One visible entry forward or backward; past the edge the cursor is
  // after-last / before-first.
  TMoveResult Next();
  TMoveResult Prior();
  // Moves `count` visible entries (backward when negative), stopping at an
  // edge.
  TMoveResult MoveBy(std::int32_t count);
  // Positions on the first visible key equal to or after `key` over its
  // first `length` bytes; after-last when there is none. `found` tells
  // whether that key equals `key` over `length`.
  TMoveResult Seek(std::span<const std::uint8_t> key, std::size_t length, bool& found);
  // Seek with the choices of a find: without `nearest` a key that is not
  // equal leaves the cursor where it was. With `keepEdges` a cursor that was
  // before-first (after-last) stays so when the key found is the first
  // (last) visible key: the owner re-finding its record keeps its edge.
  TMoveResult Find(std::span<const std::uint8_t> key, std::size_t length, bool nearest,
                   bool keepEdges, bool& found);
  // Positions on the n-th key of the range (1-based); before-first below 1,
  // after-last above the count. When that key's record is not visible, on
  // the next visible one, else the previous one, else after-last.
  TMoveResult JumpTo(std::int32_t position);
  // Finds the entry the cursor was on again, after Invalidate. When it is
  // gone, or no longer inside the range or visible, the cursor is on the
  // next visible key (or after-last) and `exact` is false.
  TMoveResult Resync(bool& exact);
  // Whether the cursor's pages are the ones it read (no Resync needed).
  bool Synced() const { return synced_ || state_ != TCursorState::OnKey; }

  // How many of the next `limit` entries from the cursor (itself included)
  // in the direction of travel hold consecutive record numbers, within the
  // cursor's page, the range and the visible records; 1 when nothing is
  // known.
  std::size_t ContiguousRun(bool forward, std::size_t limit) const;

  // --- Range ----------------------------------------------------------------

  // Limits the cursor to the keys from `start` to `end` (K bytes each, as
  // the index orders them) and parks it before the first. The range belongs
  // to the index the cursor works on when it is set.
  void SetRange(std::span<const std::uint8_t> start, std::span<const std::uint8_t> end);
  // Back to the whole index: start all 0x00, end all 0xFF, inactive.
  void CancelRange();
  bool RangeActive() const { return range_.has_value(); }
  std::span<const std::uint8_t> RangeStart() const;
  std::span<const std::uint8_t> RangeEnd() const;
  // The index ranks of the range's first and last keys (0 when it has
  // none), and how many keys it holds.
  TMoveResult RangePositions(std::int32_t& first, std::int32_t& last);
  // Visible records: the visible bitmap's count when there is one, else the
  // keys of the range (of the index without one).
  TMoveResult VisibleCount(std::int32_t& count);

  // --- Counting and marking (no range, no visibility) -----------------------

  // The keys before `key` over `length` bytes (with `inclusive`: not after
  // it), found in one descent.
  TMoveResult CountBefore(std::span<const std::uint8_t> key, std::size_t length, bool inclusive,
                          std::int32_t& count);
  // The keys from `start` to `end` over `length` bytes: 0 when start is
  // after end.
  TMoveResult CountBetween(std::span<const std::uint8_t> start, std::span<const std::uint8_t> end,
                           std::size_t length, std::int32_t& count);
  // Sets the bits of the records of every key from `start` to `end` over
  // `length` bytes. Moves the cursor.
  TMoveResult MarkBetween(std::span<const std::uint8_t> start, std::span<const std::uint8_t> end,
                          std::size_t length, TRecordBitmap& bitmap);
  // Key size and order of the index the cursor works on.
  std::uint16_t KeySize() const;
  int Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const;

 private:
  struct TRange {
    std::vector<std::uint8_t> start;
    std::vector<std::uint8_t> end;
    bool known = false;  // positions computed since the last invalidation
    std::int32_t first = 0;
    std::int32_t last = 0;
  };

  std::uint8_t Number() const;
  const TPage* Fetch(std::uint32_t offset);
  // The root page of the index, checked for others' changes unless it is
  // cached; false when the table changed.
  bool Root(std::uint32_t& offset);
  void Park(TCursorState state);
  void TakeEntry(const TPage& leaf, std::size_t slot, std::int32_t position);
  void TrimPages();
  // Range positions and the visible bitmap for the move about to start.
  TMoveResult Prepare();
  bool Ranged() const { return range_.has_value(); }
  bool RangeEmpty() const;
  bool Visible(std::uint32_t record) const;

  // Moves over every key, ignoring range and visibility.
  TMoveResult RawEdge(bool first);
  TMoveResult RawNext();
  TMoveResult RawPrior();
  TMoveResult RawSeek(std::span<const std::uint8_t> key, std::size_t length);
  // Descends from the root page `root` to the leaf where `key` (its first
  // `length` bytes) stands. `leaf` is that leaf, `before` the number of its
  // entries before the key (or not after it, when `inclusive`), `rank` the
  // number of keys in the leaves to its left. Restart when another user's
  // change was found on the way.
  TMoveResult DescendToLeaf(std::uint32_t root, std::span<const std::uint8_t> key,
                            std::size_t length, bool inclusive, const TPage*& leaf,
                            std::size_t& before, std::int32_t& rank);
  TMoveResult RawJump(std::int32_t rank);
  // Finds the cursor's key again from the root; `exact` when the same entry
  // is still there (else the cursor is on what followed it).
  TMoveResult RawFindAgain(bool& exact);
  // From a raw landing, on to the nearest entry inside the range whose
  // record is visible, in the direction of travel.
  TMoveResult Settle(bool forward);
  // Whether no visible entry of the range lies beyond the cursor in the
  // given direction; the cursor is left where it was.
  TMoveResult AtVisibleEdge(bool forward, bool& edge);
  // Keys in the whole index.
  TMoveResult KeyCount(std::int32_t& count);

  TIndexFile& index_;
  TBeforeRead beforeRead_;
  TVisibleRecords visible_;
  const TRecordBitmap* visibleNow_ = nullptr;
  std::unordered_map<std::uint32_t, std::unique_ptr<TPage>> pages_;
  std::unique_ptr<TKeyOrder> bound_;  // set by BindIndex
  std::optional<TRange> range_;

  TCursorState state_ = TCursorState::BeforeFirst;
  bool synced_ = false;
  std::uint32_t leaf_ = 0;
  std::size_t slot_ = 0;  // 0-based entry of leaf_
  std::uint32_t record_ = 0;
  std::int32_t position_ = 0;  // rank in the whole index
  std::vector<std::uint8_t> key_;
};

}  // namespace quire
