#pragma once
// Scopes of TDataFile operations (internal to the data file's sources).
//
// TReadScope: a read operation. A transient read lock taken during it (on
// the first cache miss, EnsureFresh) is released when it ends; with strict
// change detection the check runs at its start.
//
// TWriteScope: one insert, modify or delete. Holds the write lock; on the
// way out, also after a failure, restores the index order that was active
// and releases the record lock it took and the write lock.

#include <cstdint>
#include <exception>

#include "engine/DataFile.h"

namespace quire {

class TDataFile::TReadScope {
 public:
  explicit TReadScope(TDataFile& table) : table_(table), held_(table.locks_.TransientReadLocked()) {
    if (table_.strictChangeDetection_) table_.EnsureFresh();
  }
  ~TReadScope() {
    if (held_ || !table_.locks_.TransientReadLocked()) return;
    try {
      table_.locks_.TransientReadUnlock();
    } catch (...) {
      // The read itself succeeded or failed on its own account.
    }
    table_.SyncCompanionLocks();
  }
  TReadScope(const TReadScope&) = delete;
  TReadScope& operator=(const TReadScope&) = delete;

 private:
  TDataFile& table_;
  bool held_;
};

class TDataFile::TWriteScope {
 public:
  explicit TWriteScope(TDataFile& table);
  ~TWriteScope();
  TWriteScope(const TWriteScope&) = delete;
  TWriteScope& operator=(const TWriteScope&) = delete;

  // Takes record `number`'s lock, to be released when the scope ends (unless
  // this object held it already or Keep is called).
  void LockRecord(std::uint32_t number);
  // Leaves the record lock held after the scope.
  void KeepRecordLock() { record_ = 0; }
  // Releases the locks now, reporting a failure to release.
  void Finish();

 private:
  void Release(bool report);

  TDataFile& table_;
  std::uint8_t index_;
  std::uint32_t record_ = 0;
  bool finished_ = false;
};

}  // namespace quire
