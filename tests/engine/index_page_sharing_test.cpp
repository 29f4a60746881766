// Pages of an index file read by someone other than the index file itself
// (the cursor) come from the index file's cache while it holds them
// unmodified, equal to what the file holds; a page modified in the cache and
// not yet written is read from the file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "index/IndexFile.h"
#include "index/Page.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A 6-byte key that sorts by n.
Bytes KeyOf(std::uint32_t n) {
  Bytes key(6, 0);
  key[0] = 1;
  for (std::size_t i = 0; i < 4; ++i) key[1 + i] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
  return key;
}

class IndexPageSharingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-sharing-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fields_ = {{1, "F1", 9, 0, 5}};
    file_.SetFileName(dir_ + "/T.DAT");
    file_.SetExclusive(true);
    file_.Create();
    TIndexDefinition primary;
    primary.FieldCount = 1;
    primary.FieldNumbers[0] = 1;
    file_.DefinePrimaryIndex(primary, fields_);
    file_.SelectIndex(kPrimaryIndex);
    // Enough keys for a root node over several leaves.
    for (std::uint32_t n = 1; n <= 1500; ++n) file_.InsertKey(KeyOf(n), n);
    file_.Flush();
    file_.WriteHeader();
  }
  void TearDown() override {
    if (file_.IsOpen()) file_.Close();
    std::filesystem::remove_all(dir_);
  }
  TPage NewPage() const { return TPage(TPageFormat::For(kPrimaryIndex, file_.Descriptor(0))); }
  TPage FromFile(std::uint32_t offset) {
    TPage page = NewPage();
    page.Read(static_cast<TFileHandler&>(file_), offset, false);
    return page;
  }
  TPage ThroughIndexFile(std::uint32_t offset) {
    TPage page = NewPage();
    page.Read(file_, offset, false);
    return page;
  }
  void Scribble(std::uint32_t offset) {
    std::fstream out(dir_ + "/T.IDX", std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    const std::string zeros(4096, '\0');
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  static void ExpectSamePage(const TPage& a, const TPage& b) {
    ASSERT_EQ(a.Count(), b.Count());
    EXPECT_EQ(a.Offset(), b.Offset());
    EXPECT_EQ(a.IsLeaf(), b.IsLeaf());
    EXPECT_EQ(a.IsRoot(), b.IsRoot());
    EXPECT_EQ(a.Left(), b.Left());
    EXPECT_EQ(a.Right(), b.Right());
    EXPECT_FALSE(b.Modified());
    EXPECT_FALSE(b.Free());
    for (std::size_t i = 0; i < a.Count(); ++i) {
      EXPECT_EQ(Bytes(a.Key(i).begin(), a.Key(i).end()), Bytes(b.Key(i).begin(), b.Key(i).end()));
      EXPECT_EQ(a.Pointer(i), b.Pointer(i));
      if (a.IsNode()) {
        EXPECT_EQ(a.SubtreeCount(i), b.SubtreeCount(i));
      }
    }
  }

  std::string dir_;
  std::vector<TIndexField> fields_;
  TIndexFile file_;
};

TEST_F(IndexPageSharingTest, CachedPagesEqualTheFilesPages) {
  const std::uint32_t root = file_.Header().RootPage(kPrimaryIndex);
  const TPage fromFile = FromFile(root);
  ASSERT_TRUE(fromFile.IsNode());
  ASSERT_GT(fromFile.Count(), 1u);
  ExpectSamePage(fromFile, ThroughIndexFile(root));
  const std::uint32_t lastLeaf = fromFile.Pointer(fromFile.Count() - 1);
  ExpectSamePage(FromFile(lastLeaf), ThroughIndexFile(lastLeaf));
}

TEST_F(IndexPageSharingTest, AnUnmodifiedCachedPageIsTakenFromMemory) {
  const std::uint32_t root = file_.Header().RootPage(kPrimaryIndex);
  const TPage before = FromFile(root);
  // Only the cache still knows the page once the file lost it.
  Scribble(root);
  ExpectSamePage(before, ThroughIndexFile(root));
}

TEST_F(IndexPageSharingTest, AModifiedCachedPageIsReadFromTheFile) {
  const std::uint32_t root = file_.Header().RootPage(kPrimaryIndex);
  const TPage rootBefore = FromFile(root);
  const std::uint32_t lastLeaf = rootBefore.Pointer(rootBefore.Count() - 1);
  const std::size_t written = FromFile(lastLeaf).Count();
  file_.InsertKey(KeyOf(5000), 5000);  // lands in the last leaf, not yet written
  EXPECT_EQ(ThroughIndexFile(lastLeaf).Count(), written);
  EXPECT_EQ(ThroughIndexFile(root).SubtreeCount(rootBefore.Count() - 1),
            rootBefore.SubtreeCount(rootBefore.Count() - 1));
  file_.Flush();
  EXPECT_EQ(ThroughIndexFile(lastLeaf).Count(), written + 1) << "clean again: the new page";
}

}  // namespace
}  // namespace quire
