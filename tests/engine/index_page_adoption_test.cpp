// Pages a cursor reads from the index file are kept in the index file's own
// cache, so that the change that follows (deleting the key the cursor found)
// finds them there instead of reading them again; a page the cache holds
// modified is never replaced by the file's older copy, and nothing is kept
// under buffered changes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexCursor.h"
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

class IndexPageAdoptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-adoption-XXXXXX";
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
    // A root node over several leaves.
    for (std::uint32_t n = 1; n <= 1500; ++n) file_.InsertKey(KeyOf(n), n);
    file_.Flush();
    file_.WriteHeader();
    // As after another program's change: nothing cached.
    file_.Invalidate();
  }
  void TearDown() override {
    if (file_.IsOpen()) file_.Close();
    std::filesystem::remove_all(dir_);
  }
  // Overwrites a page of the file with zeros: only a cache still knows it.
  void Scribble(std::uint32_t offset) {
    std::fstream out(dir_ + "/T.IDX", std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    const std::string zeros(4096, '\0');
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  std::uint32_t Root() const { return file_.Header().RootPage(kPrimaryIndex); }
  std::uint32_t LastLeaf() {
    TPage root(TPageFormat::For(kPrimaryIndex, file_.Descriptor(0)));
    root.Read(static_cast<TFileHandler&>(file_), Root(), false);
    return root.Pointer(root.Count() - 1);
  }

  std::string dir_;
  std::vector<TIndexField> fields_;
  TIndexFile file_;
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
