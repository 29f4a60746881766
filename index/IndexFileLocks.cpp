// TIndexFile: the index file's read and write lock primitives.
#include <chrono>
#include <thread>

#include "engine/TableLocks.h"
#include "index/IndexFile.h"

namespace quire {

namespace {

constexpr auto kLockWait = std::chrono::milliseconds(3);

bool LocksSkipped(const TFileHandler& file) {
  return file.Exclusive() || file.NoLocking();
}

}  // namespace

bool TIndexFile::ReadLock() {
  if (readLocked_) return true;
  if (LocksSkipped(*this)) {
    readLocked_ = true;
    return true;
  }
  for (int attempt = 0; attempt <= lockbytes::kStructuralRetries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kLockWait);
    // A fresh byte each time: two readers that met on one byte part again.
    const std::int64_t byte = lockbytes::kTop - DrawReaderByte();
    if (LockRange(byte, 1)) {
      readLockByte_ = byte;
      readLocked_ = true;
      return true;
    }
  }
  return false;
}

void TIndexFile::ReadUnlock() {
  if (!readLocked_) return;
  readLocked_ = false;
  if (readLockByte_ != 0) UnlockRange(readLockByte_, 1);
  readLockByte_ = 0;
}

bool TIndexFile::WriteLock() {
  if (writeLocked_) return true;
  if (!LocksSkipped(*this)) {
    bool locked = false;
    for (int attempt = 0; attempt <= lockbytes::kStructuralRetries && !locked; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kLockWait);
      locked = LockRange(lockbytes::kStructuralFirst, lockbytes::kStructuralLength);
    }
    if (!locked) return false;
  }
  writeLocked_ = true;
  return true;
}

void TIndexFile::WriteUnlock() {
  if (!writeLocked_) return;
  writeLocked_ = false;
  if (!LocksSkipped(*this)) UnlockRange(lockbytes::kStructuralFirst, lockbytes::kStructuralLength);
}

}  // namespace quire
