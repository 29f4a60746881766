#include "index/CompressedLeaf.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/EngineError.h"
#include "index/LittleEndian.h"

namespace quire {

namespace {

constexpr std::size_t kRecordNumberSize = 4;
constexpr std::size_t kByteCountCap = 255;  // scheme 3 keeps each count in one byte

std::size_t CountLeadingEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  std::size_t n = 0;
  while (n < length && a[n] == b[n]) ++n;
  return n;
}

// Zero bytes at the end of key[from..to), counted backwards from `to`.
std::size_t CountTrailingZeros(const std::uint8_t* key, std::size_t from, std::size_t to) {
  std::size_t n = 0;
  while (to - n > from && key[to - n - 1] == 0) ++n;
  return n;
}

// Whether a scheme-3 entry stores the suffix apart from the key bytes. With
// fewer than 5 bytes after the equal prefix, the prefix already reaches into
// the suffix, so the remaining bytes are simply stored as they are.
bool Scheme3SeparateSuffix(const TLeafFormat& format, std::size_t leading) {
  return format.keySuffix && format.keySize - leading >= kKeySuffixSize + 1;
}

// The layout of one encoded entry once its counts are known.
struct TEntryShape {
  std::size_t countBytes = 0;  // 2 in every scheme (u16, or u8 + u8)
  std::size_t keyFrom = 0;     // first stored key byte
  std::size_t keyTo = 0;       // one past the last stored key byte
  bool separateSuffix = false;

