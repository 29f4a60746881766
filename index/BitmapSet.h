#pragma once
// The bitmaps of bitmap mode: which records are live, which lie inside the
// key range, and the visible records that pass both and every active
// filter. Built from the keys of an index where a bitmap can be read off
// one, kept up to date record by record as records are added and removed,
// and built again only when the range, the filters or the index change.

#include <cstdint>
#include <span>

#include "index/IndexCursor.h"
#include "index/KeyRange.h"
#include "index/RecordBitmap.h"
#include "index/RecordFilters.h"

namespace quire {

// How a range bitmap is made: marking the keys inside the range, or marking
// the keys outside it and inverting. Auto takes the side with fewer keys
// when keys can be counted off by one (no locale).
enum class TRangeBuild : std::uint8_t { Auto, Direct, Complement };

// Marks in `out` (sized by the caller, cleared here) the records whose key
// of the scanner's index lies from `start` to `end` (whole keys). Records
// the complement would mark that are not in `live` stay clear, so both ways
// give the same bitmap. Restart: another user changed the file.
TMoveResult BuildRangeBitmap(TIndexCursor& scanner, const TKeyOrder& order,
                             std::span<const std::uint8_t> start, std::span<const std::uint8_t> end,
                             const TRecordBitmap& live, TRangeBuild how, TRecordBitmap& out);

// Marks in `out` (sized by the caller, cleared here) the live records, read
// off the "Sys Deleted" index the scanner is bound to: the keys of live
// records when they are fewer, else the complement of the deleted ones.
TMoveResult BuildLiveBitmap(TIndexCursor& scanner, TRecordBitmap& out);

class TBitmapSet {
 public:
  TRecordBitmap& Live() { return live_; }
  TRecordBitmap& Range() { return range_; }
  const TRecordBitmap& Visible() const { return visible_; }

  // Whether the range bitmap takes part in the visible records.
  bool RangeUsed() const { return rangeUsed_; }
  void SetRangeUsed(bool used) { rangeUsed_ = used; }

  bool LiveBuilt() const { return liveBuilt_; }
  bool RangeBuilt() const { return rangeBuilt_; }
  bool VisibleBuilt() const { return visibleBuilt_; }
  void MarkLiveBuilt() { liveBuilt_ = true; }
  void MarkRangeBuilt() { rangeBuilt_ = true; }
  // The visible records need combining again (a filter or the range
  // changed); the range bitmap too with `range`.
  void Recombine(bool range = false);

  // Frees every bitmap; everything is built again on the next use.
  void Drop();

  // Sizes every bitmap for `slots` record slots.
  void Resize(std::uint32_t slots);
  // visible = live AND range (when used) AND every active filter's bitmap.
  void Combine(const TRecordFilters& filters);

  // Record `number` was added (or changed): live, inside the range or not,
  // and tested afresh by every active filter whose bitmap is built.
  void RecordAdded(std::uint32_t number, std::span<const std::uint8_t> record, bool inRange,
                   const TRecordFilters& filters);
  // Record `number` is gone from every bitmap.
  void RecordRemoved(std::uint32_t number, const TRecordFilters& filters);

 private:
  TRecordBitmap live_;
  TRecordBitmap range_;
  TRecordBitmap visible_;
  bool rangeUsed_ = false;
  bool liveBuilt_ = false;
  bool rangeBuilt_ = false;
  bool visibleBuilt_ = false;
};

}  // namespace quire
