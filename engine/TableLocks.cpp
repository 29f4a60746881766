#include "engine/TableLocks.h"

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"

namespace quire {
namespace {

using lockbytes::kAllRecordsFirst;
using lockbytes::kAllRecordsLength;
using lockbytes::kStructuralFirst;
using lockbytes::kStructuralLength;
using lockbytes::kStructuralRetries;
using lockbytes::kTop;

constexpr int kStructuralWaitMs = 3;

// Waits by watching the clock until more than `milliseconds` have passed.
// The waits are short and frequent; yielding keeps the other core usable.
void SpinWait(int milliseconds) {
  const auto start = std::chrono::steady_clock::now();
  const auto wait = std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() - start <= wait) std::this_thread::yield();
}

void SleepWait(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Runs a release whose failure must not hide the error already on its way or
// stop a close.
template <typename Release>
void Quietly(Release release) noexcept {
  try {
    release();
  } catch (...) {
  }
}

}  // namespace

std::uint16_t DrawReaderByte() {
  // One generator for the whole process; tables on several threads draw from
  // it, hence the lock.
  static std::mutex mutex;
  static std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::system_clock::now().time_since_epoch().count() ^
      (static_cast<std::uint64_t>(::getpid()) << 16)));
  std::uniform_int_distribution<int> draw(0, 65534);
  std::lock_guard guard(mutex);
  const int r = draw(generator);
  return static_cast<std::uint16_t>(r == 0 ? 1 : r);
}

TTableLocks::TTableLocks(TFileHandler& dataFile, TFileHandler& indexFile)
    : dataFile_(dataFile), indexFile_(indexFile) {}

bool TTableLocks::Skipped() const {
  return dataFile_.Exclusive() || dataFile_.NoLocking();
}

void TTableLocks::RunChangeCheck() {
  if (changeCheck_) changeCheck_();
}

// ---- reader bytes --------------------------------------------------------

std::int64_t TTableLocks::LockReaderByte(TFileHandler& file) {
  // A fresh draw each time: two readers that met on one byte part again.
  for (int attempt = 1;; ++attempt) {
    const std::int64_t offset = kTop - DrawReaderByte();
    ++lastAttempts_;
    if (file.LockRange(offset, 1)) return offset;
    if (attempt > kStructuralRetries) return 0;
    SleepWait(kStructuralWaitMs);
  }
}

void TTableLocks::LockReaderBytes(ReaderBytes& bytes) {
  bytes.index = LockReaderByte(indexFile_);
  if (bytes.index == 0) RaiseEngineError(err::GeneralLockFailure, indexFile_.FileName());
  if (blobFile_ != nullptr) {
    bytes.blob = LockReaderByte(*blobFile_);
    if (bytes.blob == 0) {
      indexFile_.UnlockRange(bytes.index, 1);
      bytes.index = 0;
      RaiseEngineError(err::GeneralLockFailure, blobFile_->FileName());
    }
  }
}

void TTableLocks::UnlockReaderBytes(ReaderBytes& bytes) {
  bool ok = true;
  if (bytes.blob != 0 && blobFile_ != nullptr) ok = blobFile_->UnlockRange(bytes.blob, 1);
  if (bytes.index != 0) ok = indexFile_.UnlockRange(bytes.index, 1) && ok;
  bytes = {};
  if (!ok) RaiseEngineError(err::GeneralLockFailure, dataFile_.FileName());
}

void TTableLocks::ReadLock() {
  if (Skipped() || readLocked_) return;
  lastAttempts_ = 0;
  LockReaderBytes(readBytes_);
  readLocked_ = true;
  try {
    RunChangeCheck();
  } catch (...) {
    Quietly([this] { ReadUnlock(); });
    throw;
  }
}

void TTableLocks::ReadUnlock() {
  if (!readLocked_) return;
  readLocked_ = false;
  UnlockReaderBytes(readBytes_);
}

