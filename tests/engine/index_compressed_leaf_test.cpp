// Compressed leaf encoding: exact entry bytes for each scheme, the counts and
// their caps, round trips over the whole key size range, and damaged pages.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/EngineError.h"
#include "index/CompressedLeaf.h"
#include "index/PageEntry.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TTestEntry {
  Bytes key;
  std::uint32_t record;
};

// Builds the in-memory entry array (K + 12 bytes per entry) the codec works on.
Bytes EntryArray(const std::vector<TTestEntry>& entries, std::size_t keySize) {
  const TEntryLayout layout{keySize};
  Bytes out(entries.size() * layout.Stride(), 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::uint8_t* e = out.data() + i * layout.Stride();
    std::copy(entries[i].key.begin(), entries[i].key.end(), e);
    const std::uint32_t r = entries[i].record;
    e[keySize] = r & 0xFF;
    e[keySize + 1] = (r >> 8) & 0xFF;
    e[keySize + 2] = (r >> 16) & 0xFF;
    e[keySize + 3] = (r >> 24) & 0xFF;
  }
  return out;
}

Bytes Encode(const TLeafFormat& format, const std::vector<TTestEntry>& entries) {
  Bytes array = EntryArray(entries, format.keySize);
  Bytes area(kLeafAreaSize, 0xEE);
  const std::size_t used = EncodeCompressedLeaf(format, array, entries.size(), area, "t.IDX");
  area.resize(used);
  return area;
}

std::vector<TTestEntry> Decode(const TLeafFormat& format, const Bytes& encoded, std::size_t count) {
  Bytes area(kLeafAreaSize, 0);
  std::copy(encoded.begin(), encoded.end(), area.begin());
  Bytes array;
  DecodeCompressedLeaf(format, area, encoded.size(), count, array, "t.IDX");
  const TEntryLayout layout{format.keySize};
  EXPECT_EQ(array.size(), count * layout.Stride());
  std::vector<TTestEntry> out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = array.data() + i * layout.Stride();
    TTestEntry entry{Bytes(e, e + format.keySize), 0};
    entry.record = e[format.keySize] | (e[format.keySize + 1] << 8) |
                   (e[format.keySize + 2] << 16) |
                   (static_cast<std::uint32_t>(e[format.keySize + 3]) << 24);
    out.push_back(entry);
  }
  return out;
}

