#pragma once
// TKeyComparer: the order of the keys of one index. compare(a, b, n) is -1, 0
// or 1 as key a comes before, equals or comes after key b over their first n
// bytes (n = K, or a shorter prefix for partial searches).
//
// Without a locale (and always for "Sys Deleted") keys are compared as
// unsigned bytes, which the key encoding made value order; a descending index
// negates the result. With a locale, string parts are compared by the table's
// collation and each field's result is negated for a descending field or
// index (such tables store descending fields plain); other parts and the
// auto-increment suffix stay byte comparisons.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "index/KeyLayout.h"

namespace quire {

// A table locale's string order: compares two texts of the given lengths
// (the bytes of a string key part, zero padded), giving -1, 0 or 1.
class TKeyCollation {
 public:
  virtual ~TKeyCollation() = default;
  virtual int Compare(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b,
                      std::size_t bLength) const = 0;
};

class TKeyComparer {
 public:
  // Ascending byte order.
  TKeyComparer() = default;

  // The order of the index `layout` describes. `collation` is the table's
  // locale order, or null for a table without a locale; it must outlive the
  // comparer. `sysDeleted` selects plain byte order whatever the locale.
  TKeyComparer(const TKeyLayout& layout, const TKeyCollation* collation, bool sysDeleted);

  int Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const {
    if (collation_ == nullptr) {
      const int r = std::memcmp(a, b, n);
      const int sign = (r > 0) - (r < 0);
      return descending_ ? -sign : sign;
    }
    return CompareByFields(a, b, n);
  }

 private:
  int CompareByFields(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const;

  const TKeyLayout* layout_ = nullptr;
  const TKeyCollation* collation_ = nullptr;
  bool descending_ = false;
};

}  // namespace quire
