// TIndexFile: its page caches, the pages it hands to the tree operations, and
// the change detection that guards unlocked page reads.
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexFile.h"

namespace quire {

namespace {

// Releases the read lock taken for one unlocked page read.
class TReadLockScope {
 public:
  explicit TReadLockScope(TIndexFile& file) : file_(file) {}
  ~TReadLockScope() {
    try {
      file_.ReadUnlock();
    } catch (...) {  // the read's own outcome matters more
    }
  }
  TReadLockScope(const TReadLockScope&) = delete;
  TReadLockScope& operator=(const TReadLockScope&) = delete;

 private:
  TIndexFile& file_;
};

}  // namespace

void TIndexFile::ResetCache(std::size_t slot) {
  caches_[slot].Reset(TPageFormat::For(static_cast<std::uint8_t>(slot), header_.Descriptor(slot)));
}

void TIndexFile::ResetCaches() {
  for (std::size_t slot = 0; slot < kIndexSlotCount; ++slot) ResetCache(slot);
}

bool TIndexFile::HasTree() const {
  return current_ != kPhysicalOrder && layout_.KeySize() != 0 &&
         !(current_ == kPrimaryIndex && header_.NoPrimary());
}

std::uint32_t TIndexFile::RootPage() const {
  return header_.RootPage(current_);
}

void TIndexFile::SetRootPage(std::uint32_t offset) {
  header_.SetRootPage(current_, offset);
  MarkHeaderModified();
}

bool TIndexFile::NeedsChangeCheck() const {
  return !Exclusive() && !tableLockHeld_ && !readLocked_ && !writeLocked_ && !changeInProgress_;
}

TPage* TIndexFile::FetchPage(std::uint32_t offset) {
  // Offsets come from the file; one outside the pages is a damaged tree.
  if (offset < kIndexHeaderSize || offset % kPageSize != 0 || offset >= header_.EndOffset()) {
    RaiseEngineError(err::IndexPagesCorrupt, FileName());
  }
  if (TPage* page = CurrentCache().Find(offset)) return page;
  if (!NeedsChangeCheck()) return &LoadPage(offset);

  if (!ReadLock()) RaiseEngineError(err::GeneralLockFailure, FileName());
  TReadLockScope unlock(*this);
  if (HeaderChanged()) {
    ReadHeader();
    Invalidate();
    return nullptr;
  }
  return &LoadPage(offset);
}

TPage& TIndexFile::LoadPage(std::uint32_t offset) {
  TPage* page = CurrentCache().Acquire(*this, encrypted_, bufferedMode_);
  if (page == nullptr) RaiseEngineError(err::IndexPagesCorrupt, FileName());
  // From the file itself: this is the cache the index file's own overload
  // of Read would consult.
  page->Read(static_cast<TFileHandler&>(*this), offset, encrypted_);
  page->SetParent(0);
  return *page;
}

void TIndexFile::RequireRoomFor(std::size_t count) {
  if (count == 0) return;
  std::uint64_t fromEnd = count;
  // Free pages count first, but walking the chain reads pages: only needed
  // when the end of the file has no room for them all.
  const std::uint64_t end = header_.EndOffset();
  if (end + (fromEnd - 1) * kPageSize > kMaxPageOffset) {
    for (std::uint32_t free = header_.FreePageHead(current_); free != 0 && fromEnd > 0; --fromEnd) {
      TPage* page = FetchPage(free);
      if (page == nullptr) RaiseEngineError(err::IndexPagesCorrupt, FileName());
      free = page->Right();
    }
  }
  if (fromEnd > 0 && end + (fromEnd - 1) * kPageSize > kMaxPageOffset) {
    RaiseEngineError(err::FileFull, FileName());
  }
}

TPage& TIndexFile::TakePage() {
  const std::uint32_t head = header_.FreePageHead(current_);
  TPage* page = nullptr;
  if (head != 0) {
    page = FetchPage(head);
    if (page == nullptr) RaiseEngineError(err::IndexPagesCorrupt, FileName());
    header_.SetFreePageHead(current_, page->Right());
    page->Reset(head);
  } else {
    const std::uint32_t offset = header_.EndOffset();
    if (offset > kMaxPageOffset) RaiseEngineError(err::FileFull, FileName());
    page = CurrentCache().Acquire(*this, encrypted_, bufferedMode_);
    if (page == nullptr) RaiseEngineError(err::IndexPagesCorrupt, FileName());
    page->Reset(offset);
    header_.SetEndOffset(offset + static_cast<std::uint32_t>(kPageSize));
  }
  MarkHeaderModified();
  return *page;
}

void TIndexFile::FreePage(TPage& page) {
  page.ClearEntries();
  page.SetFree(true);
  page.SetRight(header_.FreePageHead(current_));
  page.SetModified(true);
  header_.SetFreePageHead(current_, page.Offset());
  MarkHeaderModified();
}

const TPage* TIndexFile::CleanCachedPage(std::uint8_t number, std::uint32_t offset) const {
  if (number >= kIndexSlotCount || offset == 0) return nullptr;
  const TPage* page = caches_[number].Peek(offset);
  return page != nullptr && !page->Modified() ? page : nullptr;
}

void TIndexFile::AdoptPage(const TPage& page) {
  const std::uint8_t number = page.Format().indexNumber;
  if (bufferedMode_ || number >= kIndexSlotCount) return;
  caches_[number].Adopt(page);
}

void TIndexFile::Flush() {
  std::vector<TPage*> pages;
  for (const TPageCache& cache : caches_) cache.CollectModified(pages);
  WriteBackPages(pages, *this, encrypted_);
}

void TIndexFile::Invalidate() {
  for (TPageCache& cache : caches_) cache.Invalidate();
}

void TIndexFile::UnpinAll() {
  for (TPageCache& cache : caches_) cache.UnpinAll();
}

void TIndexFile::TrimCache() {
  for (TPageCache& cache : caches_) cache.Trim(*this, encrypted_);
}

void TIndexFile::SetTableLockHeld(bool held, bool buffered) {
  const bool wasBuffered = bufferedMode_;
  tableLockHeld_ = held;
  bufferedMode_ = held && buffered;
  if (wasBuffered && !bufferedMode_) TrimCache();
}

bool TIndexFile::CheckForChanges() {
  if (!HeaderChanged()) return false;
  ReadHeader();
  Invalidate();
  return true;
}

}  // namespace quire