TErrorCode DecodeError(const TLeafFormat& format, const Bytes& area, std::size_t used,
                       std::size_t count) {
  Bytes array;
  try {
    DecodeCompressedLeaf(format, area, used, count, array, "t.IDX");
  } catch (const EQuireEngineError& e) {
    return e.Code();
  }
  return 0;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// --- Exact bytes of each scheme ---------------------------------------------

TEST(IndexCompressedLeaf, LeadingBytesSchemeStoresPrefixCountThenRestOfKey) {
  const TLeafFormat format{6, 1, false};
  const Bytes encoded = Encode(format, {{{1, 2, 3, 4, 5, 6}, 7}, {{1, 2, 3, 9, 0, 0}, 0x01020304}});
  const Bytes expected = Concat({{0, 0, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0},  // first: P = 0, whole key
                                 {3, 0, 9, 0, 0, 4, 3, 2, 1}});
  EXPECT_EQ(encoded, expected);
}

TEST(IndexCompressedLeaf, TrailingZeroSchemeCutsOnlyTheBody) {
  // Key body of 4 bytes plus a zero auto-increment suffix: the suffix is kept
  // even though it is all zero.
  const TLeafFormat format{8, 2, true};
  const Bytes encoded =
      Encode(format, {{{5, 6, 0, 0, 0, 0, 0, 0}, 1}, {{0, 0, 0, 0, 0x80, 0, 0, 1}, 2}});
  const Bytes expected = Concat({{2, 0, 5, 6, 0, 0, 0, 0, 1, 0, 0, 0},
                                 // an all-zero body is stored as T = K - 4 and no key bytes
                                 {4, 0, 0x80, 0, 0, 1, 2, 0, 0, 0}});
  EXPECT_EQ(encoded, expected);
}

TEST(IndexCompressedLeaf, TrailingZeroSchemeWithoutSuffixCutsWholeKey) {
  const TLeafFormat format{5, 2, false};
  const Bytes encoded = Encode(format, {{{0, 0, 0, 0, 0}, 9}, {{3, 0, 4, 0, 0}, 10}});
  EXPECT_EQ(encoded, Concat({{5, 0, 9, 0, 0, 0}, {2, 0, 3, 0, 4, 10, 0, 0, 0}}));
}

TEST(IndexCompressedLeaf, BothSchemeUsesOneByteCountsAndKeepsSuffix) {
  const TLeafFormat format{10, 3, true};  // 6-byte body + 4-byte suffix
  const Bytes first{1, 2, 3, 0, 0, 0, 0xA, 0xB, 0xC, 0xD};
  const Bytes second{1, 2, 7, 0, 0, 0, 0xA, 0xB, 0xC, 0xE};
  const Bytes encoded = Encode(format, {{first, 1}, {second, 2}});
  EXPECT_EQ(encoded, Concat({{0, 3, 1, 2, 3, 0xA, 0xB, 0xC, 0xD, 1, 0, 0, 0},
                             {2, 3, 7, 0xA, 0xB, 0xC, 0xE, 2, 0, 0, 0}}));
}

TEST(IndexCompressedLeaf, BothSchemeNeverCutsIntoTheEqualPrefix) {
  const TLeafFormat format{6, 3, false};
  // Equal keys: the second entry's prefix is the whole key, so no zero byte
  // is left for the trailing count.
  const Bytes encoded = Encode(format, {{{1, 0, 0, 0, 0, 0}, 1}, {{1, 0, 0, 0, 0, 0}, 2}});
  // First entry: P 0, T 5. Second: P 6 (whole key equal), T 0, no bytes.
  EXPECT_EQ(encoded, Concat({{0, 5, 1, 1, 0, 0, 0}, {6, 0, 2, 0, 0, 0}}));
}

TEST(IndexCompressedLeaf, BothSchemeWithSuffixAndShortRemainderStoresItWhole) {
  // K - P below 5: the prefix reaches into the suffix, nothing is cut and the
  // remaining key bytes are stored as they are.
  const TLeafFormat format{8, 3, true};
  const Bytes a{1, 2, 3, 4, 0, 0, 0, 1};
  const Bytes b{1, 2, 3, 4, 0, 0, 0, 2};  // equal for 7 bytes
  const Bytes c{1, 2, 3, 5, 0, 0, 0, 0};  // equal for 3 bytes: K - P = 5, suffix apart
  const Bytes encoded = Encode(format, {{a, 1}, {b, 2}, {c, 3}});
  EXPECT_EQ(encoded, Concat({{0, 0, 1, 2, 3, 4, 0, 0, 0, 1, 1, 0, 0, 0},
                             {7, 0, 2, 2, 0, 0, 0},
                             {3, 0, 5, 0, 0, 0, 0, 3, 0, 0, 0}}));
}

TEST(IndexCompressedLeaf, BothSchemeCapsCountsAt255) {
  const std::size_t k = 600;
  const TLeafFormat format{static_cast<std::uint16_t>(k), 3, false};
  Bytes a(k, 0x41), b(k, 0x41);
  b[400] = 0x42;  // 400 equal leading bytes
  Bytes c(k, 0);
  c[0] = 0x43;  // 599 zero bytes at the end
  const TLeafFormat counting = format;
  EXPECT_EQ(CompressionCounts(counting, a.data(), b.data()), (TCompressionCounts{255, 0}));
  EXPECT_EQ(CompressionCounts(counting, b.data(), c.data()), (TCompressionCounts{0, 255}));
  EXPECT_EQ(EncodedEntrySize(format, {255, 0}), k - 255 + 6);
  const Bytes encoded = Encode(format, {{a, 1}, {b, 2}, {c, 3}});
  EXPECT_EQ(encoded.size(), (k + 6) + (k - 255 + 6) + (k - 255 + 6));
  // The second entry starts with P = 255 and writes bytes 255.. in full.
  EXPECT_EQ(encoded[k + 6], 255);
  EXPECT_EQ(encoded[k + 7], 0);
  const auto decoded = Decode(format, encoded, 3);
  EXPECT_EQ(decoded[1].key, b);
  EXPECT_EQ(decoded[2].key, c);
}

TEST(IndexCompressedLeaf, UncappedSchemesCountBeyond255) {
  const std::size_t k = 600;
  Bytes a(k, 0x41), b(k, 0x41);
  b[500] = 0;
  const TLeafFormat leading{static_cast<std::uint16_t>(k), 1, false};
  EXPECT_EQ(CompressionCounts(leading, a.data(), b.data()).leading, 500);
  Bytes z(k, 0);
  z[0] = 1;
  const TLeafFormat trailing{static_cast<std::uint16_t>(k), 2, false};
  EXPECT_EQ(CompressionCounts(trailing, nullptr, z.data()).trailing, 599);
  EXPECT_EQ(EncodedEntrySize(trailing, {0, 599}), k - 599 + 6);
}

TEST(IndexCompressedLeaf, KeysDifferingOnlyInSuffixStayDistinct) {
  for (std::uint8_t scheme : {1, 2, 3}) {
    const TLeafFormat format{9, scheme, true};
    const Bytes a{7, 7, 7, 7, 7, 0x80, 0, 0, 1};
    const Bytes b{7, 7, 7, 7, 7, 0x80, 0, 0, 2};
    const auto decoded = Decode(format, Encode(format, {{a, 11}, {b, 12}}), 2);
    EXPECT_EQ(decoded[0].key, a) << int(scheme);
    EXPECT_EQ(decoded[1].key, b) << int(scheme);
    EXPECT_EQ(decoded[1].record, 12u);
  }
}

TEST(IndexCompressedLeaf, RefreshStoresCountsInTheEntries) {
  const TLeafFormat format{4, 3, false};
  Bytes array = EntryArray({{{1, 2, 0, 0}, 1}, {{1, 2, 3, 0}, 2}}, 4);
  const std::size_t used = RefreshCompressionCounts(format, array, 2);
  const TEntryLayout layout{4};
  const std::uint8_t* second = array.data() + layout.Stride();
  EXPECT_EQ(second[layout.LeadingAt()], 2);
  EXPECT_EQ(second[layout.TrailingAt()], 1);
  EXPECT_EQ(array[layout.TrailingAt()], 2);  // first entry: T 2
  EXPECT_EQ(used, (4 - 0 - 2 + 6) + (4 - 2 - 1 + 6));
}

// --- Round trips over key sizes -----------------------------------------------

// Keys that share prefixes and end in zero runs of varied lengths, sorted as
// a leaf holds them.
std::vector<TTestEntry> MakeKeys(std::size_t keySize, std::size_t count, std::mt19937& rng) {
  std::vector<TTestEntry> entries;
  Bytes previous(keySize, 0);
  for (std::size_t i = 0; i < count; ++i) {
    Bytes key = previous;
    const std::size_t from = rng() % keySize;
    for (std::size_t j = from; j < keySize; ++j) key[j] = static_cast<std::uint8_t>(rng());
    const std::size_t zeros = rng() % (keySize + 1);
    for (std::size_t j = keySize - zeros; j < keySize; ++j) key[j] = 0;
    if (rng() % 4 == 0) key = previous;  // equal keys happen in a codec test's input
    entries.push_back({key, static_cast<std::uint32_t>(rng())});
    previous = key;
  }
  return entries;
}

TEST(IndexCompressedLeaf, RoundTripsEverySchemeForKeysOf1To1040Bytes) {
  std::mt19937 rng(20240611);
  for (std::uint8_t scheme : {1, 2, 3}) {
    for (bool suffix : {false, true}) {
      for (std::size_t k : {1, 2, 4, 5, 6, 9, 40, 254, 255, 256, 257, 300, 511, 1036, 1040}) {
        if (suffix && k < 5) continue;
        const TLeafFormat format{static_cast<std::uint16_t>(k), scheme, suffix};
        // As many entries as are sure to fit uncompressed, at least one.
        const std::size_t count = std::max<std::size_t>(1, kLeafAreaSize / (k + 6));
        const auto entries = MakeKeys(k, count, rng);
        const Bytes encoded = Encode(format, entries);
        const auto decoded = Decode(format, encoded, entries.size());
        ASSERT_EQ(decoded.size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
          ASSERT_EQ(decoded[i].key, entries[i].key)
              << "scheme " << int(scheme) << " suffix " << suffix << " K " << k << " #" << i;
          ASSERT_EQ(decoded[i].record, entries[i].record);
        }
        // The sizes add up to the sum of the entry sizes the counts give.
        Bytes array = EntryArray(entries, k);
        EXPECT_EQ(RefreshCompressionCounts(format, array, entries.size()), encoded.size());
      }
    }
  }
}

TEST(IndexCompressedLeaf, EncodedAreaIsZeroAfterTheEntries) {
  const TLeafFormat format{4, 1, false};
  Bytes array = EntryArray({{{1, 2, 3, 4}, 1}}, 4);
  Bytes area(kLeafAreaSize, 0xEE);
  const std::size_t used = EncodeCompressedLeaf(format, array, 1, area, "t.IDX");
  EXPECT_EQ(used, 10u);
  for (std::size_t i = used; i < area.size(); ++i) ASSERT_EQ(area[i], 0) << i;
}

TEST(IndexCompressedLeaf, EntriesBeyond4083BytesRaise8965AndWriteNothing) {
  const std::size_t k = 1000;
  const TLeafFormat format{static_cast<std::uint16_t>(k), 2, false};
  std::vector<TTestEntry> entries;
  for (int i = 0; i < 5; ++i) entries.push_back({Bytes(k, static_cast<std::uint8_t>(i + 1)), 1});
  Bytes array = EntryArray(entries, k);
  Bytes area(kLeafAreaSize, 0xEE);
  try {
    EncodeCompressedLeaf(format, array, entries.size(), area, "/d/t.IDX");
    FAIL() << "no error";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), 8965);
    EXPECT_STREQ(e.what(),
                 "Quire Engine Error # 8965 Index page buffers corrupt in data file /d/t.IDX");
  }
  for (std::uint8_t b : area) ASSERT_EQ(b, 0xEE);
}

