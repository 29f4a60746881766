#include "index/BitmapSet.h"

#include <algorithm>
#include <vector>

#include "index/IndexFile.h"

namespace quire {

namespace {

// The key that sorts first (`high` false) or last in the order of `order`.
std::vector<std::uint8_t> EdgeKey(const TKeyOrder& order, bool high) {
  const bool top = high != order.Layout().Descending();
  return std::vector<std::uint8_t>(order.KeySize(), top ? 0xFF : 0x00);
}

// One key on in index order (`forward`) or one key back, by byte
// arithmetic; false when there is none.
bool StepKey(std::vector<std::uint8_t>& key, const TKeyOrder& order, bool forward) {
  const bool up = forward != order.Layout().Descending();
  return up ? IncrementKey(key) : DecrementKey(key);
}

}  // namespace

TMoveResult BuildRangeBitmap(TIndexCursor& scanner, const TKeyOrder& order,
                             std::span<const std::uint8_t> start, std::span<const std::uint8_t> end,
                             const TRecordBitmap& live, TRangeBuild how, TRecordBitmap& out) {
  out.Clear();
  const std::size_t k = order.KeySize();
  if (how == TRangeBuild::Auto) {
    how = TRangeBuild::Direct;
    // Counting off by one on the key bytes is index order only when keys
    // compare as bytes: not under a locale's collation.
    if (!order.HasLocale()) {
      std::int32_t inside = 0;
      std::int32_t first = 0;
      std::int32_t total = 0;
      if (scanner.CountBetween(start, end, k, inside) == TMoveResult::Restart ||
          scanner.RangePositions(first, total) == TMoveResult::Restart)
        return TMoveResult::Restart;
      if (total - inside < inside) how = TRangeBuild::Complement;
    }
  }
  if (how == TRangeBuild::Direct) return scanner.MarkBetween(start, end, k, out);

  if (order.Compare(start.data(), end.data(), k) > 0) return TMoveResult::Ok;  // empty
  std::vector<std::uint8_t> beforeStart(start.begin(), start.end());
  if (StepKey(beforeStart, order, false) &&
      scanner.MarkBetween(EdgeKey(order, false), beforeStart, k, out) == TMoveResult::Restart)
    return TMoveResult::Restart;
  std::vector<std::uint8_t> afterEnd(end.begin(), end.end());
  if (StepKey(afterEnd, order, true) &&
      scanner.MarkBetween(afterEnd, EdgeKey(order, true), k, out) == TMoveResult::Restart)
    return TMoveResult::Restart;
  out.Invert();
  // Slots that hold no live record have no key and were marked by nothing.
  out.And(live);
  return TMoveResult::Ok;
}

TMoveResult BuildLiveBitmap(TIndexCursor& scanner, TRecordBitmap& out) {
  out.Clear();
  // Keys: the deleted flag (0 live, 1 deleted), then the auto-increment
  // value, 4 bytes.
  const std::vector<std::uint8_t> deletedLow{1, 0, 0, 0, 0};
  const std::vector<std::uint8_t> deletedHigh{1, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::vector<std::uint8_t> liveLow{0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> liveHigh{0, 0xFF, 0xFF, 0xFF, 0xFF};
  std::int32_t deleted = 0;
  std::int32_t first = 0;
  std::int32_t total = 0;
  if (scanner.CountBetween(deletedLow, deletedHigh, 5, deleted) == TMoveResult::Restart ||
      scanner.RangePositions(first, total) == TMoveResult::Restart)
    return TMoveResult::Restart;
  if (total - deleted < deleted) return scanner.MarkBetween(liveLow, liveHigh, 5, out);
  if (scanner.MarkBetween(deletedLow, deletedHigh, 5, out) == TMoveResult::Restart)
    return TMoveResult::Restart;
  out.Invert();
  return TMoveResult::Ok;
}

void TBitmapSet::Recombine(bool range) {
  visibleBuilt_ = false;
  if (range) rangeBuilt_ = false;
}

void TBitmapSet::Drop() {
  live_ = TRecordBitmap();
  range_ = TRecordBitmap();
  visible_ = TRecordBitmap();
  liveBuilt_ = rangeBuilt_ = visibleBuilt_ = false;
}

void TBitmapSet::Resize(std::uint32_t slots) {
  live_.Resize(slots);
  range_.Resize(slots);
  visible_.Resize(slots);
}

void TBitmapSet::Combine(const TRecordFilters& filters) {
  visible_ = live_;
  if (rangeUsed_) visible_.And(range_);
  for (const auto& filter : filters.All()) {
    if (filter->active) visible_.And(filter->passed);
  }
  visibleBuilt_ = true;
}

void TBitmapSet::RecordAdded(std::uint32_t number, std::span<const std::uint8_t> record,
                             bool inRange, const TRecordFilters& filters) {
  bool visible = true;
  live_.Set(number, true);
  if (rangeUsed_) {
    range_.Set(number, inRange);
    visible = inRange;
  }
  for (const auto& filter : filters.All()) {
    if (!filter->built) continue;
    filter->passed.Resize(std::max(filter->passed.Slots(), live_.Slots()));
    const bool passed = filter->test(record, number);
    filter->passed.Set(number, passed);
    if (filter->active) visible = visible && passed;
  }
  visible_.Set(number, visible);
}

void TBitmapSet::RecordRemoved(std::uint32_t number, const TRecordFilters& filters) {
  live_.Set(number, false);
  range_.Set(number, false);
  visible_.Set(number, false);
  for (const auto& filter : filters.All()) filter->passed.Set(number, false);
}

}  // namespace quire
