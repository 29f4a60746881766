// Reading under the all-records lock: no other program can change a record
// while it is held (every change needs a record lock inside its range), so
// the reads a statement makes under it take no transient read lock of their
// own, while what another program wrote before the lock is seen.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "engine/TableLocks.h"
#include "support/EngineErrors.h"
#include "support/EngineScope.h"
#include "support/LockHolderProcess.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::LockHolderProcess;
using testing::ScratchDir;

constexpr long long kRangeFirst = 2147418112;  // the writers' index range

class AllRecordsReadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(Path(), true);
    writer_.SetFileName(Path());
    writer_.Open();
    for (int code = 1; code <= 40; ++code) testing::InsertSong(writer_, code, "n");
    reader_.SetFileName(Path());
    reader_.SetLockRetryCount(1);
    reader_.SetLockWaitTime(5);
    reader_.Open();
    writer_.SetLockRetryCount(1);
    writer_.SetLockWaitTime(5);
  }
  void TearDown() override {
    reader_.Close();
    writer_.Close();
  }
  std::string Path() const { return dir_.Path("SONG"); }
  std::string Idx() const { return dir_.Path("SONG.IDX"); }

  testing::EngineScope engine_;
  ScratchDir dir_;
  TDataFile writer_;
  TDataFile reader_;
};

TEST_F(AllRecordsReadsTest, TheTransientReadLockStandsAsideForTheAllRecordsLock) {
  TFileHandler data, index;
  for (auto [file, name] : {std::pair{&data, Path() + ".DAT"}, {&index, Idx()}}) {
    file->SetFileName(name);
    file->Open();
  }
  TTableLocks locks(data, index);
  locks.LockAllRecords();
  EXPECT_FALSE(locks.TransientReadLock());
  EXPECT_FALSE(locks.TransientReadLocked());
  locks.UnlockAllRecords();
  EXPECT_TRUE(locks.TransientReadLock());
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "held");
  locks.TransientReadUnlock();
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "free");
}

TEST_F(AllRecordsReadsTest, ReadsUnderTheLockSeeEarlierChangesAndHoldNoReaderByte) {
  std::vector<std::uint8_t> record = reader_.NewRecordBuffer();
  reader_.SelectIndex(kPhysicalOrder);
  reader_.First();
  ASSERT_EQ(reader_.GetNextRecord(record), 0);  // the reader's caches hold the table
  // Another program deletes the first record and adds one before the lock.
  writer_.SelectIndex(kPhysicalOrder);
  writer_.First();
  ASSERT_EQ(writer_.GetNextRecord(record), 0);
  writer_.DeleteRecord();
  testing::InsertSong(writer_, 99, "late");

  reader_.LockAllRecords();
  std::vector<std::int32_t> codes;
  {
    // A writer that took its write lock and now waits for a record lock
    // holds the index range a reader byte lies in: reads under the lock do
    // not wait for it.
    LockHolderProcess other({"range", Idx(), "2147418112", "65535", "60"});
    ASSERT_EQ(other.Line(), "locked");
    EXPECT_EQ(reader_.RecordCount(), 40);
    reader_.First();
    while (reader_.GetNextRecord(record) == 0) codes.push_back(testing::SongCode(reader_, record));
  }
  ASSERT_EQ(codes.size(), 40u);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 1), 0) << "deleted before the lock";
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 99), 1) << "added before the lock";
  // Meanwhile no other program can change a record.
  writer_.First();
  ASSERT_EQ(writer_.GetNextRecord(record), 0);
  EXPECT_EQ(CodeOf([&] { writer_.DeleteRecord(); }), err::RecordInUse);
  reader_.UnlockAllRecords();
  writer_.First();
  ASSERT_EQ(writer_.GetNextRecord(record), 0);
  EXPECT_EQ(CodeOf([&] { writer_.DeleteRecord(); }), 0) << "free to change again";
}

}  // namespace
}  // namespace quire