bool TTableLocks::TransientReadLock() {
  // Under the all-records lock no other program can change the table: each
  // change it makes needs a record lock inside that range, and the lock's
  // own change check ran when it was taken.
  if (Skipped() || readLocked_ || transientLocked_ || writeLocked_ || tableLocked_ ||
      allRecordsLocked_)
    return false;
  lastAttempts_ = 0;
  LockReaderBytes(transientBytes_);
  transientLocked_ = true;
  return true;
}

void TTableLocks::TransientReadUnlock() {
  if (!transientLocked_) return;
  transientLocked_ = false;
  UnlockReaderBytes(transientBytes_);
}

// ---- write and table locks -----------------------------------------------

void TTableLocks::LockStructural(TFileHandler& file, std::int64_t offset, std::int64_t length,
                                 bool spin) {
  for (int attempt = 1;; ++attempt) {
    ++lastAttempts_;
    if (file.LockRange(offset, length)) return;
    if (attempt > kStructuralRetries) RaiseEngineError(err::GeneralLockFailure, file.FileName());
    if (spin) {
      SpinWait(kStructuralWaitMs);
    } else {
      SleepWait(kStructuralWaitMs);
    }
  }
}

void TTableLocks::LockDataByte() {
  if (dataByteHeld_) return;
  LockStructural(dataFile_, kTop, 1, true);
  dataByteHeld_ = true;
}

void TTableLocks::DropDataByte() noexcept {
  dataFile_.UnlockRange(kTop, 1);
  dataByteHeld_ = false;
}

void TTableLocks::UnlockDataByte() {
  if (!dataByteHeld_) return;
  dataByteHeld_ = false;
  if (!dataFile_.UnlockRange(kTop, 1)) {
    RaiseEngineError(err::GeneralLockFailure, dataFile_.FileName());
  }
}

void TTableLocks::WriteLock() {
  if (Skipped() || writeLocked_) return;
  lastAttempts_ = 0;
  const bool tableWasLocked = tableLocked_;
  LockDataByte();
  try {
    LockStructural(indexFile_, kStructuralFirst, kStructuralLength, false);
  } catch (...) {
    if (!tableLocked_) DropDataByte();
    throw;
  }
  if (blobFile_ != nullptr) {
    try {
      LockStructural(*blobFile_, kStructuralFirst, kStructuralLength, false);
    } catch (...) {
      indexFile_.UnlockRange(kStructuralFirst, kStructuralLength);
      if (!tableLocked_) DropDataByte();
      throw;
    }
    blobRangeHeld_ = true;
  }
  writeLocked_ = true;
  if (tableWasLocked) return;
  try {
    RunChangeCheck();
  } catch (...) {
    Quietly([this] { WriteUnlock(); });
    throw;
  }
}

void TTableLocks::WriteUnlock() {
  if (!writeLocked_) return;
  writeLocked_ = false;
  bool ok = true;
  if (blobRangeHeld_) {
    blobRangeHeld_ = false;
    ok = blobFile_ == nullptr || blobFile_->UnlockRange(kStructuralFirst, kStructuralLength);
  }
  ok = indexFile_.UnlockRange(kStructuralFirst, kStructuralLength) && ok;
  if (!ok) {
    if (!tableLocked_) DropDataByte();
    RaiseEngineError(err::GeneralLockFailure, dataFile_.FileName());
  }
  if (!tableLocked_) UnlockDataByte();
}

void TTableLocks::TableLock() {
  if (tableLocked_) return;
  if (Skipped()) {
    tableLocked_ = true;
    return;
  }
  lastAttempts_ = 0;
  LockDataByte();
  tableLocked_ = true;
  try {
    RunChangeCheck();
  } catch (...) {
    TableUnlock();
    throw;
  }
}

void TTableLocks::TableUnlock() {
  if (!tableLocked_) return;
  tableLocked_ = false;
  if (Skipped()) return;
  bool byteReleased = true;
  if (!writeLocked_) {
    byteReleased = dataFile_.UnlockRange(kTop, 1);
    dataByteHeld_ = false;
  }
  if (allRecordsLocked_) {
    UnlockAllRecords();
  } else {
    // Record locks taken under the table lock were never released one by one.
    bool recordsReleased = true;
    for (std::uint32_t record : records_) {
      recordsReleased = dataFile_.UnlockRange(lockbytes::RecordByte(record), 1) && recordsReleased;
    }
    records_.clear();
    if (!recordsReleased) RaiseEngineError(err::CannotUnlock, dataFile_.FileName());
  }
  if (!byteReleased) RaiseEngineError(err::GeneralLockFailure, dataFile_.FileName());
}

