#pragma once
// The key bounds of a comparison between the first field of an index and a
// constant, for the query optimiser's estimate of how many keys a condition
// selects.
//
// Bounds are whole keys in index order: the compared part (the first field's
// indicator, and its value for a value comparison) followed by the lowest
// (start) or highest (end) padding. Null keys never fall inside a value
// comparison: both bounds keep the indicator of a present value. A
// descending index or field reverses value order against index order, so
// "greater" becomes the keys before the constant there.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "index/KeyRange.h"

namespace quire {

enum class TKeyComparison : std::uint8_t {
  IsNull,
  IsNotNull,
  Equal,
  NotEqual,  // counted as the keys equal to the constant
  Greater,
  Less,
  GreaterOrEqual,
  LessOrEqual,
};

struct TKeyBounds {
  std::vector<std::uint8_t> start;
  std::vector<std::uint8_t> end;
  bool empty = false;  // no key can lie between them
};

// `constant` is the first key part of the constant as key building stores
// it (indicator and value; empty for no constant or a null one, which turn
// Equal into IsNull and NotEqual into IsNotNull); `nullIndicator` and
// `valueIndicator` are the stored indicator bytes of a null and of a
// present value. `prefix`, when nonzero, limits an equal comparison to the
// first `prefix` value bytes.
TKeyBounds ComparisonBounds(const TKeyOrder& order, const TCollationTable& collation,
                            TKeyComparison kind, std::span<const std::uint8_t> constant,
                            std::uint8_t nullIndicator, std::uint8_t valueIndicator,
                            std::size_t prefix);

}  // namespace quire
