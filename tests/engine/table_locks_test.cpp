// The table locking protocol against other programs (the lock_holder helper)
// and other tables open on the same files in this process: the exact bytes,
// the retry counts and waits, readers beside readers, writers after readers,
// and the cases where nothing may be locked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "engine/TableLocks.h"
#include "support/EngineErrors.h"
#include "support/EngineScope.h"
#include "support/LockHolderProcess.h"
#include "support/ScratchDir.h"

namespace quire {
namespace {

using testing::LockHolderProcess;
using testing::ScratchDir;

constexpr long long kTop = 2147483647;
constexpr long long kRangeFirst = 2147418112;

// One table's three files, opened as the data file will open them.
struct Table {
  TFileHandler data, index, blob;
  TTableLocks locks{data, index};
  int checks = 0;

  Table(const ScratchDir& dir, bool withBlob = true, bool exclusive = false) {
    for (auto [file, ext] : {std::pair{&data, ".DAT"}, {&index, ".IDX"}, {&blob, ".BLB"}}) {
      file->SetFileName(dir.Path(std::string("T") + ext));
      file->SetExclusive(exclusive);
      file->Open();
    }
    if (withBlob) locks.SetBlobFile(&blob);
    locks.SetChangeCheck([this] {
      ++checks;
      return false;
    });
    locks.SetLockWaitTime(5);
  }
};

using quire::testing::CodeOf;

class TableLocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"T.DAT", "T.IDX", "T.BLB"}) dir_.WriteFile(name, "");
  }
  std::string Dat() const { return dir_.Path("T.DAT"); }
  std::string Idx() const { return dir_.Path("T.IDX"); }
  std::string Blb() const { return dir_.Path("T.BLB"); }

  testing::EngineScope engine_;
  ScratchDir dir_;
};

TEST_F(TableLocksTest, ARecordHeldElsewhereIsTriedRetryCountPlusOneTimes) {
  LockHolderProcess other({"range", Dat(), "2147483645", "1", "60"});  // record 1
  ASSERT_EQ(other.Line(), "locked");
  Table table(dir_);
  table.locks.SetLockRetryCount(15);
  table.locks.SetLockWaitTime(100);
  const auto start = std::chrono::steady_clock::now();
  try {
    table.locks.RecordLock(1);
    FAIL() << "locked a held record";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Message(), "Quire Engine Error # 10258 Record in data file " + Dat() +
                               " is in use by another user");
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(table.locks.LastAttempts(), 16);
  // 15 waits of more than 100 ms each; the upper bound only catches a hang.
  EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
  EXPECT_LT(elapsed, std::chrono::seconds(60));
  EXPECT_FALSE(table.locks.HoldsRecord(1));

  table.locks.SetLockRetryCount(0);
  EXPECT_EQ(CodeOf([&] { table.locks.RecordLock(1); }), 10258);
  EXPECT_EQ(table.locks.LastAttempts(), 1);
}

TEST_F(TableLocksTest, ARecordFreedDuringTheRetriesIsTaken) {
  LockHolderProcess other({"range", Dat(), "2147483645", "1", "1"});
  ASSERT_EQ(other.Line(), "locked");
  Table table(dir_);
  table.locks.SetLockRetryCount(255);
  table.locks.SetLockWaitTime(20);
  table.locks.RecordLock(1);
  EXPECT_GT(table.locks.LastAttempts(), 1);
  EXPECT_TRUE(table.locks.HoldsRecord(1));
}

