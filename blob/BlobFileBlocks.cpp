// TBlobFile: blocks through the cache, the change check before a block is
// read from a shared file, and the cache controls.
#include <chrono>
#include <thread>

#include "blob/BlobFile.h"
#include "blob/BlockCache.h"
#include "engine/EngineError.h"
#include "engine/TableLocks.h"

namespace quire {
namespace {

constexpr auto kLockWait = std::chrono::milliseconds(3);

// One reader byte of the blob file held for one scope, so that no writer
// changes the file between the change check and the read. Nothing is locked
// on an exclusive or no-locking file.
class TReaderByte {
 public:
  explicit TReaderByte(TFileHandler& file) : file_(file) {
    if (file.Exclusive() || file.NoLocking()) return;
    for (int attempt = 0; attempt <= lockbytes::kStructuralRetries; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kLockWait);
      // A fresh byte each time: two readers that met on one byte part again.
      const std::int64_t byte = lockbytes::kTop - DrawReaderByte();
      if (file.LockRange(byte, 1)) {
        byte_ = byte;
        return;
      }
    }
    RaiseEngineError(err::GeneralLockFailure, file.FileName());
  }
  ~TReaderByte() {
    if (byte_ == 0) return;
    try {
      file_.UnlockRange(byte_, 1);
    } catch (...) {  // the read's own outcome matters more
    }
  }
  TReaderByte(const TReaderByte&) = delete;
  TReaderByte& operator=(const TReaderByte&) = delete;

 private:
  TFileHandler& file_;
  std::int64_t byte_ = 0;
};

// Sets a flag for one scope and puts back what it was.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = was_; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
  bool was_;
};

}  // namespace

bool TBlobFile::NeedsChangeCheck() const {
  return !Exclusive() && !tableLockHeld_ && !changeInProgress_;
}

TBlock* TBlobFile::FetchBlock(std::uint32_t offset, std::uint32_t readAhead) {
  if (ValidBlockOffset(offset)) {
    if (TBlock* block = cache_->Find(offset)) return block;
  }
  if (!NeedsChangeCheck()) {
    RequireBlockOffset(offset);
    return &cache_->Load(offset, readAhead, header_.EndOffset);
  }
  // The offset is judged against the header as it is now: another user may
  // have added the block since we read the header.
  TReaderByte lock(*this);
  if (CheckForChanges()) return nullptr;
  RequireBlockOffset(offset);
  return &cache_->Load(offset, readAhead, header_.EndOffset);
}

TBlock& TBlobFile::FetchKnownBlock(std::uint32_t offset, std::uint32_t readAhead) {
  TBlock* block = FetchBlock(offset, readAhead);
  // Inside RunChange no check runs, so a fetch always yields its block.
  if (block == nullptr) RaiseCorrupt();
  return *block;
}

void TBlobFile::RunChange(const std::function<void()>& change) {
  RequireOpenFile();
  if (NeedsChangeCheck()) {
    TReaderByte lock(*this);
    CheckForChanges();
  }
  TFlagScope scope(changeInProgress_);
  change();
}

void TBlobFile::FlushBlocks() {
  if (cache_) cache_->WriteBack();
}

void TBlobFile::Invalidate() {
  if (cache_) cache_->Invalidate();
}

void TBlobFile::SetTableLockHeld(bool held, bool buffered) {
  tableLockHeld_ = held;
  bufferedMode_ = held && buffered;
  if (cache_) cache_->SetMayGrow(bufferedMode_);
}

std::size_t TBlobFile::CachedBlocks() const {
  return cache_ ? cache_->Size() : 0;
}

std::size_t TBlobFile::CacheCapacity() const {
  return cache_ ? cache_->Capacity() : BlockCacheCapacity(blockSize_);
}

std::uint64_t TBlobFile::BlockReads() const {
  return cache_ ? cache_->Reads() : 0;
}

std::uint64_t TBlobFile::BlockWrites() const {
  return cache_ ? cache_->Writes() : 0;
}

}  // namespace quire