TEST(IndexCompressedLeaf, UnknownSchemesAreRefused) {
  const TLeafFormat format{4, 4, false};
  Bytes array = EntryArray({{{1, 2, 3, 4}, 1}}, 4);
  Bytes area(kLeafAreaSize, 0);
  try {
    EncodeCompressedLeaf(format, array, 1, area, "t.IDX");
    FAIL() << "no error";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), 8965);
  }
  area[0] = 0;
  EXPECT_EQ(DecodeError(format, area, 10, 1), 8965);
}

// --- Damaged pages -------------------------------------------------------------

TEST(IndexCompressedLeaf, DamagedEntriesRaise8965) {
  const TLeafFormat s1{6, 1, false};
  Bytes area(kLeafAreaSize, 0);
  const Bytes good = Encode(s1, {{{1, 2, 3, 4, 5, 6}, 7}, {{1, 2, 3, 9, 9, 9}, 8}});
  std::copy(good.begin(), good.end(), area.begin());
  EXPECT_EQ(DecodeError(s1, area, good.size(), 2), 0);
  EXPECT_EQ(DecodeError(s1, area, good.size() - 1, 2), 8965);  // last entry cut short
  EXPECT_EQ(DecodeError(s1, area, good.size() + 1, 2), 8965);  // bytes left over
  EXPECT_EQ(DecodeError(s1, area, good.size(), 3), 8965);      // count beyond the bytes
  EXPECT_EQ(DecodeError(s1, area, 4084, 2), 8965);             // more than a page holds
  EXPECT_EQ(DecodeError(s1, area, 4000, 65535), 8965);         // absurd count

  Bytes firstWithPrefix = area;
  firstWithPrefix[0] = 1;  // the first entry cannot copy from a previous key
  EXPECT_EQ(DecodeError(s1, firstWithPrefix, good.size(), 2), 8965);
  Bytes prefixTooLong = area;
  prefixTooLong[12] = 7;  // P 7 > K 6
  EXPECT_EQ(DecodeError(s1, prefixTooLong, good.size(), 2), 8965);

  const TLeafFormat s2{6, 2, true};  // body of 2 bytes
  Bytes trailing(kLeafAreaSize, 0);
  trailing[0] = 3;  // T 3 > body 2
  EXPECT_EQ(DecodeError(s2, trailing, 9, 1), 8965);

  const TLeafFormat s3{8, 3, true};
  Bytes cutIntoSuffix(kLeafAreaSize, 0);
  const Bytes third = Encode(s3, {{{1, 2, 3, 4, 0, 0, 0, 1}, 1}, {{1, 2, 3, 4, 0, 0, 0, 2}, 2}});
  std::copy(third.begin(), third.end(), cutIntoSuffix.begin());
  EXPECT_EQ(DecodeError(s3, cutIntoSuffix, third.size(), 2), 0);
  cutIntoSuffix[15] = 1;  // second entry (P 7) claims a cut: impossible with K - P < 5
  EXPECT_EQ(DecodeError(s3, cutIntoSuffix, third.size(), 2), 8965);
}

TEST(IndexCompressedLeaf, RandomDamageNeverReadsOutsideThePage) {
  std::mt19937 rng(7);
  for (std::uint8_t scheme : {1, 2, 3}) {
    for (bool suffix : {false, true}) {
      const TLeafFormat format{12, scheme, suffix};
      const auto entries = MakeKeys(12, 200, rng);
      const Bytes good = Encode(format, entries);
      for (int round = 0; round < 300; ++round) {
        // The area is exactly one page's entry bytes, so that the sanitizer
        // catches any read past it.
        Bytes area(kLeafAreaSize, 0);
        std::copy(good.begin(), good.end(), area.begin());
        for (int flips = 0; flips < 3; ++flips) area[rng() % good.size()] = rng();
        const std::size_t used = rng() % 2 ? good.size() : rng() % (kLeafAreaSize + 1);
        const TErrorCode code = DecodeError(format, area, used, 200 + rng() % 3 - 1);
        EXPECT_TRUE(code == 0 || code == 8965) << code;
      }
    }
  }
}

}  // namespace
}  // namespace quire
