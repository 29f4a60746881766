// Index pages: the page image of each page type, free pages, capacities,
// damaged images, and pages read from and written to the file, enciphered on
// encrypted tables.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexFile.h"
#include "index/Page.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, kPageSize>;

std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

Bytes Key(std::size_t size, std::uint8_t fill, std::uint8_t last = 0) {
  Bytes key(size, fill);
  key.back() = last;
  return key;
}

using quire::testing::CodeOf;

TEST(IndexPage, NodeImage) {
  TPage page(TPageFormat{0, 3, 0, false});
  page.SetType(TPageType::RootNode);
  page.SetLeft(0x1000);
  page.SetRight(0x2000);
  page.Insert(0, Bytes{1, 2, 3}, 0x3000, 70);
  page.Insert(0, Bytes{0, 0, 1}, 0x4000, -1);  // before the first
  Image image;
  image.fill(0xEE);
  page.EncodeTo(image, "t.IDX");
  const Bytes header(image.begin(), image.begin() + 13);
  EXPECT_EQ(header, (Bytes{0, 2, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 0}));
  const Bytes entries(image.begin() + 13, image.begin() + 13 + 22);
  EXPECT_EQ(entries, (Bytes{0, 0, 1, 0, 0x40, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,  //
                            1, 2, 3, 0, 0x30, 0, 0, 70,   0,    0,    0}));
  for (std::size_t i = 13 + 22; i < kPageSize; ++i) ASSERT_EQ(image[i], 0) << i;

  TPage copy(page.Format());
  copy.DecodeFrom(image, "t.IDX");
  ASSERT_EQ(copy.Count(), 2u);
  EXPECT_EQ(copy.Type(), TPageType::RootNode);
  EXPECT_EQ(copy.Right(), 0x2000u);
  EXPECT_EQ(Bytes(copy.Key(1).begin(), copy.Key(1).end()), (Bytes{1, 2, 3}));
  EXPECT_EQ(copy.Pointer(0), 0x4000u);
  EXPECT_EQ(copy.SubtreeCount(0), -1);
  EXPECT_EQ(copy.SubtreeCount(1), 70);
}

TEST(IndexPage, UncompressedLeafImageHoldsKeyAndRecordNumber) {
  TPage page(TPageFormat{31, 5, 0, false});
  page.SetType(TPageType::Leaf);
  page.Insert(0, Bytes{0, 0x80, 0, 0, 1}, 1);
  page.Insert(1, Bytes{1, 0x80, 0, 0, 2}, 258);
  page.SetSubtreeCount(1, 99);  // meaningless in a leaf, never written
  Image image;
  page.EncodeTo(image, "t.IDX");
  EXPECT_EQ(image[0], 2);
  EXPECT_EQ(U16(&image[1]), 2);
  EXPECT_EQ(U16(&image[11]), 0) << "used bytes are 0 outside compressed leaves";
  EXPECT_EQ(Bytes(image.begin() + 13, image.begin() + 31),
            (Bytes{0, 0x80, 0, 0, 1, 1, 0, 0, 0, 1, 0x80, 0, 0, 2, 2, 1, 0, 0}));
  EXPECT_EQ(image[31], 0);
}

TEST(IndexPage, CompressedLeafImageRecordsUsedBytes) {
  TPage page(TPageFormat{1, 8, 1, true});
  page.SetType(TPageType::RootLeaf);
  page.Insert(0, Bytes{1, 2, 3, 4, 0x80, 0, 0, 1}, 5);
  page.Insert(1, Bytes{1, 2, 3, 4, 0x80, 0, 0, 2}, 6);
  Image image;
  page.EncodeTo(image, "t.IDX");
  EXPECT_EQ(image[0], 3);
  EXPECT_EQ(U16(&image[1]), 2);
  EXPECT_EQ(U16(&image[11]), 14 + 7);
  EXPECT_EQ(page.UsedBytes(), 21);
  EXPECT_EQ(page.Counts(1), (TCompressionCounts{7, 0}));
  // Second entry: P 7, the one differing byte, the record number.
  EXPECT_EQ(Bytes(image.begin() + 13 + 14, image.begin() + 13 + 21), (Bytes{7, 0, 2, 6, 0, 0, 0}));

  TPage copy(page.Format());
  copy.DecodeFrom(image, "t.IDX");
  ASSERT_EQ(copy.Count(), 2u);
  EXPECT_EQ(Bytes(copy.Key(1).begin(), copy.Key(1).end()), (Bytes{1, 2, 3, 4, 0x80, 0, 0, 2}));
  EXPECT_EQ(copy.Pointer(1), 6u);
}

