// TDataFile: working beside other programs — the lock operations, change
// detection, the write scope of every change and buffered-change mode.
#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"

namespace quire {

// ---- change detection ------------------------------------------------------

bool TDataFile::CheckForChanges() {
  const bool dataChanged = HeaderChangedOnDisk();
  const bool indexChanged = indexFile_.HeaderChanged();
  if (dataChanged || indexChanged) {
    // The index pages may have changed with the records even when the index
    // header did not (a key replaced within its page), so both go.
    indexFile_.ReadHeader();
    indexFile_.Invalidate();
    if (blobFile_.IsOpen()) blobFile_.CheckForChanges();
    DropCaches();
    return true;
  }
  if (blobFile_.IsOpen()) blobFile_.CheckForChanges();
  return false;
}

bool TDataFile::EnsureFresh() {
  if (Exclusive() || NoLocking()) return true;
  if (!locks_.TransientReadLock()) {
    // A lock of ours already keeps writers out; strict detection still
    // checks before every read.
    return !(strictChangeDetection_ && !locks_.WriteLocked() && !locks_.TableLocked() &&
             CheckForChanges());
  }
  SyncCompanionLocks();
  return !CheckForChanges();
}

bool TDataFile::BeforeIndexRead() {
  // The cursor reads pages from the file; what the index file changed must
  // be there first. Under buffered changes nothing may be written, so the
  // cursor sees the index as it was when the mode began.
  if (indexPagesPending_ && !bufferedMode_) {
    indexFile_.Flush();
    indexPagesPending_ = false;
  }
  return EnsureFresh();
}

void TDataFile::SyncCompanionLocks() {
  const bool held = locks_.ReadLocked() || locks_.TransientReadLocked() || locks_.WriteLocked() ||
                    locks_.TableLocked() || locks_.AllRecordsLocked();
  const bool buffered = bufferedMode_ && locks_.TableLocked();
  indexFile_.SetTableLockHeld(held, buffered);
  if (blobFile_.IsOpen()) blobFile_.SetTableLockHeld(held, buffered);
}

void TDataFile::SetStrictChangeDetection(bool strict) {
  strictChangeDetection_ = strict;
  locks_.SetStrictChangeDetection(strict);
}

bool TDataFile::WritesThrough() const {
  return !Exclusive() && !locks_.TableLocked() && !ReadOnly();
}

// ---- lock operations ---------------------------------------------------------

void TDataFile::LockRecord(std::uint32_t recordNumber) {
  locks_.RecordLock(recordNumber != 0 ? recordNumber : CurrentRecordNumber());
  SyncCompanionLocks();
}

void TDataFile::UnlockRecord(std::uint32_t recordNumber) {
  locks_.RecordUnlock(recordNumber != 0 ? recordNumber : CurrentRecordNumber());
}

void TDataFile::LockTable() {
  locks_.TableLock();
  SyncCompanionLocks();
}

void TDataFile::UnlockTable() {
  // What was deferred under the lock goes out before others may read.
  if (locks_.TableLocked() && !bufferedMode_ && !Exclusive() && !ReadOnly()) FlushEverything(false);
  locks_.TableUnlock();
  SyncCompanionLocks();
}

void TDataFile::LockAllRecords() {
  locks_.LockAllRecords();
  SyncCompanionLocks();
}

void TDataFile::UnlockAllRecords() {
  try {
    locks_.UnlockAllRecords();
  } catch (...) {
    SyncCompanionLocks();  // the lock is no longer counted as held either way
    throw;
  }
  SyncCompanionLocks();
}

// ---- the write scope -----------------------------------------------------------

TDataFile::TWriteScope::TWriteScope(TDataFile& table)
    : table_(table), index_(table.indexFile_.CurrentIndex()) {
  if (table_.ReadOnly()) RaiseEngineError(err::AccessDenied, table_.FileName());
  table_.BeforeFirstChange();
  table_.locks_.WriteLock();
  table_.SyncCompanionLocks();
}

void TDataFile::TWriteScope::LockRecord(std::uint32_t number) {
  const bool held = table_.locks_.HoldsRecord(number);
  table_.locks_.RecordLock(number);
  if (!held && table_.locks_.HoldsRecord(number)) record_ = number;
}

void TDataFile::TWriteScope::Release(bool report) {
  finished_ = true;
  std::exception_ptr failure;
  const auto attempt = [&](auto step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt([&] { table_.indexFile_.SelectIndex(index_); });
  if (record_ != 0) attempt([&] { table_.locks_.RecordUnlock(record_); });
  attempt([&] { table_.locks_.WriteUnlock(); });
  table_.SyncCompanionLocks();
  if (report && failure) std::rethrow_exception(failure);
}

void TDataFile::TWriteScope::Finish() {
  Release(true);
}

TDataFile::TWriteScope::~TWriteScope() {
  if (finished_) return;
  // A failed change leaves no pins behind in the index.
  table_.indexFile_.UnpinAll();
  Release(false);
}

// ---- buffered-change mode ------------------------------------------------------

void TDataFile::BeginBufferedChanges() {
  if (ReadOnly() || bufferedMode_) return;
  bufferedMode_ = true;
  bufferedChanged_ = false;
  // The table lock is taken by the first change.
  if (locks_.TableLocked()) locks_.TableUnlock();
}

void TDataFile::BeforeFirstChange() {
  if (!bufferedMode_ || locks_.TableLocked()) return;
  if (current_ != nullptr) current_->Unpin();
  current_ = nullptr;
  cache_.UnpinAll();
  if (Exclusive()) {
    FlushEverything(false);
    Flush();
    indexFile_.TFileHandler::Flush();
    if (blobFile_.IsOpen()) blobFile_.TFileHandler::Flush();
  }
  locks_.TableLock();
  SyncCompanionLocks();
}

void TDataFile::DiscardBufferedChanges() noexcept {
  if (!bufferedMode_) return;
  bufferedMode_ = false;
  try {
    if (bufferedChanged_) {
      if (current_ != nullptr) current_->Unpin();
      cache_.DiscardAll();
      cache_.Trim();
      ReadHeader();
      indexFile_.ReadHeader();
      indexFile_.Invalidate();
      if (blobFile_.IsOpen()) {
        blobFile_.ReadHeader();
        blobFile_.Invalidate();
      }
      current_ = nullptr;
      cursor_.Invalidate();
      liveValid_ = false;
      DropBitmaps();
    }
    locks_.TableUnlock();
  } catch (...) {
    // Closing goes on; the files hold what was there before the mode.
  }
  bufferedChanged_ = false;
  SyncCompanionLocks();
}

}  // namespace quire
