#pragma once
// Bounds of key ranges: the order of one index as a self-contained object,
// the padding of partial keys to full bounds, and one-step key arithmetic.
//
// A range bound is a whole K-byte key. A caller that knows only the leading
// part of a key (the first fields, or a prefix of them) pads the rest so that
// the bound sorts before (low) or after (high) every key sharing that part.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "index/KeyComparer.h"
#include "index/KeyLayout.h"

namespace quire {

class TIndexFile;

// How the keys of one index are built and ordered, independent of which
// index the index file has selected. Not copyable: the comparer points at
// the layout.
class TKeyOrder {
 public:
  // The order of index `number` (0..31) of the open `file`, with its fields
  // and collation as they stand now.
  TKeyOrder(const TIndexFile& file, std::uint8_t number);
  TKeyOrder(const TKeyOrder&) = delete;
  TKeyOrder& operator=(const TKeyOrder&) = delete;

  std::uint8_t Number() const { return number_; }
  const TKeyLayout& Layout() const { return layout_; }
  std::uint16_t KeySize() const { return layout_.KeySize(); }
  bool HasLocale() const { return hasLocale_; }
  int Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const {
    return comparer_.Compare(a, b, n);
  }
  // The key of a record buffer (K bytes).
  std::vector<std::uint8_t> KeyOf(std::span<const std::uint8_t> record) const;

 private:
  std::uint8_t number_;
  bool hasLocale_;
  TKeyLayout layout_;
  TKeyComparer comparer_;
};

// The byte values sorted by the table's string order (identity without a
// locale): entry 0 sorts lowest, entry 255 highest.
using TCollationTable = std::array<std::uint8_t, 256>;

// Fills key[from, K) with the lowest (`high` false) or highest value of each
// key part in index order: the indicator byte 0x00 / 0xFF and the value bytes
// 0x00 / 0xFF, or for a string part of a table with a locale the first /
// last entry of `collation`. Parts that sort reversed (a descending index,
// or a descending field compared under a locale) get the other end; so do
// the bytes after the last part, for a descending index. A part cut by
// `from` keeps its leading bytes.
void PadKey(std::span<std::uint8_t> key, std::size_t from, const TKeyOrder& order,
            const TCollationTable& collation, bool high);

// Adds (or subtracts) one to the key read as a big-endian number. Returns
// false, leaving the key at its wrapped value, when it was already all 0xFF
// (all 0x00): there is no next (previous) key.
bool IncrementKey(std::span<std::uint8_t> key);
bool DecrementKey(std::span<std::uint8_t> key);

}  // namespace quire
