#include "index/KeyComparer.h"

#include <algorithm>

namespace quire {

namespace {

int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  const int r = std::memcmp(a, b, n);
  return (r > 0) - (r < 0);
}

}  // namespace

TKeyComparer::TKeyComparer(const TKeyLayout& layout, const TKeyCollation* collation,
                           bool sysDeleted)
    : layout_(&layout),
      collation_(sysDeleted ? nullptr : collation),
      descending_(layout.Descending()) {}

int TKeyComparer::CompareByFields(const std::uint8_t* a, const std::uint8_t* b,
                                  std::size_t n) const {
  std::size_t p = 0;
  int result = 0;
  for (std::size_t i = 0; i < layout_->PartCount() && result == 0 && p < n; ++i) {
    const TKeyPart& part = layout_->Part(i);
    const std::size_t width = part.dataSize + 1u;
    if (part.fieldType == kStringFieldType) {
      result = CompareBytes(a + p, b + p, 1);  // the null indicator
      if (result == 0 && p + 1 < n) {
        const std::size_t length = std::min<std::size_t>(part.dataSize, n - p - 1);
        result = collation_->Compare(a + p + 1, length, b + p + 1, length);
      }
    } else {
      result = CompareBytes(a + p, b + p, std::min(width, n - p));
    }
    if (descending_ || part.descending) result = -result;
    p += width;
  }
  if (result == 0 && p < n) {
    // The auto-increment suffix of a non-unique secondary index.
    result = CompareBytes(a + p, b + p, n - p);
    if (descending_) result = -result;
  }
  return result;
}

}  // namespace quire