TEST_F(TableLocksTest, RecordBytesAndTheAllRecordsRange) {
  EXPECT_EQ(lockbytes::RecordByte(1), 2147483645);
  EXPECT_EQ(lockbytes::RecordByte(100000000), 2047483646);
  Table table(dir_);
  table.locks.RecordLock(1);
  table.locks.RecordLock(100000000);
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2147483645, 1), "held");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2147483644, 1), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2147483646, 1), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483646, 1), "held");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483645, 1), "free");

  // Another table cannot lock all records while one is held, nor the reverse.
  Table other(dir_);
  other.locks.SetLockRetryCount(0);
  try {
    other.locks.LockAllRecords();
    FAIL();
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Message(), "Quire Engine Error # 10241 The data file " + Dat() +
                               " is already locked by another user");
  }
  table.locks.RecordUnlock(1);
  EXPECT_EQ(CodeOf([&] { other.locks.LockAllRecords(); }), 10241) << "record 100,000,000";
  table.locks.RecordUnlock(100000000);
  EXPECT_TRUE(table.locks.LockedRecords().empty());
  other.locks.LockAllRecords();
  EXPECT_TRUE(other.locks.AllRecordsLocked());
  table.locks.SetLockRetryCount(0);
  EXPECT_EQ(CodeOf([&] { table.locks.RecordLock(1); }), 10258);
  EXPECT_EQ(CodeOf([&] { table.locks.RecordLock(100000000); }), 10258);
  // The range ends just below the record bytes' top and starts at its first.
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483644, 1), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2147483646, 1), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2147483645, 1), "held");
  // Record locks under the all-records lock are already covered.
  other.locks.RecordLock(5);
  EXPECT_FALSE(other.locks.HoldsRecord(5));
  other.locks.UnlockAllRecords();
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483645, 100000001), "free");
}

TEST_F(TableLocksTest, RecordLockListAndMissingCurrentRecord) {
  Table table(dir_);
  EXPECT_EQ(CodeOf([&] { table.locks.RecordLock(0); }), 10258);
  EXPECT_EQ(CodeOf([&] { table.locks.RecordUnlock(0); }), 10242);
  table.locks.RecordLock(7);
  table.locks.RecordLock(7);  // already held: not locked again
  EXPECT_EQ(table.locks.LockedRecords(), std::set<std::uint32_t>{7});
  table.locks.RecordUnlock(8);  // not held: ignored
  table.locks.RecordUnlock(7);
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), lockbytes::RecordByte(7), 1), "free");
}

TEST_F(TableLocksTest, RecordLockRunsTheChangeCheckUnlessStrict) {
  Table table(dir_);
  table.locks.RecordLock(3);
  EXPECT_EQ(table.checks, 1);
  EXPECT_FALSE(table.locks.TransientReadLocked()) << "not held across the wait";
  table.locks.SetStrictChangeDetection(true);
  table.locks.RecordLock(4);
  EXPECT_EQ(table.checks, 1);
}

TEST_F(TableLocksTest, RecordLockUnderTheWriteOrTableLockChecksNoMore) {
  // Those locks ran the check when taken and keep every writer out since.
  Table table(dir_);
  table.locks.WriteLock();
  ASSERT_EQ(table.checks, 1);
  table.locks.RecordLock(3);
  EXPECT_EQ(table.checks, 1);
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), lockbytes::RecordByte(3), 1), "held");
  table.locks.RecordUnlock(3);
  table.locks.WriteUnlock();
  table.locks.TableLock();
  ASSERT_EQ(table.checks, 2);
  table.locks.RecordLock(4);
  EXPECT_EQ(table.checks, 2);
  table.locks.TableUnlock();
  // Without them the check runs again.
  table.locks.RecordLock(5);
  EXPECT_EQ(table.checks, 3);
}

TEST_F(TableLocksTest, WriteLockBytesAndOrder) {
  Table table(dir_);
  table.locks.WriteLock();
  EXPECT_EQ(table.checks, 1);
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), kTop, 1), "held");
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), kTop - 1, 1), "free");
  for (const std::string& file : {Idx(), Blb()}) {
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst, 1), "held");
    EXPECT_EQ(LockHolderProcess::Probe(file, kTop - 1, 1), "held");
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst - 1, 1), "free");
    EXPECT_EQ(LockHolderProcess::Probe(file, kTop, 1), "free");
  }
  table.locks.WriteUnlock();
  for (const std::string& file : {Dat(), Idx(), Blb()}) {
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst, 65536), "free");
  }
}

