#pragma once
// The locking protocol by which several programs share one table.
//
// Every lock is a byte range at the top of the 31-bit offset range of one of
// the table's files, beyond any real data, so locks never block reads or
// writes:
//   read lock      one byte at 2147483647 - r of the index file (and the blob
//                  file), r drawn at random in 1..65534 before every attempt
//   write lock     data byte 2147483647, then the 65535 bytes from 2147418112
//                  of the index file (and the blob file)
//   table lock     data byte 2147483647
//   record lock n  data byte 2147483646 - n
//   all records    100,000,001 data bytes from 2047483645
// A writer must lock the whole range in which each reader holds one byte, so
// readers work side by side, a writer waits for them, and readers wait while a
// writer holds the range. Records up to 100,000,000 lie inside the
// all-records range, so that lock and record locks exclude each other.
//
// A TTableLocks belongs to one open table and keeps its lock state and record
// lock list. Nothing is locked for an exclusive or no-locking data file.
// Failures raise 10249 (read, write, table), 10258 (record), 10241 (all
// records) or 10242 (record unlock).

#include <cstdint>
#include <functional>
#include <set>

namespace quire {

class TFileHandler;

namespace lockbytes {
inline constexpr std::int64_t kTop = 2147483647;
inline constexpr std::int64_t kStructuralFirst = 2147418112;  // kTop - 65535
inline constexpr std::int64_t kStructuralLength = 65535;
inline constexpr std::int64_t kAllRecordsFirst = 2047483645;
inline constexpr std::int64_t kAllRecordsLength = 100000001;
// Structural locks (read, write, table) try this many times more after the
// first attempt, 3 ms apart.
inline constexpr int kStructuralRetries = 8192;

// The data-file byte that stands for record `record` (from 1).
constexpr std::int64_t RecordByte(std::uint32_t record) {
  return kTop - 1 - record;
}
}  // namespace lockbytes

// A draw for a reader's byte from the process-wide generator, seeded from the
// clock so that programs draw differently: uniform in 0..65534 with 0 made 1.
std::uint16_t DrawReaderByte();

class TTableLocks {
 public:
  // Runs after a read, write, table or all-records lock is obtained, and
  // under the transient read lock where a record lock needs it; the data file
  // re-reads what others changed. Returns whether anything changed.
  using ChangeCheck = std::function<bool()>;

  // The handlers stay owned by the table and must outlive this object.
  TTableLocks(TFileHandler& dataFile, TFileHandler& indexFile);

  // The blob file takes part in read and write locks while set (the table has
  // blob fields); null when it has none.
  void SetBlobFile(TFileHandler* blobFile) { blobFile_ = blobFile; }
  void SetChangeCheck(ChangeCheck check) { changeCheck_ = std::move(check); }

  // Record lock retries after the first attempt, and the wait between them.
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t count) { lockRetryCount_ = count; }
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t milliseconds) { lockWaitTime_ = milliseconds; }
  // When on, the table checks for changes itself before every read, and a
  // record lock takes no transient read lock.
  void SetStrictChangeDetection(bool strict) { strictChangeDetection_ = strict; }

  // Shared read lock: index byte, then blob byte; then the change check.
  void ReadLock();
  void ReadUnlock();
  // The same bytes around one operation, under a flag of their own. Skipped
  // (false) while a read, transient read, write, table or all-records lock
  // is held; true when taken, and only then is TransientReadUnlock due.
  bool TransientReadLock();
  void TransientReadUnlock();
  // For one insert, modify or delete: data byte (already held under the table
  // lock), index range, blob range; then the change check unless the table
  // lock was held. Released in reverse, keeping the data byte under the table
  // lock.
  void WriteLock();
  void WriteUnlock();
  // Data byte, then the change check. An exclusive table only sets the flag.
  void TableLock();
  // Releases the data byte, then the all-records lock if held, else every
  // record lock of this object.
  void TableUnlock();
  // Locks record `record` (0 means there is no current record: 10258),
  // unless the all-records lock is held or this object holds it already.
  void RecordLock(std::uint32_t record);
  // Skipped under the all-records or table lock; a record this object does
  // not hold is ignored; 0 (no current record) gives 10242.
  void RecordUnlock(std::uint32_t record);
  void LockAllRecords();
  void UnlockAllRecords();
  // On close: read, all-records, record, transient read and write locks
  // released in that order, failures ignored.
  void ReleaseAll() noexcept;
  // Forgets all state without unlocking, for files already closed.
  void Reset();

  bool ReadLocked() const { return readLocked_; }
  bool TransientReadLocked() const { return transientLocked_; }
  bool WriteLocked() const { return writeLocked_; }
  bool TableLocked() const { return tableLocked_; }
  bool AllRecordsLocked() const { return allRecordsLocked_; }
  bool HoldsRecord(std::uint32_t record) const { return records_.count(record) != 0; }
  const std::set<std::uint32_t>& LockedRecords() const { return records_; }

  // Lock attempts made by the last operation that tried bytes, over all its
  // files; for a record or all-records lock, those on the record bytes.
  int LastAttempts() const { return lastAttempts_; }

 private:
  struct ReaderBytes {
    std::int64_t index = 0;  // 0: not held
    std::int64_t blob = 0;
  };

  bool Skipped() const;
  void RunChangeCheck();
  void LockReaderBytes(ReaderBytes& bytes);
  void UnlockReaderBytes(ReaderBytes& bytes);
  std::int64_t LockReaderByte(TFileHandler& file);
  void LockStructural(TFileHandler& file, std::int64_t offset, std::int64_t length, bool spin);
  void LockDataByte();
  void UnlockDataByte();
  void DropDataByte() noexcept;  // after a failure, which it must not mask
  bool TryWithRetries(TFileHandler& file, std::int64_t offset, std::int64_t length);

  TFileHandler& dataFile_;
  TFileHandler& indexFile_;
  TFileHandler* blobFile_ = nullptr;
  ChangeCheck changeCheck_;

  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
  bool strictChangeDetection_ = false;

  bool readLocked_ = false;
  bool transientLocked_ = false;
  bool writeLocked_ = false;
  bool tableLocked_ = false;
  bool allRecordsLocked_ = false;
  bool dataByteHeld_ = false;  // by the write lock, the table lock or both
  bool blobRangeHeld_ = false;
  ReaderBytes readBytes_;
  ReaderBytes transientBytes_;
  std::set<std::uint32_t> records_;
  int lastAttempts_ = 0;
};

}  // namespace quire