// ---- record locks --------------------------------------------------------

bool TTableLocks::TryWithRetries(TFileHandler& file, std::int64_t offset, std::int64_t length) {
  lastAttempts_ = 0;
  for (int failures = 0;;) {
    ++lastAttempts_;
    if (file.LockRange(offset, length)) return true;
    if (++failures > lockRetryCount_) return false;
    SpinWait(lockWaitTime_);
  }
}

void TTableLocks::RecordLock(std::uint32_t record) {
  if (Skipped() || allRecordsLocked_) return;
  if (record == 0) RaiseEngineError(err::RecordInUse, dataFile_.FileName());
  // Under the write or table lock no other program can have written since
  // that lock's own change check, so a second check would only read the
  // headers again.
  if (!strictChangeDetection_ && !writeLocked_ && !tableLocked_) {
    // Readers of the record must see what others wrote before it is locked.
    // The reader bytes go again before the wait, so that a writer holding the
    // record is never kept waiting by this one.
    const bool took = TransientReadLock();
    try {
      RunChangeCheck();
    } catch (...) {
      if (took) TransientReadUnlock();
      throw;
    }
    if (took) TransientReadUnlock();
  }
  if (HoldsRecord(record)) return;
  if (!TryWithRetries(dataFile_, lockbytes::RecordByte(record), 1)) {
    RaiseEngineError(err::RecordInUse, dataFile_.FileName());
  }
  records_.insert(record);
}

void TTableLocks::RecordUnlock(std::uint32_t record) {
  if (Skipped() || allRecordsLocked_ || tableLocked_) return;
  if (record == 0) RaiseEngineError(err::CannotUnlock, dataFile_.FileName());
  if (!HoldsRecord(record)) return;
  records_.erase(record);
  if (!dataFile_.UnlockRange(lockbytes::RecordByte(record), 1)) {
    RaiseEngineError(err::CannotUnlock, dataFile_.FileName());
  }
}

void TTableLocks::LockAllRecords() {
  if (Skipped() || allRecordsLocked_) return;
  if (!TryWithRetries(dataFile_, kAllRecordsFirst, kAllRecordsLength)) {
    RaiseEngineError(err::TableLocked, dataFile_.FileName());
  }
  allRecordsLocked_ = true;
  try {
    RunChangeCheck();
  } catch (...) {
    UnlockAllRecords();
    throw;
  }
}

void TTableLocks::UnlockAllRecords() {
  if (!allRecordsLocked_) return;
  allRecordsLocked_ = false;
  if (!dataFile_.UnlockRange(kAllRecordsFirst, kAllRecordsLength)) {
    RaiseEngineError(err::CannotUnlock, dataFile_.FileName());
  }
}

// ---- close ---------------------------------------------------------------

void TTableLocks::ReleaseAll() noexcept {
  // Closing goes on past a failed release; closing the file drops the rest.
  Quietly([this] { ReadUnlock(); });
  Quietly([this] { UnlockAllRecords(); });
  Quietly([this] {
    const auto held = records_;
    for (std::uint32_t record : held) {
      records_.erase(record);
      if (!Skipped()) dataFile_.UnlockRange(lockbytes::RecordByte(record), 1);
    }
  });
  Quietly([this] { TransientReadUnlock(); });
  Quietly([this] { WriteUnlock(); });
  Quietly([this] { TableUnlock(); });
}

void TTableLocks::Reset() {
  readLocked_ = transientLocked_ = writeLocked_ = tableLocked_ = allRecordsLocked_ = false;
  dataByteHeld_ = blobRangeHeld_ = false;
  readBytes_ = {};
  transientBytes_ = {};
  records_.clear();
}

}  // namespace quire
