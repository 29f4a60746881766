#pragma once
// How a page keeps its entries in memory. Pages stay decoded while cached;
// compression is applied only when a page is written and undone when it is
// read. Every entry, of any page type, takes K + 12 bytes:
//   0      K  key
//   K      4  pointer: child page offset (node) or record number (leaf)
//   K + 4  4  number of keys in the child's subtree (nodes only)
//   K + 8  2  leading key bytes equal to the previous entry's  } compressed
//   K + 10 2  trailing zero bytes cut from the key body         } leaves only
// The integers are little-endian like everything else in the engine.

#include <cstddef>
#include <cstdint>

namespace quire {

struct TEntryLayout {
  std::size_t keySize = 0;

  constexpr std::size_t Stride() const { return keySize + 12; }
  constexpr std::size_t PointerAt() const { return keySize; }
  constexpr std::size_t SubtreeCountAt() const { return keySize + 4; }
  constexpr std::size_t LeadingAt() const { return keySize + 8; }
  constexpr std::size_t TrailingAt() const { return keySize + 10; }
};

}  // namespace quire
