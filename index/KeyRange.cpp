#include "index/KeyRange.h"

#include <algorithm>

#include "index/IndexFile.h"

namespace quire {

TKeyOrder::TKeyOrder(const TIndexFile& file, std::uint8_t number)
    : number_(number),
      hasLocale_(file.Collation() != nullptr && number != kSysDeletedIndex),
      layout_(TKeyLayout::For(number, file.Descriptor(number), file.KeyFields(),
                              file.Collation() != nullptr)),
      comparer_(layout_, file.Collation(), number == kSysDeletedIndex) {}

std::vector<std::uint8_t> TKeyOrder::KeyOf(std::span<const std::uint8_t> record) const {
  std::vector<std::uint8_t> key(layout_.KeySize(), 0);
  layout_.Build(record, key);
  return key;
}

void PadKey(std::span<std::uint8_t> key, std::size_t from, const TKeyOrder& order,
            const TCollationTable& collation, bool high) {
  const TKeyLayout& layout = order.Layout();
  const bool indexReversed = layout.Descending();
  std::size_t p = 0;
  for (std::size_t i = 0; i < layout.PartCount() && p < key.size(); ++i) {
    const TKeyPart& part = layout.Part(i);
    const std::size_t width = std::min<std::size_t>(part.dataSize + 1u, key.size() - p);
    // Without a locale a descending field is stored complemented, so byte
    // order is already index order; under a locale it is compared negated.
    const bool reversed = indexReversed || (order.HasLocale() && part.descending);
    const bool top = high != reversed;
    const bool collated = order.HasLocale() && part.fieldType == kStringFieldType;
    for (std::size_t b = 0; b < width; ++b) {
      if (p + b < from) continue;
      const bool indicator = b == 0;
      key[p + b] =
          (collated && !indicator) ? (top ? collation[255] : collation[0]) : (top ? 0xFF : 0x00);
    }
    p += part.dataSize + 1u;
  }
  for (; p < key.size(); ++p) {
    if (p >= from) key[p] = (high != indexReversed) ? 0xFF : 0x00;
  }
}

bool IncrementKey(std::span<std::uint8_t> key) {
  for (std::size_t i = key.size(); i-- > 0;) {
    if (++key[i] != 0) return true;
  }
  return false;
}

bool DecrementKey(std::span<std::uint8_t> key) {
  for (std::size_t i = key.size(); i-- > 0;) {
    if (key[i]-- != 0) return true;
  }
  return false;
}

}  // namespace quire