  std::size_t Size() const {
    return countBytes + (keyTo - keyFrom) + (separateSuffix ? kKeySuffixSize : 0) +
           kRecordNumberSize;
  }
};

// The shape of an entry with these counts, or false when the counts cannot
// belong to a key of this format (a damaged page).
bool ShapeOf(const TLeafFormat& format, TCompressionCounts counts, TEntryShape& shape) {
  const std::size_t k = format.keySize;
  const std::size_t body = format.BodySize();
  const std::size_t p = counts.leading;
  const std::size_t t = counts.trailing;
  shape.countBytes = 2;
  switch (format.scheme) {
    case 1:
      if (t != 0 || p > k) return false;
      shape.keyFrom = p;
      shape.keyTo = k;
      shape.separateSuffix = false;
      return true;
    case 2:
      if (p != 0 || t > body) return false;
      shape.keyFrom = 0;
      shape.keyTo = body - t;
      shape.separateSuffix = format.keySuffix;
      return true;
    case 3:
      if (p > std::min(k, kByteCountCap) || t > kByteCountCap) return false;
      shape.keyFrom = p;
      shape.separateSuffix = Scheme3SeparateSuffix(format, p);
      if (format.keySuffix && !shape.separateSuffix) {
        if (t != 0) return false;
        shape.keyTo = k;
      } else {
        if (t > body - p) return false;
        shape.keyTo = body - t;
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

TCompressionCounts CompressionCounts(const TLeafFormat& format, const std::uint8_t* previousKey,
                                     const std::uint8_t* key) {
  const std::size_t k = format.keySize;
  const std::size_t body = format.BodySize();
  const std::size_t equal = previousKey ? CountLeadingEqual(previousKey, key, k) : 0;
  TCompressionCounts counts;
  switch (format.scheme) {
    case 1:
      counts.leading = static_cast<std::uint16_t>(equal);
      break;
    case 2:
      counts.trailing = static_cast<std::uint16_t>(CountTrailingZeros(key, 0, body));
      break;
    case 3: {
      const std::size_t p = std::min(equal, kByteCountCap);
      counts.leading = static_cast<std::uint16_t>(p);
      if (!format.keySuffix || Scheme3SeparateSuffix(format, p)) {
        counts.trailing =
            static_cast<std::uint16_t>(std::min(CountTrailingZeros(key, p, body), kByteCountCap));
      }
      break;
    }
    default:  // an unknown scheme is refused when the page is encoded
      break;
  }
  return counts;
}

std::size_t EncodedEntrySize(const TLeafFormat& format, TCompressionCounts counts) {
  TEntryShape shape;
  // Counts that no key of the format can have (an unknown scheme) are
  // measured as an uncompressed entry; encoding refuses them.
  if (!ShapeOf(format, counts, shape)) return format.keySize + 2 + kRecordNumberSize;
  return shape.Size();
}

std::size_t RefreshCompressionCounts(const TLeafFormat& format, std::span<std::uint8_t> entries,
                                     std::size_t count) {
  const TEntryLayout layout{format.keySize};
  assert(entries.size() >= count * layout.Stride());
  std::size_t total = 0;
  const std::uint8_t* previous = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* entry = entries.data() + i * layout.Stride();
    const TCompressionCounts counts = CompressionCounts(format, previous, entry);
    le::Store16(entry + layout.LeadingAt(), counts.leading);
    le::Store16(entry + layout.TrailingAt(), counts.trailing);
    total += EncodedEntrySize(format, counts);
    previous = entry;
  }
  return total;
}

std::size_t EncodeCompressedLeaf(const TLeafFormat& format, std::span<std::uint8_t> entries,
                                 std::size_t count, std::span<std::uint8_t> area,
                                 std::string_view fileName) {
  if (format.scheme < 1 || format.scheme > 3) RaiseEngineError(err::IndexPagesCorrupt, fileName);
  const std::size_t used = RefreshCompressionCounts(format, entries, count);
  if (used > area.size()) RaiseEngineError(err::IndexPagesCorrupt, fileName);

  const TEntryLayout layout{format.keySize};
  std::uint8_t* out = area.data();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = entries.data() + i * layout.Stride();
    const TCompressionCounts counts{le::Load16(entry + layout.LeadingAt()),
                                    le::Load16(entry + layout.TrailingAt())};
    TEntryShape shape;
    ShapeOf(format, counts, shape);
    switch (format.scheme) {
      case 1:
        le::Store16(out, counts.leading);
        break;
      case 2:
        le::Store16(out, counts.trailing);
        break;
      default:
        out[0] = static_cast<std::uint8_t>(counts.leading);
        out[1] = static_cast<std::uint8_t>(counts.trailing);
        break;
    }
    out += shape.countBytes;
    std::memcpy(out, entry + shape.keyFrom, shape.keyTo - shape.keyFrom);
    out += shape.keyTo - shape.keyFrom;
    if (shape.separateSuffix) {
      std::memcpy(out, entry + format.keySize - kKeySuffixSize, kKeySuffixSize);
      out += kKeySuffixSize;
    }
    std::memcpy(out, entry + layout.PointerAt(), kRecordNumberSize);
    out += kRecordNumberSize;
  }
  std::fill(area.begin() + static_cast<std::ptrdiff_t>(used), area.end(), std::uint8_t{0});
  return used;
}

void DecodeCompressedLeaf(const TLeafFormat& format, std::span<const std::uint8_t> area,
                          std::size_t used, std::size_t count, std::vector<std::uint8_t>& entries,
                          std::string_view fileName) {
  const auto corrupt = [&] { RaiseEngineError(err::IndexPagesCorrupt, fileName); };
  // Every entry takes at least its counts and its record number; checking
  // that first keeps a damaged count from sizing a huge buffer.
  if (used > area.size() || count > used / (2 + kRecordNumberSize)) corrupt();

  const TEntryLayout layout{format.keySize};
  entries.assign(count * layout.Stride(), 0);
  const std::uint8_t* in = area.data();
  const std::uint8_t* const end = in + used;
  const std::uint8_t* previous = nullptr;

  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* entry = entries.data() + i * layout.Stride();
    if (end - in < 2) corrupt();
    TCompressionCounts counts;
    switch (format.scheme) {
      case 1:
        counts.leading = le::Load16(in);
        break;
      case 2:
        counts.trailing = le::Load16(in);
        break;
      default:
        counts.leading = in[0];
        counts.trailing = in[1];
        break;
    }
    TEntryShape shape;
    if (!ShapeOf(format, counts, shape)) corrupt();
    // The first entry of a page has no previous key to take bytes from.
    if (counts.leading > 0 && previous == nullptr) corrupt();
    if (static_cast<std::size_t>(end - in) < shape.Size()) corrupt();
    in += shape.countBytes;

    if (counts.leading > 0) std::memcpy(entry, previous, counts.leading);
    std::memcpy(entry + shape.keyFrom, in, shape.keyTo - shape.keyFrom);
    in += shape.keyTo - shape.keyFrom;
    // The cut bytes stay zero: `entries` was zero-filled.
    if (shape.separateSuffix) {
      std::memcpy(entry + format.keySize - kKeySuffixSize, in, kKeySuffixSize);
      in += kKeySuffixSize;
    }
    std::memcpy(entry + layout.PointerAt(), in, kRecordNumberSize);
    in += kRecordNumberSize;
    le::Store16(entry + layout.LeadingAt(), counts.leading);
    le::Store16(entry + layout.TrailingAt(), counts.trailing);
    previous = entry;
  }
  if (in != end) corrupt();
}

}  // namespace quire