TEST_F(TableLocksTest, WithoutBlobFieldsTheBlobFileIsLeftAlone) {
  Table table(dir_, /*withBlob=*/false);
  table.locks.WriteLock();
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "held");
  EXPECT_EQ(LockHolderProcess::Probe(Blb(), kRangeFirst, 65535), "free");
  table.locks.WriteUnlock();
}

TEST_F(TableLocksTest, ReadersGoTogetherAndAWriterWaitsForThem) {
  // A reader in another program holds one byte of the index range.
  LockHolderProcess foreignReader({"range", Idx(), std::to_string(kTop - 40000), "1", "60"});
  ASSERT_EQ(foreignReader.Line(), "locked");
  Table readerA(dir_), readerB(dir_), writer(dir_);
  readerA.locks.ReadLock();
  readerB.locks.ReadLock();
  EXPECT_TRUE(readerA.locks.ReadLocked());
  EXPECT_TRUE(readerB.locks.ReadLocked());
  EXPECT_EQ(readerA.checks, 1);

  std::atomic<bool> readersGone{false};
  std::atomic<bool> writerSawReaders{false};
  std::thread writing([&] {
    writer.locks.WriteLock();
    writerSawReaders = !readersGone;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  readerA.locks.ReadUnlock();
  readerB.locks.ReadUnlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  readersGone = true;
  foreignReader.Stop();
  writing.join();
  EXPECT_FALSE(writerSawReaders) << "the writer got the range while readers held bytes";
  EXPECT_TRUE(writer.locks.WriteLocked());
  EXPECT_GT(writer.locks.LastAttempts(), 1);

  // Now readers wait for the writer.
  std::atomic<bool> writerGone{false};
  std::atomic<bool> readerSawWriter{false};
  std::thread reading([&] {
    readerA.locks.ReadLock();
    readerSawWriter = !writerGone;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  writerGone = true;
  writer.locks.WriteUnlock();
  reading.join();
  EXPECT_FALSE(readerSawWriter);
  EXPECT_TRUE(readerA.locks.ReadLocked());
}

TEST_F(TableLocksTest, ReaderBytesAreOneByteInsideTheWriterRange) {
  Table table(dir_);
  table.locks.ReadLock();
  // Exactly one byte of each file's range is held by the reader.
  for (const std::string& file : {Idx(), Blb()}) {
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst, 65535), "held");
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst, 1), "free");  // r never 65535
    EXPECT_EQ(LockHolderProcess::Probe(file, kTop, 1), "free");         // r never 0
  }
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 0, kTop + 1), "free") << "the data file is not touched";
  table.locks.ReadUnlock();
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Blb(), kRangeFirst, 65535), "free");
}

TEST_F(TableLocksTest, DrawsCoverTheReaderRange) {
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    const int r = DrawReaderByte();
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 65534);
    seen.insert(r);
  }
  EXPECT_GT(seen.size(), 1900u) << "draws should rarely repeat";
}

TEST_F(TableLocksTest, TransientReadLockStandsAsideForOtherLocks) {
  Table table(dir_);
  EXPECT_TRUE(table.locks.TransientReadLock());
  EXPECT_FALSE(table.locks.TransientReadLock());
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "held");
  table.locks.TransientReadUnlock();
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "free");
  table.locks.ReadLock();
  EXPECT_FALSE(table.locks.TransientReadLock());
  table.locks.ReadUnlock();
  table.locks.TableLock();
  EXPECT_FALSE(table.locks.TransientReadLock());
  table.locks.TableUnlock();
  EXPECT_EQ(table.checks, 2) << "transient locks leave the check to the caller";
}