TEST(IndexPage, NodesOfACompressedIndexAreNotCompressed) {
  TPage page(TPageFormat{2, 4, 3, false});
  page.SetType(TPageType::Node);
  page.Insert(0, Bytes{0, 0, 0, 0}, 0x1000, 3);
  Image image;
  page.EncodeTo(image, "t.IDX");
  EXPECT_EQ(U16(&image[11]), 0);
  EXPECT_EQ(Bytes(image.begin() + 13, image.begin() + 25),
            (Bytes{0, 0, 0, 0, 0, 0x10, 0, 0, 3, 0, 0, 0}));
}

TEST(IndexPage, FreePageKeepsTypeLeftAndUsedBytes) {
  TPage page(TPageFormat{1, 8, 2, true});
  page.SetType(TPageType::Leaf);
  page.SetLeft(0x3000);
  page.Insert(0, Bytes{9, 9, 9, 9, 0x80, 0, 0, 1}, 5);
  Image image;
  page.EncodeTo(image, "t.IDX");
  const std::uint16_t used = U16(&image[11]);
  ASSERT_GT(used, 0);

  page.SetFree(true);
  page.SetRight(0x5000);  // next page of the free chain
  page.EncodeTo(image, "t.IDX");
  EXPECT_EQ(image[0], 2);
  EXPECT_EQ(U16(&image[1]), 0);
  EXPECT_EQ(U32(&image[3]), 0x3000u);
  EXPECT_EQ(U32(&image[7]), 0x5000u);
  EXPECT_EQ(U16(&image[11]), used);
  for (std::size_t i = 13; i < kPageSize; ++i) ASSERT_EQ(image[i], 0) << i;

  // Read back, a free page is an empty page with the same fields.
  TPage copy(page.Format());
  copy.DecodeFrom(image, "t.IDX");
  EXPECT_EQ(copy.Count(), 0u);
  EXPECT_EQ(copy.UsedBytes(), used);
  EXPECT_EQ(copy.Left(), 0x3000u);
}

TEST(IndexPage, Capacities) {
  TPage big(TPageFormat{1, 1040, 0, true});
  big.SetType(TPageType::RootNode);
  EXPECT_EQ(big.Capacity(), 3u);  // 4083 div 1050
  big.SetType(TPageType::Leaf);
  EXPECT_EQ(big.Capacity(), 3u);  // 4083 div 1046

  TPage small(TPageFormat{31, 5, 0, false});
  small.SetType(TPageType::Node);
  EXPECT_EQ(small.Capacity(), 272u);  // 4083 div 15
  small.SetType(TPageType::RootLeaf);
  EXPECT_EQ(small.Capacity(), 371u);  // 4083 div 11
  for (std::uint32_t i = 0; i < 371; ++i) small.Insert(i, Bytes{0, 0, 0, 0, 1}, i);
  EXPECT_FALSE(small.Overflows());
  small.Insert(371, Bytes{0, 0, 0, 0, 2}, 371);
  EXPECT_TRUE(small.Overflows());
  // Over the split limit but still inside the page: it can be written.
  Image image;
  small.EncodeTo(image, "t.IDX");
  EXPECT_EQ(U16(&image[1]), 372);
}

TEST(IndexPage, CompressedLeafOverflowsByBytes) {
  TPage page(TPageFormat{0, 100, 1, false});
  page.SetType(TPageType::RootLeaf);
  // Keys sharing 99 bytes take 7 bytes each after the first.
  for (std::uint32_t i = 0; i < 500; ++i) {
    page.Insert(i, Key(100, 0x41, static_cast<std::uint8_t>(i)), i);
  }
  EXPECT_EQ(page.EncodedBytes(), 106u + 499u * 7u);
  EXPECT_FALSE(page.Overflows()) << "more entries than 4083 div (K + 6), yet it fits";
  for (std::uint32_t i = 0; i < 10; ++i) {
    page.Insert(page.Count(), Key(100, static_cast<std::uint8_t>(0x50 + i), 1), 1000 + i);
  }
  EXPECT_TRUE(page.Overflows());
  Image image;
  EXPECT_EQ(CodeOf([&] { page.EncodeTo(image, "t.IDX"); }), 8965);
}

