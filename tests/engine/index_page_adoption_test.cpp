// Pages a cursor reads from the index file are kept in the index file's own
// cache, so that the change that follows (deleting the key the cursor found)
// finds them there instead of reading them again; a page the cache holds
// modified is never replaced by the file's older copy, and nothing is kept
// under buffered changes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexCursor.h"
#include "index/IndexFile.h"
#include "index/Page.h"
#include "support/MultiLeafIndex.h"

namespace quire {
namespace {

class IndexPageAdoptionTest : public testing::MultiLeafIndexTest {
 protected:
  void SetUp() override {
    MultiLeafIndexTest::SetUp();
    // As after another program's change: nothing cached.
    file_.Invalidate();
  }
  std::uint32_t Root() const { return file_.Header().RootPage(kPrimaryIndex); }
  std::uint32_t LastLeaf() {
    TPage root(TPageFormat::For(kPrimaryIndex, file_.Descriptor(0)));
    root.Read(static_cast<TFileHandler&>(file_), Root(), false);
    return root.Pointer(root.Count() - 1);
  }
};

TEST_F(IndexPageAdoptionTest, PagesACursorReadServeTheNextChange) {
  const std::uint32_t root = Root();
  const std::uint32_t leaf = LastLeaf();
  TIndexCursor cursor(file_, [] { return true; });
  ASSERT_EQ(cursor.Last(), TMoveResult::Ok);
  ASSERT_EQ(cursor.Record(), 1500u);
  // The file loses both pages; the tree still finds and deletes the last
  // key through the pages the cursor left in the cache.
  Scribble(root);
  Scribble(leaf);
  EXPECT_TRUE(file_.FindExact(KeyOf(1500)));
  file_.DeleteKey(KeyOf(1500));
  EXPECT_FALSE(file_.FindExact(KeyOf(1500)));
  EXPECT_TRUE(file_.FindExact(KeyOf(1499)));
}

TEST_F(IndexPageAdoptionTest, AModifiedCachedPageStaysAsItIs) {
  const std::uint32_t leaf = LastLeaf();
  // The last leaf gains a key in the cache only.
  file_.InsertKey(KeyOf(5000), 5000);
  TIndexCursor cursor(file_, [] { return true; });
  ASSERT_EQ(cursor.Last(), TMoveResult::Ok);
  EXPECT_EQ(cursor.Record(), 1500u) << "the cursor reads what the file holds";
  // The cache keeps its own, newer page: the key is there, and reaches the
  // file when the cache is written back.
  EXPECT_TRUE(file_.FindExact(KeyOf(5000)));
  file_.Flush();
  TPage written(TPageFormat::For(kPrimaryIndex, file_.Descriptor(0)));
  written.Read(static_cast<TFileHandler&>(file_), leaf, false);
  EXPECT_EQ(written.Pointer(written.Count() - 1), 5000u);
}

TEST_F(IndexPageAdoptionTest, NothingIsKeptUnderBufferedChanges) {
  file_.SetTableLockHeld(true, true);
  TIndexCursor cursor(file_, [] { return true; });
  ASSERT_EQ(cursor.First(), TMoveResult::Ok);
  ASSERT_EQ(cursor.Record(), 1u);
  file_.SetTableLockHeld(false);
  // Had the cache kept the root, the key would still be found.
  Scribble(Root());
  bool found = true;
  try {
    found = file_.FindExact(KeyOf(1));
  } catch (const EQuireEngineError&) {
    found = false;
  }
  EXPECT_FALSE(found);
}

}  // namespace
}  // namespace quire
