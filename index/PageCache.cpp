#include "index/PageCache.h"

#include <algorithm>

#include "engine/Cipher.h"
#include "engine/FileHandler.h"

namespace quire {

void TPageCache::Reset(const TPageFormat& format) {
  format_ = format;
  capacity_ = kPageCacheCapacity;
  pages_.clear();
}

void TPageCache::MoveToFront(std::size_t i) {
  std::rotate(pages_.begin(), pages_.begin() + static_cast<std::ptrdiff_t>(i),
              pages_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
}

TPage* TPageCache::Find(std::uint32_t offset) {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    if (pages_[i]->Offset() == offset) {
      if (i != 0) MoveToFront(i);
      return pages_.front().get();
    }
  }
  return nullptr;
}

const TPage* TPageCache::Peek(std::uint32_t offset) const {
  for (const auto& page : pages_) {
    if (page->Offset() == offset) return page.get();
  }
  return nullptr;
}

TPage* TPageCache::Acquire(TFileHandler& file, bool encrypted, bool mayGrow) {
  if (pages_.size() < capacity_) {
    pages_.insert(pages_.begin(), std::make_unique<TPage>(format_));
    return pages_.front().get();
  }
  for (std::size_t i = pages_.size(); i-- > 0;) {
    const TPage& page = *pages_[i];
    if (!page.Modified() && page.PinCount() == 0) {
      MoveToFront(i);
      return pages_.front().get();
    }
  }
  if (!mayGrow) {
    for (std::size_t i = pages_.size(); i-- > 0;) {
      TPage& page = *pages_[i];
      if (page.PinCount() == 0) {
        page.Write(file, encrypted);
        MoveToFront(i);
        return pages_.front().get();
      }
    }
    return nullptr;
  }
  capacity_ += kPageCacheGrowth;
  pages_.insert(pages_.begin(), std::make_unique<TPage>(format_));
  return pages_.front().get();
}

bool TPageCache::Adopt(const TPage& page) {
  const TPageFormat& format = page.Format();
  if (format.indexNumber != format_.indexNumber || format.keySize != format_.keySize ||
      format.compression != format_.compression || format.keySuffix != format_.keySuffix ||
      page.Offset() == 0 || Peek(page.Offset()) != nullptr)
    return false;
  TPage* slot = nullptr;
  if (pages_.size() < capacity_) {
    pages_.insert(pages_.begin(), std::make_unique<TPage>(format_));
    slot = pages_.front().get();
  } else {
    for (std::size_t i = pages_.size(); i-- > 0;) {
      const TPage& cached = *pages_[i];
      if (!cached.Modified() && cached.PinCount() == 0) {
        MoveToFront(i);
        slot = pages_.front().get();
        break;
      }
    }
  }
  if (slot == nullptr) return false;
  slot->CopyCleanFrom(page);
  return true;
}

void TPageCache::Invalidate() {
  for (const auto& page : pages_) page->Forget();
}

void TPageCache::UnpinAll() {
  for (const auto& page : pages_) page->ResetPins();
}

void TPageCache::Trim(TFileHandler& file, bool encrypted) {
  capacity_ = kPageCacheCapacity;
  for (std::size_t i = pages_.size(); i-- > 0 && pages_.size() > capacity_;) {
    TPage& page = *pages_[i];
    if (page.PinCount() != 0) continue;
    if (page.Modified()) page.Write(file, encrypted);
    pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TPageCache::CollectModified(std::vector<TPage*>& out) const {
  for (const auto& page : pages_) {
    if (page->Modified() && page->PinCount() == 0 && page->Offset() != 0) {
      out.push_back(page.get());
    }
  }
}

void WriteBackPages(std::vector<TPage*>& pages, TFileHandler& file, bool encrypted) {
  std::sort(pages.begin(), pages.end(),
            [](const TPage* a, const TPage* b) { return a->Offset() < b->Offset(); });
  std::vector<std::uint8_t> run;
  for (std::size_t first = 0; first < pages.size();) {
    std::size_t last = first + 1;
    while (last < pages.size() && pages[last]->Offset() == pages[last - 1]->Offset() + kPageSize) {
      ++last;
    }
    run.assign((last - first) * kPageSize, 0);
    for (std::size_t i = first; i < last; ++i) {
      const std::span<std::uint8_t, kPageSize> image(run.data() + (i - first) * kPageSize,
                                                     kPageSize);
      pages[i]->EncodeTo(image, file.FileName());
      if (encrypted) EncipherRun(image.data(), kPageSize, kDataCipherSeeds);
    }
    file.WriteAt(pages[first]->Offset(), run.data(), run.size());
    for (std::size_t i = first; i < last; ++i) pages[i]->SetModified(false);
    first = last;
  }
}

}  // namespace quire