TEST(IndexPage, DamagedImagesRaise8965AndLeaveThePageAlone) {
  TPage page(TPageFormat{0, 4, 0, false});
  page.SetType(TPageType::Leaf);
  page.Insert(0, Bytes{1, 2, 3, 4}, 7);

  Image bad{};
  bad[0] = 4;  // no such page type
  EXPECT_EQ(CodeOf([&] { page.DecodeFrom(bad, "t.IDX"); }), 8965);
  bad[0] = 1;
  bad[1] = 0x55;
  bad[2] = 0x01;  // 341 node entries of 12 bytes need 4092 of the 4083 bytes
  EXPECT_EQ(CodeOf([&] { page.DecodeFrom(bad, "t.IDX"); }), 8965);
  bad[0] = 2;
  bad[1] = 0xFF;
  bad[2] = 0x02;  // 767 leaf entries of 8 bytes
  EXPECT_EQ(CodeOf([&] { page.DecodeFrom(bad, "t.IDX"); }), 8965);

  TPage compressed(TPageFormat{0, 4, 3, false});
  Image damaged{};
  damaged[0] = 3;
  damaged[1] = 1;
  damaged[11] = 0xFF;
  damaged[12] = 0xFF;  // used bytes beyond the page
  EXPECT_EQ(CodeOf([&] { compressed.DecodeFrom(damaged, "t.IDX"); }), 8965);

  EXPECT_EQ(page.Type(), TPageType::Leaf);
  ASSERT_EQ(page.Count(), 1u);
  EXPECT_EQ(page.Pointer(0), 7u);
}

TEST(IndexPage, PinsStopAt64) {
  TPage page(TPageFormat{0, 4, 0, false});
  for (int i = 0; i < kMaxPagePins; ++i) ASSERT_TRUE(page.Pin());
  EXPECT_FALSE(page.Pin());
  EXPECT_EQ(page.PinCount(), 64);
  page.Unpin();
  EXPECT_EQ(page.PinCount(), 63);
  page.ResetPins();
  EXPECT_EQ(page.PinCount(), 0);
}

TEST(IndexPage, FormatCarriesTheSuffixOnlyForNonUniqueSecondaryIndexes) {
  TIndexDescriptor d;
  d.KeySize = 9;
  EXPECT_FALSE(TPageFormat::For(0, d).keySuffix);
  EXPECT_TRUE(TPageFormat::For(1, d).keySuffix);
  EXPECT_TRUE(TPageFormat::For(30, d).keySuffix);
  EXPECT_FALSE(TPageFormat::For(31, d).keySuffix);
  d.Unique = 1;
  EXPECT_FALSE(TPageFormat::For(5, d).keySuffix);
}

// --- Pages in the file ------------------------------------------------------------

class IndexPageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-page-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  Bytes FileBytes(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
};

TEST_F(IndexPageFileTest, PagesAreWrittenAtTheirOffsetEncipheredOnEncryptedTables) {
  for (bool encrypted : {false, true}) {
    TIndexFile file;
    file.SetFileName(dir_ + "/t");
    file.SetExclusive(true);
    file.SetEncrypted(encrypted);
    file.Create();

    TPage page(TPageFormat{0, 6, 3, false});
    page.Reset(8192);
    page.SetType(TPageType::Leaf);
    page.SetLeft(4096);
    for (std::uint32_t i = 0; i < 40; ++i) {
      page.Insert(i, Bytes{1, 2, static_cast<std::uint8_t>(i), 0, 0, 0}, i + 1);
    }
    EXPECT_TRUE(page.Modified());
    page.Write(file, encrypted);
    EXPECT_FALSE(page.Modified());

    Image plain;
    page.EncodeTo(plain, file.FileName());
    const Bytes bytes = FileBytes(file.FileName());
    ASSERT_EQ(bytes.size(), 8192u + kPageSize);
    for (std::size_t i = 0; i < kPageSize; ++i) {
      const std::uint8_t key =
          encrypted ? static_cast<std::uint8_t>(((0x3B + i) & 0xFF) ^ ((0xA6 - i) & 0xFF)) : 0;
      ASSERT_EQ(bytes[8192 + i], plain[i] ^ key) << "byte " << i << " encrypted " << encrypted;
    }

    TPage read(page.Format());
    read.Read(file, 8192, encrypted);
    EXPECT_EQ(read.Offset(), 8192u);
    EXPECT_EQ(read.Left(), 4096u);
    ASSERT_EQ(read.Count(), 40u);
    for (std::size_t i = 0; i < 40; ++i) {
      ASSERT_EQ(Bytes(read.Key(i).begin(), read.Key(i).end()),
                Bytes(page.Key(i).begin(), page.Key(i).end()));
      ASSERT_EQ(read.Pointer(i), i + 1);
    }
  }
}

TEST_F(IndexPageFileTest, ReadingAPagePastTheEndFails) {
  TIndexFile file;
  file.SetFileName(dir_ + "/t");
  file.SetExclusive(true);
  file.Create();
  TPage page(TPageFormat{0, 4, 0, false});
  EXPECT_NE(CodeOf([&] { page.Read(file, 4096, false); }), 0);
}

}  // namespace
}  // namespace quire
