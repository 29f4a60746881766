#include "engine/MemoryFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/FileNames.h"

namespace quire {
namespace {

constexpr int kUnknownName = -11010;
constexpr int kInUse = -11013;
constexpr int kOutOfMemory = -11016;
constexpr int kInvalidPosition = -11017;

// Blanks here are every byte up to the space, as the names come from
// fixed-width fields and user input alike.
std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return lyrabook::EqualsIgnoringAsciiCase(Trim(a), Trim(b));
}

// The file part of a name without folder and extension, trimmed.
std::string_view BaseName(std::string_view name) {
  if (auto slash = name.find_last_of('/'); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (auto dot = name.find_last_of('.'); dot != std::string_view::npos) {
    name = name.substr(0, dot);
  }
  return Trim(name);
}

}  // namespace

TMemoryFile::TMemoryFile(std::string name) : name_(std::move(name)) {}

TMemoryFile::Handle* TMemoryFile::FindHandle(int number) {
  auto it = std::find_if(handles_.begin(), handles_.end(),
                         [number](const Handle& h) { return h.number == number; });
  return it == handles_.end() ? nullptr : &*it;
}

int TMemoryFile::OpenHandle(bool exclusive) {
  // The count after adding is the number, as long as closes out of order have
  // not left it taken; two handles sharing a number would share a position.
  int number = static_cast<int>(handles_.size()) + 1;
  if (FindHandle(number) != nullptr) {
    number = 1;
    while (FindHandle(number) != nullptr) ++number;
  }
  handles_.push_back({number, 0});
  exclusive_ = exclusive;
  return number;
}

bool TMemoryFile::CloseHandle(int handle) {
  auto it = std::find_if(handles_.begin(), handles_.end(),
                         [handle](const Handle& h) { return h.number == handle; });
  if (it == handles_.end()) return false;
  handles_.erase(it);
  // Ranges left behind by a closed handle could never be unlocked again.
  std::erase_if(ranges_, [handle](const Range& r) { return r.handle == handle; });
  if (handles_.empty()) exclusive_ = false;
  return true;
}

int TMemoryFile::Resize(std::size_t length) {
  const std::size_t steps = (length + kCapacityStep - 1) / kCapacityStep;
  const std::size_t capacity = steps * kCapacityStep;
  try {
    if (capacity != data_.size()) {
      std::vector<unsigned char> grown(capacity);  // zero-filled, as engine buffers are
      const std::size_t kept = std::min(length_, std::min(length, capacity));
      if (kept > 0) std::memcpy(grown.data(), data_.data(), kept);
      data_.swap(grown);
    }
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (const std::length_error&) {
    return kOutOfMemory;
  }
  // Bytes past a shrunk length must read back as zero when it grows again.
  if (length < length_ && length < data_.size()) {
    std::fill(data_.begin() + static_cast<std::ptrdiff_t>(length),
              data_.begin() + static_cast<std::ptrdiff_t>(std::min(length_, data_.size())), 0);
  }
  length_ = length;
  return 0;
}

std::int64_t TMemoryFile::Read(int handle, void* buffer, std::size_t count) {
  Handle* h = FindHandle(handle);
  if (h == nullptr) return kInUse;
  const auto position = static_cast<std::size_t>(h->position);
  if (position >= length_ || count == 0) return 0;
  const std::size_t n = std::min(count, length_ - position);
  std::memcpy(buffer, data_.data() + position, n);
  h->position += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryFile::Write(int handle, const void* buffer, std::size_t count) {
  Handle* h = FindHandle(handle);
  if (h == nullptr) return kInUse;
  const auto position = static_cast<std::size_t>(h->position);
  if (count == 0) return Resize(position);
  if (position + count > length_) {
    if (int rc = Resize(position + count); rc != 0) return rc;
  }
  std::memcpy(data_.data() + position, buffer, count);
  h->position += static_cast<std::int64_t>(count);
  return static_cast<std::int64_t>(count);
}

std::int64_t TMemoryFile::Seek(int handle, std::int64_t offset, int origin) {
  Handle* h = FindHandle(handle);
  if (h == nullptr) return kInUse;
  std::int64_t position = offset;
  if (origin == 1) position = h->position + offset;
  if (origin == 2) position = Length() - offset;
  // A position before the start would make the next read or write touch
  // memory outside the block.
  if (position < 0) return kInvalidPosition;
  h->position = position;
  return position;
}

bool TMemoryFile::LockRange(int handle, std::int64_t offset, std::int64_t length) {
  if (length <= 0 || offset < 0) return false;
  const std::int64_t last = offset + length - 1;
  for (const Range& r : ranges_) {
    if (offset <= r.last && r.first <= last) return false;
  }
  ranges_.push_back({offset, last, length, handle});
  return true;
}

bool TMemoryFile::UnlockRange(std::int64_t offset, std::int64_t length) {
  auto it = std::find_if(ranges_.begin(), ranges_.end(),
                         [&](const Range& r) { return r.first == offset && r.length == length; });
  if (it == ranges_.end()) return false;
  ranges_.erase(it);
  return true;
}

int TMemoryFile::CopyContentsFrom(const TMemoryFile& other) {
  if (&other == this) return 0;
  try {
    std::vector<unsigned char> copy(other.data_);
    data_.swap(copy);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  length_ = other.length_;
  return 0;
}

void TMemoryFile::Truncate() {
  std::vector<unsigned char>().swap(data_);
  length_ = 0;
}

std::shared_ptr<TMemoryFile> TMemoryFileList::Find(std::string_view name) const {
  for (const auto& f : files_) {
    if (SameName(f->Name(), name)) return f;
  }
  return nullptr;
}

int TMemoryFileList::Create(std::string_view name, std::shared_ptr<TMemoryFile>& file) {
  if (BaseName(name).empty()) return kUnknownName;
  std::shared_ptr<TMemoryFile> existing = Find(name);
  if (existing) {
    if (existing->OpenCount() > 0) return kInUse;
    existing->Truncate();
  } else {
    try {
      existing = std::make_shared<TMemoryFile>(std::string(Trim(name)));
      files_.push_back(existing);
    } catch (const std::bad_alloc&) {
      return kOutOfMemory;
    }
  }
  file = existing;
  return existing->OpenHandle(true);
}

int TMemoryFileList::Open(std::string_view name, bool exclusive,
                          std::shared_ptr<TMemoryFile>& file) {
  std::shared_ptr<TMemoryFile> found = Find(name);
  if (!found) return kUnknownName;
  if (found->OpenCount() > 0 && (found->Exclusive() || exclusive)) return kInUse;
  file = found;
  return found->OpenHandle(exclusive);
}

int TMemoryFileList::Rename(std::string_view oldName, std::string_view newName) {
  std::shared_ptr<TMemoryFile> found = Find(oldName);
  if (!found) return kUnknownName;
  if (found->OpenCount() > 0) return kInUse;
  if (BaseName(newName).empty()) return kUnknownName;
  // Another file of the new name would make lookups ambiguous; a change of
  // case of the same file is allowed.
  if (auto taken = Find(newName); taken && taken != found) return kInUse;
  found->Rename(std::string(Trim(newName)));
  return 0;
}

int TMemoryFileList::Copy(std::string_view source, std::string_view target) {
  std::shared_ptr<TMemoryFile> from = Find(source);
  if (!from) return kUnknownName;
  std::shared_ptr<TMemoryFile> to = Find(target);
  if (to == from) return 0;
  if (to && to->OpenCount() > 0) return kInUse;
  if (!to) {
    if (BaseName(target).empty()) return kUnknownName;
    try {
      to = std::make_shared<TMemoryFile>(std::string(Trim(target)));
      files_.push_back(to);
    } catch (const std::bad_alloc&) {
      return kOutOfMemory;
    }
  }
  return to->CopyContentsFrom(*from);
}

int TMemoryFileList::Delete(std::string_view name) {
  std::shared_ptr<TMemoryFile> found = Find(name);
  if (!found) return kUnknownName;
  if (found->OpenCount() > 0) return kInUse;
  std::erase(files_, found);
  return 0;
}

bool TMemoryFileList::Exists(std::string_view name) const {
  return Find(name) != nullptr;
}

}  // namespace quire
