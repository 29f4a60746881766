// Pages of an index file read by someone other than the index file itself
// (the cursor) come from the index file's cache while it holds them
// unmodified, equal to what the file holds; a page modified in the cache and
// not yet written is read from the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "index/IndexFile.h"
#include "index/Page.h"
#include "support/MultiLeafIndex.h"

namespace quire {
namespace {

class IndexPageSharingTest : public testing::MultiLeafIndexTest {
 protected:
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
