// Index trees: the shapes they take (first page, first split, new root,
// first keys along the leftmost path, root collapse and large keys that keep
// a one-entry root), freed pages and their reuse, duplicate and missing keys
// with their messages, a full file, encrypted pages, the page cache, and the
// faults the verifier reports on damaged files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexFile.h"
#include "index/IndexVerifier.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
// Checked: a test that patches past the end of a file fails instead of writing
// past the bytes.
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A K-byte key that sorts by n: indicator 1, n big-endian, zero padding.
Bytes KeyOf(std::size_t k, std::uint32_t n) {
  Bytes key(k, 0);
  key[0] = 1;
  for (std::size_t i = 0; i < 4 && 1 + i < k; ++i)
    key[1 + i] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
  return key;
}

using quire::testing::Raised;
using quire::testing::TRaised;

TIndexDefinition Definition(std::string name, std::vector<std::uint16_t> fields,
                            std::uint8_t unique = 0, std::uint8_t compression = 0) {
  TIndexDefinition d;
  d.Name = std::move(name);
  d.Unique = unique;
  d.Compression = compression;
  d.FieldCount = static_cast<std::uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) d.FieldNumbers[i] = fields[i];
  return d;
}

// Fields 1..8 are byte fields; field n is `sizes[n-1]` bytes wide.
std::vector<TIndexField> ByteFields(const std::vector<std::uint8_t>& sizes) {
  std::vector<TIndexField> fields;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    fields.push_back(
        {static_cast<std::uint16_t>(i + 1), "F" + std::to_string(i + 1), 9, 0, sizes[i]});
  }
  return fields;
}

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-tree-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/T.IDX";
  }
  void TearDown() override {
    if (file_.IsOpen()) file_.Close();
    std::filesystem::remove_all(dir_);
  }

  // A new file, open exclusively, with a primary index over byte fields of
  // the given widths (one key field each) and the given secondaries.
  void Create(const std::vector<std::uint8_t>& sizes, std::vector<std::uint16_t> primaryFields,
              const std::vector<TIndexDefinition>& secondaries = {}, bool encrypted = false) {
    fields_ = ByteFields(sizes);
    file_.SetFileName(dir_ + "/T.DAT");
    file_.SetExclusive(true);
    file_.SetEncrypted(encrypted);
    file_.Create();
    file_.DefinePrimaryIndex(Definition("", std::move(primaryFields)), fields_);
    for (const TIndexDefinition& d : secondaries) file_.AddSecondaryIndex(d, fields_);
    file_.SelectIndex(kPrimaryIndex);
  }
  void Insert(std::uint32_t n) { file_.InsertKey(KeyOf(file_.KeySize(), n), n); }
  void Delete(std::uint32_t n) { file_.DeleteKey(KeyOf(file_.KeySize(), n)); }
  void Sync() {
    file_.Flush();
    file_.WriteHeader();
  }
  Bytes FileBytes() {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  Bytes Page(std::uint32_t offset) {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(offset);
    Bytes page(4096);
    in.read(reinterpret_cast<char*>(page.data()), 4096);
    return page;
  }
  std::uintmax_t FileSize() const { return std::filesystem::file_size(path_); }
  void WriteFileBytes(const Bytes& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::string> FaultLines() {
    Sync();
    std::vector<std::string> lines;
    for (const TIndexFault& f : TIndexVerifier(file_).VerifyFile().faults) {
      lines.push_back(f.Line());
    }
    return lines;
  }
  std::uint32_t Root() const { return file_.Header().RootPage(file_.CurrentIndex()); }
  std::uint32_t FreeHead() const { return file_.Header().FreePageHead(file_.CurrentIndex()); }

  std::string dir_, path_;
  std::vector<TIndexField> fields_;
  TIndexFile file_;
};

// --- Shapes --------------------------------------------------------------------------

TEST_F(TreeTest, AscendingInsertsFillARootLeafThenSplitItInHalvesUnderANewRoot) {
  Create({13}, {1});  // K = 14: leaves hold 4083 div 20 = 204 entries
  ASSERT_EQ(file_.KeySize(), 14);
  EXPECT_EQ(Root(), 0u);
  for (std::uint32_t n = 1; n <= 204; ++n) Insert(n);
  Sync();
  EXPECT_EQ(Root(), 4096u);
  Bytes leaf = Page(4096);
  EXPECT_EQ(leaf[0], 3);  // root leaf
  EXPECT_EQ(U16(leaf, 1), 204);
  EXPECT_EQ(Bytes(leaf.begin() + 13, leaf.begin() + 31), [] {
    Bytes e = KeyOf(14, 1);
    e.insert(e.end(), {1, 0, 0, 0});  // record number 1
    return e;
  }());

  Insert(205);  // 205 entries: the left page keeps 103, the right gets 102
  Sync();
  EXPECT_EQ(file_.Header().EndOffset(), 16384u);
  EXPECT_EQ(Root(), 12288u);
  const Bytes left = Page(4096), right = Page(8192), root = Page(12288);
  EXPECT_EQ(left[0], 2);
  EXPECT_EQ(U16(left, 1), 103);
  EXPECT_EQ(U32(left, 3), 0u);
  EXPECT_EQ(U32(left, 7), 8192u);
  EXPECT_EQ(right[0], 2);
  EXPECT_EQ(U16(right, 1), 102);
  EXPECT_EQ(U32(right, 3), 4096u);
  EXPECT_EQ(U32(right, 7), 0u);
  EXPECT_EQ(Bytes(right.begin() + 13, right.begin() + 27), KeyOf(14, 104));
  EXPECT_EQ(root[0], 0);
  EXPECT_EQ(U16(root, 1), 2);
  // Entries of 14 + 8 bytes: first key, child, keys below.
  EXPECT_EQ(Bytes(root.begin() + 13, root.begin() + 27), KeyOf(14, 1));
  EXPECT_EQ(U32(root, 27), 4096u);
  EXPECT_EQ(U32(root, 31), 103u);
  EXPECT_EQ(Bytes(root.begin() + 35, root.begin() + 49), KeyOf(14, 104));
  EXPECT_EQ(U32(root, 49), 8192u);
  EXPECT_EQ(U32(root, 53), 102u);
  EXPECT_TRUE(std::all_of(root.begin() + 57, root.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(FaultLines().empty());
}

TEST_F(TreeTest, ASmallestKeyBecomesTheFirstKeyOfEveryPageOnTheLeftmostPath) {
  Create({250, 250, 250, 250, 31}, {1, 2, 3, 4, 5});  // K = 1036: three entries a page
  ASSERT_EQ(file_.KeySize(), 1036);
  for (std::uint32_t n = 10; n < 400; n += 10) Insert(n);
  Insert(1);
  Sync();
  std::uint32_t offset = Root();
  int levels = 0;
  for (;;) {
    const Bytes page = Page(offset);
    ++levels;
    EXPECT_EQ(Bytes(page.begin() + 13, page.begin() + 13 + 1036), KeyOf(1036, 1)) << offset;
    if (page[0] >= 2) break;
    offset = U32(page, 13 + 1036);
  }
  EXPECT_GE(levels, 3);
  EXPECT_TRUE(FaultLines().empty());
  EXPECT_EQ(file_.KeyPosition(KeyOf(1036, 1)), 1);
  EXPECT_EQ(file_.KeyPosition(KeyOf(1036, 390)), 40);
}

TEST_F(TreeTest, DeletingTheLastKeyFreesTheRootLeafWhichTheNextInsertTakesBack) {
  Create({13}, {1}, {Definition("Other", {1})});
  Insert(7);
  file_.SelectIndex(std::uint8_t{1});
  Insert(8);  // the secondary index's root leaf lies at 8192
  file_.SelectIndex(kPrimaryIndex);
  Delete(7);
  Sync();
  EXPECT_EQ(Root(), 0u);
  EXPECT_EQ(FreeHead(), 4096u);
  const Bytes freed = Page(4096);
  EXPECT_EQ(freed[0], 3);        // keeps its type
  EXPECT_EQ(U16(freed, 1), 0);   // count 0
  EXPECT_EQ(U32(freed, 7), 0u);  // end of the chain
  EXPECT_TRUE(std::all_of(freed.begin() + 13, freed.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(FaultLines().empty());

  // Another index never takes this page; the primary index does.
  file_.SelectIndex(std::uint8_t{1});
  for (std::uint32_t n = 100; n < 400; ++n) Insert(n);
  EXPECT_EQ(file_.Header().FreePageHead(0), 4096u);
  file_.SelectIndex(kPrimaryIndex);
  const std::uint32_t end = file_.Header().EndOffset();
  Insert(9);
  EXPECT_EQ(Root(), 4096u);
  EXPECT_EQ(FreeHead(), 0u);
  EXPECT_EQ(file_.Header().EndOffset(), end);
  EXPECT_TRUE(FaultLines().empty());
}

TEST_F(TreeTest, AnUnderfilledRootNodeCollapsesIntoItsLastChild) {
  Create({13}, {1});
  for (std::uint32_t n = 1; n <= 205; ++n) Insert(n);
  ASSERT_EQ(Root(), 12288u);
  // The right leaf (102) falls below half (102 = 204 div 2) and merges with
  // the left one once both fit in one page.
  std::uint32_t n = 205;
  while (Root() == 12288u) Delete(n--);
  Sync();
  EXPECT_EQ(Root(), 4096u);
  EXPECT_EQ(Page(4096)[0], 3);
  EXPECT_EQ(U16(Page(4096), 1), n);
  EXPECT_EQ(n, 203u);  // 103 + 101 = 204 is not below the capacity; 103 + 100 is
  // Right leaf freed first, then the old root: the chain is root, right leaf.
  EXPECT_EQ(FreeHead(), 12288u);
  EXPECT_EQ(U32(Page(12288), 7), 8192u);
  EXPECT_TRUE(FaultLines().empty());
}

TEST_F(TreeTest, WithTheLargestKeysARootWithOneEntryStays) {
  // K = 1040 (a non-unique secondary index of 1036 bytes): nodes hold 3
  // entries, so a root with one entry is not below half of them (1).
  Create({250, 250, 250, 250, 31}, {1}, {Definition("Big", {1, 2, 3, 4, 5})});
  file_.SelectIndex(std::uint8_t{1});
  ASSERT_EQ(file_.KeySize(), 1040);
  for (std::uint32_t n = 1; n <= 4; ++n) Insert(n);  // two leaves of 2 under a root
  ASSERT_EQ(Page(Root())[0], 0);
  Delete(1);
  Delete(2);  // the left leaf empties and leaves the tree
  Sync();
  const Bytes root = Page(Root());
  EXPECT_EQ(root[0], 0);
  EXPECT_EQ(U16(root, 1), 1);
  EXPECT_TRUE(FaultLines().empty());
  Delete(3);
  Delete(4);
  Sync();
  EXPECT_EQ(Root(), 0u);
  EXPECT_TRUE(FaultLines().empty());
}

// --- Duplicates and missing keys ---------------------------------------------------

TEST_F(TreeTest, DuplicatesAreRefusedNamingTheIndex) {
  Create({13}, {1}, {Definition("Code", {1}, 1), Definition("Loose", {1})});
  Insert(5);
  const TRaised primary = Raised([&] { file_.CheckDuplicate(KeyOf(14, 5)); });
  EXPECT_EQ(primary.code, 9729);
  EXPECT_EQ(primary.message,
            "Quire Engine Error # 9729 Duplicate key found in index Primary "
            "of data file " +
                dir_ + "/T.IDX");
  file_.CheckDuplicate(KeyOf(14, 6));

  file_.SelectIndex("code");
  Insert(5);
  EXPECT_EQ(Raised([&] { file_.CheckDuplicate(KeyOf(14, 5)); }).message,
            "Quire Engine Error # 9729 Duplicate key found in index Code of data file " + dir_ +
                "/T.IDX");

  // Keys of a non-unique index differ in their suffix; no check applies.
  file_.SelectIndex("Loose");
  ASSERT_EQ(file_.KeySize(), 18);
  Bytes first = KeyOf(18, 5), second = KeyOf(18, 5);
  first[17] = 1;
  second[17] = 2;
  file_.InsertKey(second, 2);
  file_.InsertKey(first, 1);
  file_.CheckDuplicate(first);
  EXPECT_EQ(file_.KeyPosition(first), 1);
  EXPECT_EQ(file_.KeyPosition(second), 2);
}

TEST_F(TreeTest, MissingKeysGiveKeyNotFoundAndChangeNothing) {
  Create({13}, {1});
  for (std::uint32_t n = 1; n <= 300; n += 2) Insert(n);
  Sync();
  const Bytes before = FileBytes();
  const TRaised missing = Raised([&] { Delete(4); });
  EXPECT_EQ(missing.code, 8708);
  EXPECT_EQ(missing.message,
            "Quire Engine Error # 8708 Key not found in index Primary of data "
            "file " +
                dir_ + "/T.IDX");
  EXPECT_EQ(Raised([&] { file_.ReplaceKey(KeyOf(14, 4), KeyOf(14, 1000), 4); }).code, 8708);
  Sync();
  EXPECT_EQ(FileBytes(), before);
  EXPECT_FALSE(file_.FindExact(KeyOf(14, 1000)));

  file_.ReplaceKey(KeyOf(14, 3), KeyOf(14, 1000), 3);
  EXPECT_FALSE(file_.FindExact(KeyOf(14, 3)));
  EXPECT_EQ(file_.KeyPosition(KeyOf(14, 1000)), 150);
  EXPECT_TRUE(FaultLines().empty());
}

// --- Full file ---------------------------------------------------------------------

TEST_F(TreeTest, NoPageStartsBeyondTwoBillionBytes) {
  Create({13}, {1});
  file_.WriteHeader(true);
  file_.Close();
  Bytes bytes = FileBytes();
  Put32(bytes, 9, 1999998976);  // the last page offset that is allowed
  WriteFileBytes(bytes);
  file_.Open();
  EXPECT_EQ(Raised([&] { Insert(1); }).code, 0);
  Delete(1);
  file_.Close();
  Put32(bytes, 9, 1999998976 + 4096);  // the next would start beyond the limit
  WriteFileBytes(bytes);
  file_.Open();
  EXPECT_EQ(Raised([&] { Insert(1); }).code, 9479);
  EXPECT_EQ(Root(), 0u);
  EXPECT_FALSE(file_.HeaderModified());
  file_.Close();
  Put32(bytes, 9, 1999998976);
  WriteFileBytes(bytes);
  file_.Open();
  for (std::uint32_t n = 1; n <= 204; ++n) Insert(n);  // fills the one page left
  EXPECT_EQ(Root(), 1999998976u);
  Sync();
  const std::uintmax_t full = FileSize();

  const TRaised raised = Raised([&] { Insert(205); });  // a split needs two more pages
  EXPECT_EQ(raised.code, 9479);
  EXPECT_EQ(raised.message, "Quire Engine Error # 9479 The data file " + dir_ +
                                "/T.IDX is full and cannot contain any more data");
  Sync();
  EXPECT_EQ(FileSize(), full);
  EXPECT_FALSE(file_.FindExact(KeyOf(14, 205)));
  EXPECT_EQ(file_.KeyPosition(KeyOf(14, 204)), 204);
  // Room comes back from the free chain.
  Delete(1);
  EXPECT_EQ(Raised([&] { Insert(205); }).code, 0);
}

// --- Encrypted pages ---------------------------------------------------------------

TEST_F(TreeTest, EncryptedPagesAreOneCipherRunEach) {
  Create({13}, {1}, {}, true);
  for (std::uint32_t n = 1; n <= 300; ++n) Insert(n);
  Sync();
  Bytes leaf = Page(4096);
  for (std::size_t i = 0; i < leaf.size(); ++i) {
    leaf[i] ^=
        static_cast<std::uint8_t>((0x3B + i) & 0xFF) ^ static_cast<std::uint8_t>((0xA6 - i) & 0xFF);
  }
  EXPECT_EQ(leaf[0], 2);
  EXPECT_EQ(U16(leaf, 1), 103);
  EXPECT_EQ(Bytes(leaf.begin() + 13, leaf.begin() + 27), KeyOf(14, 1));
  file_.Close();
  file_.SetExclusive(false);
  file_.Open();
  EXPECT_EQ(file_.KeyPosition(KeyOf(14, 250)), 250);
  EXPECT_TRUE(FaultLines().empty());
}

// --- Page cache ----------------------------------------------------------------------

TEST_F(TreeTest, TheCacheKeepsThirtyOnePagesAndWritesBackWhatItDrops) {
  Create({13}, {1});
  for (std::uint32_t n = 0; n < 20000; ++n) Insert((n * 7919u) % 20000u);
  EXPECT_EQ(file_.CachedPages(0), 31u);
  // Pages that left the cache were written on their way out; the last 31
  // wait for a flush.
  const std::uint32_t end = file_.Header().EndOffset();
  EXPECT_GT(end, 4096u + 31u * 4096u);
  EXPECT_GT(FileSize(), 4096u);
  Sync();
  EXPECT_EQ(FileSize(), end);
}

TEST_F(TreeTest, FlushWritesEveryModifiedPageAndTheTreeReadsBackWhole) {
  Create({13}, {1});
  for (std::uint32_t n = 0; n < 20000; ++n) Insert((n * 7919u) % 20000u);
  Sync();
  file_.Close();
  file_.Open();
  EXPECT_EQ(file_.KeyPosition(KeyOf(14, 12345)), 12346);
  const TIndexCheck check = TIndexVerifier(file_).VerifyFile();
  EXPECT_TRUE(check.faults.empty());
  EXPECT_EQ(check.keys, 20000);
}

TEST_F(TreeTest, TrimCutsAGrownCacheBackAfterBufferedChanges) {
  Create({13}, {1});
  file_.SetTableLockHeld(true, true);
  for (std::uint32_t n = 0; n < 20000; ++n) Insert((n * 7919u) % 20000u);
  // Nothing written while buffered: the list grew instead.
  EXPECT_GT(file_.CachedPages(0), 31u);
  EXPECT_EQ(FileSize(), 4096u);
  file_.SetTableLockHeld(false);
  EXPECT_EQ(file_.CachedPages(0), 31u);
  Sync();
  const TIndexCheck check = TIndexVerifier(file_).VerifyFile();
  EXPECT_TRUE(check.faults.empty());
  EXPECT_EQ(check.keys, 20000);
}

// --- Verifier -------------------------------------------------------------------------

TEST_F(TreeTest, VerifierNamesTheFilePageAndFault) {
  Create({13}, {1});
  for (std::uint32_t n = 1; n <= 205; ++n) Insert(n);
  Sync();
  ASSERT_TRUE(FaultLines().empty());
  file_.Close();
  const Bytes good = FileBytes();
  const std::string name = dir_ + "/T.IDX";
  const auto faultsOf = [&](const Bytes& bytes) {
    WriteFileBytes(bytes);
    file_.Open();
    std::vector<std::string> lines;
    for (const TIndexFault& f : TIndexVerifier(file_).VerifyFile().faults)
      lines.push_back(f.Line());
    file_.Close();
    return lines;
  };

  Bytes count = good;
  Put32(count, 12288 + 31, 104);  // the root's first entry miscounts its leaf
  EXPECT_EQ(faultsOf(count),
            std::vector<std::string>{name + ": page 12288: index Primary: entry 1 counts 104 "
                                            "keys, its child page 4096 holds 103"});

  Bytes link = good;
  Put32(link, 8192 + 3, 0);
  EXPECT_EQ(faultsOf(link), std::vector<std::string>{name + ": page 8192: index Primary: left "
                                                            "link 0, expected 4096"});

  Bytes tail = good;
  tail[4096 + 13 + 103 * 18] = 1;  // just after the left leaf's entries
  EXPECT_EQ(faultsOf(tail), std::vector<std::string>{name + ": page 4096: index Primary: "
                                                            "non-zero bytes after the entries"});

  Bytes order = good;
  order[8192 + 13 + 18 + 4] = 0;  // the right leaf's second key now sorts before its first
  const auto orderFaults = faultsOf(order);
  ASSERT_FALSE(orderFaults.empty());
  EXPECT_EQ(orderFaults[0], name + ": page 8192: index Primary: entry 2 is out of order");

  Bytes leaked = good;
  Put32(leaked, 9, 20480);  // one page more than the trees hold
  leaked.resize(20480, 0);
  EXPECT_EQ(faultsOf(leaked),
            std::vector<std::string>{name + ": page 16384: page belongs to no index"});
}

}  // namespace
}  // namespace quire