TEST_F(TableLocksTest, TableLockKeepsTheDataByteAcrossWrites) {
  Table table(dir_);
  table.locks.TableLock();
  EXPECT_EQ(table.checks, 1);
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), kTop, 1), "held");
  table.locks.WriteLock();
  EXPECT_EQ(table.checks, 1) << "no check under the table lock";
  table.locks.WriteUnlock();
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), kTop, 1), "held");
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "free");
  table.locks.RecordLock(9);
  table.locks.RecordUnlock(9);  // skipped under the table lock
  EXPECT_TRUE(table.locks.HoldsRecord(9));
  table.locks.TableUnlock();
  EXPECT_TRUE(table.locks.LockedRecords().empty());
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), lockbytes::RecordByte(9), 3), "free");

  // Held elsewhere: 10249 once the structural retries run out is too slow to
  // wait for here, but a table lock must wait while another writer works.
  Table other(dir_);
  other.locks.WriteLock();
  std::atomic<bool> released{false};
  std::atomic<bool> early{false};
  std::thread locking([&] {
    table.locks.TableLock();
    early = !released;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  released = true;
  other.locks.WriteUnlock();
  locking.join();
  EXPECT_FALSE(early);
  table.locks.TableUnlock();
}

TEST_F(TableLocksTest, TableUnlockReleasesTheAllRecordsLock) {
  Table table(dir_);
  table.locks.TableLock();
  table.locks.LockAllRecords();
  table.locks.TableUnlock();
  EXPECT_FALSE(table.locks.AllRecordsLocked());
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483645, 100000003), "free");
}

TEST_F(TableLocksTest, CloseReleasesEverything) {
  Table table(dir_);
  table.locks.ReadLock();
  table.locks.RecordLock(2);
  table.locks.ReleaseAll();
  EXPECT_FALSE(table.locks.ReadLocked());
  EXPECT_TRUE(table.locks.LockedRecords().empty());
  table.locks.WriteLock();
  table.locks.LockAllRecords();
  table.locks.ReleaseAll();
  EXPECT_FALSE(table.locks.WriteLocked() || table.locks.AllRecordsLocked());
  for (const std::string& file : {Dat(), Idx(), Blb()}) {
    EXPECT_EQ(LockHolderProcess::Probe(file, 0, kTop + 1), "free") << file;
  }
}

TEST_F(TableLocksTest, ExclusiveTablesTakeNoLocks) {
  Table table(dir_, true, /*exclusive=*/true);
  table.locks.ReadLock();
  table.locks.WriteLock();
  table.locks.RecordLock(1);
  table.locks.LockAllRecords();
  EXPECT_FALSE(table.locks.TransientReadLock());
  EXPECT_EQ(table.checks, 0);
  table.locks.TableLock();
  EXPECT_TRUE(table.locks.TableLocked()) << "only the flag";
  EXPECT_EQ(table.checks, 0);
  // The share mode keeps the helper out entirely; nothing else to probe.
  table.locks.TableUnlock();
  EXPECT_FALSE(table.locks.TableLocked());
}

TEST_F(TableLocksTest, ReadOnlyAttributeTablesTakeNoLocks) {
  for (const std::string& file : {Dat(), Idx(), Blb()}) ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  Table table(dir_);
  ASSERT_TRUE(table.data.NoLocking());
  table.locks.ReadLock();
  table.locks.RecordLock(1);
  table.locks.WriteLock();
  EXPECT_FALSE(table.locks.ReadLocked() || table.locks.WriteLocked());
  EXPECT_EQ(LockHolderProcess::Probe(Dat(), 2047483645, 100000003), "free");
  EXPECT_EQ(LockHolderProcess::Probe(Idx(), kRangeFirst, 65535), "free");
  EXPECT_EQ(CodeOf([&] { table.data.Write("x", 1); }), 11013);
}

TEST_F(TableLocksTest, AFailedChangeCheckGivesTheLockBack) {
  Table table(dir_);
  table.locks.SetChangeCheck([]() -> bool { throw std::runtime_error("header corrupt"); });
  EXPECT_THROW(table.locks.ReadLock(), std::runtime_error);
  EXPECT_FALSE(table.locks.ReadLocked());
  EXPECT_THROW(table.locks.WriteLock(), std::runtime_error);
  EXPECT_FALSE(table.locks.WriteLocked());
  for (const std::string& file : {Dat(), Idx(), Blb()}) {
    EXPECT_EQ(LockHolderProcess::Probe(file, kRangeFirst, 65536), "free");
  }
}

}  // namespace
}  // namespace quire
