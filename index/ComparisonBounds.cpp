#include "index/ComparisonBounds.h"

#include <algorithm>

namespace quire {

namespace {

// Value order runs against index order on the first field of a descending
// index, and on a descending first field (stored complemented, or compared
// negated under a locale).
bool ValueReversed(const TKeyOrder& order) {
  return order.Layout().Descending() ||
         (order.Layout().PartCount() > 0 && order.Layout().Part(0).descending);
}

// Whether adding one to the part's bytes moves on in index order: byte
// order is index order unless the comparison itself is negated.
bool BytesAscend(const TKeyOrder& order) {
  return !(order.Layout().Descending() || (order.HasLocale() && order.Layout().PartCount() > 0 &&
                                           order.Layout().Part(0).descending));
}

TKeyComparison Mirror(TKeyComparison kind) {
  switch (kind) {
    case TKeyComparison::Greater:
      return TKeyComparison::Less;
    case TKeyComparison::Less:
      return TKeyComparison::Greater;
    case TKeyComparison::GreaterOrEqual:
      return TKeyComparison::LessOrEqual;
    case TKeyComparison::LessOrEqual:
      return TKeyComparison::GreaterOrEqual;
    default:
      return kind;
  }
}

}  // namespace

TKeyBounds ComparisonBounds(const TKeyOrder& order, const TCollationTable& collation,
                            TKeyComparison kind, std::span<const std::uint8_t> constant,
                            std::uint8_t nullIndicator, std::uint8_t valueIndicator,
                            std::size_t prefix) {
  if (constant.empty() && kind == TKeyComparison::Equal) kind = TKeyComparison::IsNull;
  if (constant.empty() && kind == TKeyComparison::NotEqual) kind = TKeyComparison::IsNotNull;
  const std::size_t k = order.KeySize();
  TKeyBounds bounds{std::vector<std::uint8_t>(k, 0), std::vector<std::uint8_t>(k, 0)};
  if (k == 0) {
    bounds.empty = true;
    return bounds;
  }
  std::size_t startLength = 1;
  std::size_t endLength = 1;
  const auto put = [&](std::vector<std::uint8_t>& key, std::span<const std::uint8_t> part) {
    std::copy_n(part.begin(), std::min(part.size(), key.size()), key.begin());
  };
  const auto step = [&](std::vector<std::uint8_t>& key, bool forward) {
    std::span<std::uint8_t> part(key.data(), std::min(constant.size(), key.size()));
    return forward == BytesAscend(order) ? IncrementKey(part) : DecrementKey(part);
  };
  bounds.start[0] = bounds.end[0] = valueIndicator;
  const TKeyComparison inIndexOrder = ValueReversed(order) ? Mirror(kind) : kind;
  switch (inIndexOrder) {
    case TKeyComparison::IsNull:
      bounds.start[0] = bounds.end[0] = nullIndicator;
      break;
    case TKeyComparison::IsNotNull:
      break;
    case TKeyComparison::Equal:
    case TKeyComparison::NotEqual:
      put(bounds.start, constant);
      put(bounds.end, constant);
      startLength = endLength =
          prefix != 0 ? std::min(prefix + 1, constant.size()) : constant.size();
      break;
    case TKeyComparison::Greater:  // the keys after the constant
      put(bounds.start, constant);
      bounds.empty = !step(bounds.start, true);
      startLength = constant.size();
      break;
    case TKeyComparison::GreaterOrEqual:
      put(bounds.start, constant);
      startLength = constant.size();
      break;
    case TKeyComparison::Less:  // the keys before the constant
      put(bounds.end, constant);
      bounds.empty = !step(bounds.end, false);
      endLength = constant.size();
      break;
    case TKeyComparison::LessOrEqual:
      put(bounds.end, constant);
      endLength = constant.size();
      break;
  }
  PadKey(bounds.start, std::min(startLength, k), order, collation, false);
  PadKey(bounds.end, std::min(endLength, k), order, collation, true);
  return bounds;
}

}  // namespace quire
