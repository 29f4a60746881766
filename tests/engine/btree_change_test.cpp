// Change detection between users of one index file: a descent that has to
// read a page while no lock is held compares the header's change counter
// first, and when another user (another object in this process, or another
// process) changed the file, it reads the header again, drops its cached
// pages and starts again from the root.

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "index/IndexFile.h"
#include "index/IndexVerifier.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Integer field 1 at record offset 9, the table's primary key.
const TKeyField kFields[] = {{1, 6, 0, 4, 9}};

Bytes KeyOf(const TIndexFile& file, std::int32_t n) {
  Bytes record(14, 0);
  record[9] = 1;
  std::memcpy(record.data() + 10, &n, sizeof n);
  Bytes key(file.KeySize());
  file.BuildKey(record, key);
  return key;
}

class ChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-change-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    name_ = dir_ + "/Shared.IDX";
    TIndexFile file;
    file.SetFileName(name_);
    file.SetExclusive(true);
    file.Create();
    TIndexDefinition primary;
    primary.FieldCount = 1;
    primary.FieldNumbers[0] = 1;
    const TIndexField fields[] = {{1, "Id", 6, 0, 4}};
    file.DefinePrimaryIndex(primary, fields);
    file.Close();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void OpenShared(TIndexFile& file) {
    file.SetFileName(name_);
    file.Open();
    file.SetKeyFields(kFields);
  }
  // A writer's whole change: write lock, check, keys, pages and header.
  static void Change(TIndexFile& file, bool insert, std::int32_t first, std::int32_t last) {
    ASSERT_TRUE(file.WriteLock());
    file.CheckForChanges();
    for (std::int32_t n = first; n <= last; ++n) {
      if (insert) {
        file.InsertKey(KeyOf(file, n), static_cast<std::uint32_t>(n));
      } else {
        file.DeleteKey(KeyOf(file, n));
      }
    }
    file.Flush();
    file.WriteHeader();
    file.WriteUnlock();
  }
  std::int32_t ChangeCountOnDisk() {
    TIndexFile file;
    OpenShared(file);
    return file.Header().ChangeCount();
  }
  // The reader's view before the other user's change: only the root and the
  // first leaf cached.
  void PrepareReader(TIndexFile& reader) {
    {
      TIndexFile writer;
      OpenShared(writer);
      Change(writer, true, 1, 2000);
    }
    OpenShared(reader);
    ASSERT_TRUE(reader.FindExact(KeyOf(reader, 1)));
  }
  // What the reader must see after the other user replaced keys 1..2000 by
  // 5001..7000.
  void ExpectReplacedKeys(TIndexFile& reader) {
    EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 6000)), 1000);
    EXPECT_EQ(reader.Header().ChangeCount(), ChangeCountOnDisk());
    EXPECT_FALSE(reader.FindExact(KeyOf(reader, 1)));
    EXPECT_FALSE(reader.FindExact(KeyOf(reader, 2000)));
    EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 5001)), 1);
    EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 7000)), 2000);
  }

  std::string dir_, name_;
};

TEST_F(ChangeTest, AnotherObjectsChangeRestartsTheNextDescent) {
  TIndexFile reader;
  PrepareReader(reader);
  TIndexFile writer;
  OpenShared(writer);
  Change(writer, false, 1, 2000);
  Change(writer, true, 5001, 7000);
  ExpectReplacedKeys(reader);
}

TEST_F(ChangeTest, AnotherProcesssChangeRestartsTheNextDescent) {
  TIndexFile reader;
  PrepareReader(reader);
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  const auto peer = self.parent_path().parent_path().parent_path() / "bin" / "index_peer";
  ASSERT_TRUE(std::filesystem::exists(peer)) << peer;
  for (const std::string action : {"delete 1 2000", "insert 5001 7000"}) {
    const std::string command = peer.string() + " " + name_ + " " + action;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[128] = {};
    const bool read = fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(pclose(pipe), 0) << command;
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(line), "done 2000\n");
  }
  ExpectReplacedKeys(reader);
}

TEST_F(ChangeTest, AChangeWithoutALockChecksFirstAndBuildsOnTheOtherUsersTree) {
  TIndexFile reader;
  PrepareReader(reader);
  TIndexFile writer;
  OpenShared(writer);
  Change(writer, true, 3000, 3999);
  // The reader changes the index itself, holding no lock: the change starts
  // from the file as the other user left it.
  reader.InsertKey(KeyOf(reader, 2500), 2500);
  reader.Flush();
  reader.WriteHeader();
  EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 2500)), 2001);
  EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 3999)), 3001);
  const TIndexCheck check = TIndexVerifier(reader).VerifyFile();
  for (const TIndexFault& fault : check.faults) ADD_FAILURE() << fault.Line();
  EXPECT_EQ(check.keys, 3001);
}

TEST_F(ChangeTest, UnderItsOwnReadLockTheFileIsNotCheckedAgain) {
  TIndexFile reader;
  PrepareReader(reader);
  const std::int32_t before = reader.Header().ChangeCount();
  ASSERT_TRUE(reader.ReadLock());
  // A writer cannot get in while the reader holds its byte; what the reader
  // sees meanwhile is its own consistent view.
  EXPECT_EQ(reader.KeyPosition(KeyOf(reader, 1500)), 1500);
  EXPECT_EQ(reader.Header().ChangeCount(), before);
  reader.ReadUnlock();
  EXPECT_FALSE(reader.ReadLocked());
}

}  // namespace
}  // namespace quire
