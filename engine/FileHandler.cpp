#include "engine/FileHandler.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "engine/MemoryFile.h"
#include "engine/OsError.h"
#include "engine/WriteBatch.h"
#include "platform/FileNames.h"

namespace quire {
namespace {

constexpr std::size_t kCopyChunk = 65535;
// ReadHead maps one page; bytes of it past the end of a shorter file read as
// zeros and never fault.
constexpr std::size_t kHeadBytes = 4096;

bool IsPermissionError(int e) {
  return e == EACCES || e == EPERM || e == EROFS;
}

// No write bit for anybody: the read-only attribute. Checked on the mode, not
// with access(), because root may write anything.
bool HasReadOnlyAttribute(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

// Opens `path` read-write when the mode allows, else read-only. Returns the
// descriptor (or -1 with errno set) and whether it may write.
lyrabook::UniqueFd OpenForLocking(const std::string& path, int extraFlags, bool& writable) {
  writable = true;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | extraFlags);
  if (fd < 0 && IsPermissionError(errno)) {
    writable = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
  }
  return lyrabook::UniqueFd(fd);
}

// Opens `path` and takes the exclusive share lock, so that nobody else has
// the file open while it is deleted, renamed or replaced. Returns 0 or errno.
int ClaimForReplacement(const std::string& path, lyrabook::UniqueFd& fd) {
  bool writable = false;
  fd = OpenForLocking(path, 0, writable);
  if (!fd.Valid()) return errno;
  return lyrabook::TakeShareLock(fd.Get(), true, writable);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void RaiseMemoryResult(int result, std::string_view fileName) {
  RaiseEngineError(static_cast<TErrorCode>(-result), fileName);
}

}  // namespace

TFileHandler::TFileHandler() = default;

TFileHandler::~TFileHandler() {
  if (open_) CloseHandles();
}

std::string TFileHandler::NormaliseName(std::string_view name) const {
  return std::string(name);
}

void TFileHandler::RequireClosed() const {
  if (open_) RaiseEngineError(err::FileInUse, name_);
}

void TFileHandler::RequireOpen() const {
  if (!open_) RaiseEngineError(err::InvalidHandle, name_);
}

void TFileHandler::RequireWritable() const {
  if (readOnly_) RaiseEngineError(err::AccessDenied, name_);
}

void TFileHandler::SetFileName(std::string_view name) {
  RequireClosed();
  name_ = NormaliseName(name);
}

void TFileHandler::SetExclusive(bool exclusive) {
  RequireClosed();
  exclusive_ = exclusive;
}

void TFileHandler::SetReadOnly(bool readOnly) {
  RequireClosed();
  readOnlySetting_ = readOnly;
  readOnly_ = readOnly;
}

void TFileHandler::SetInMemory(bool inMemory) {
  RequireClosed();
  inMemory_ = inMemory;
}

void TFileHandler::SetWriteThrough(bool writeThrough) {
  if (!open_ && writeThrough) writeThrough_ = true;
}

void TFileHandler::Open() {
  RequireClosed();
  if (inMemory_) {
    OpenInMemory();
  } else {
    OpenOnDisk();
  }
  open_ = true;
}

void TFileHandler::OpenOnDisk() {
  const std::string path = lyrabook::ResolveExistingName(name_);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) RaiseErrno(errno, name_);
  if (HasReadOnlyAttribute(st)) {
    readOnly_ = true;
    noLocking_ = true;
  }
  const int extra = writeThrough_ ? O_DSYNC : 0;
  bool writable = false;
  lyrabook::UniqueFd fd;
  if (noLocking_) {
    fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | extra));
  } else if (readOnly_) {
    // Read-only tables still take the same write locks as everybody else, and
    // a lock needs a descriptor that may write; nothing is written through it.
    fd = OpenForLocking(path, extra, writable);
  } else {
    fd.Reset(::open(path.c_str(), O_RDWR | O_CLOEXEC | extra));
    writable = true;
  }
  if (!fd.Valid()) {
    const int e = errno;
    readOnly_ = readOnlySetting_;
    noLocking_ = false;
    RaiseErrno(e, name_);
  }
  if (int rc = lyrabook::TakeShareLock(fd.Get(), exclusive_, writable); rc != 0) {
    readOnly_ = readOnlySetting_;
    noLocking_ = false;
    RaiseErrno(rc, name_);
  }
  // Only a hint: a failure changes nothing but read-ahead.
  ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_RANDOM);
  locks_ = std::make_unique<lyrabook::FileRangeLocks>(fd.Get(), writable);
  fd_ = std::move(fd);
}

void TFileHandler::OpenInMemory() {
  std::lock_guard guard(MemoryFileSection());
  std::shared_ptr<TMemoryFile> file;
  const int result = CurrentSession().MemoryFiles().Open(name_, exclusive_, file);
  if (result < 0) RaiseMemoryResult(result, name_);
  memoryFile_ = std::move(file);
  memoryHandle_ = result;
}

void TFileHandler::Create() {
  RequireClosed();
  if (!exclusive_) RaiseEngineError(err::MustBeExclusive, name_);
  if (inMemory_) {
    CreateInMemory();
  } else {
    CreateOnDisk();
  }
  readOnly_ = false;  // a new file is always opened read-write
  open_ = true;
}

void TFileHandler::CreateOnDisk() {
  // New files are spelled exactly as named.
  struct stat st {};
  if (::stat(name_.c_str(), &st) == 0 && HasReadOnlyAttribute(st)) {
    RaiseErrno(EACCES, name_);
  }
  const int extra = writeThrough_ ? O_DSYNC : 0;
  // No O_TRUNC: the contents of a file someone else has open must survive
  // until the share lock says nobody has.
  lyrabook::UniqueFd fd(::open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | extra, 0666));
  if (!fd.Valid()) RaiseErrno(errno, name_);
  if (int rc = lyrabook::TakeShareLock(fd.Get(), true, true); rc != 0) RaiseErrno(rc, name_);
  if (::ftruncate(fd.Get(), 0) != 0) RaiseErrno(errno, name_);
  ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_RANDOM);
  locks_ = std::make_unique<lyrabook::FileRangeLocks>(fd.Get(), true);
  fd_ = std::move(fd);
}

void TFileHandler::CreateInMemory() {
  std::lock_guard guard(MemoryFileSection());
  std::shared_ptr<TMemoryFile> file;
  const int result = CurrentSession().MemoryFiles().Create(name_, file);
  if (result < 0) RaiseMemoryResult(result, name_);
  memoryFile_ = std::move(file);
  memoryHandle_ = result;
}

void TFileHandler::CloseHandles() noexcept {
  if (memoryFile_) {
    std::lock_guard guard(MemoryFileSection());
    memoryFile_->CloseHandle(memoryHandle_);
    memoryFile_.reset();
    memoryHandle_ = 0;
  }
  if (head_ != nullptr) ::munmap(const_cast<unsigned char*>(head_), kHeadBytes);
  head_ = nullptr;
  headRefused_ = false;
  // Closing the descriptor releases its locks, the share lock among them.
  locks_.reset();
  fd_.Reset();
  open_ = false;
  readOnly_ = readOnlySetting_;
  noLocking_ = false;
}

void TFileHandler::SettleWrites() {
  if (batch_ != nullptr && !batch_->Empty()) batch_->Submit();
}

void TFileHandler::Close() {
  if (!open_) return;
  SettleWrites();
  CloseHandles();
}

void TFileHandler::Delete() {
  RequireClosed();
  if (inMemory_) {
    std::lock_guard guard(MemoryFileSection());
    if (CurrentSession().MemoryFiles().Delete(name_) != 0) {
      RaiseEngineError(err::CannotDelete, name_);
    }
    return;
  }
  const std::string path = lyrabook::ResolveExistingName(name_);
  lyrabook::UniqueFd claim;
  if (int rc = ClaimForReplacement(path, claim); rc != 0) {
    RaiseOsError(err::CannotDelete, static_cast<std::uint16_t>(rc), name_);
  }
  if (::unlink(path.c_str()) != 0) {
    RaiseOsError(err::CannotDelete, static_cast<std::uint16_t>(errno), name_);
  }
}

void TFileHandler::Rename(std::string_view newName) {
  RequireClosed();
  std::string target = NormaliseName(newName);
  if (inMemory_) {
    std::lock_guard guard(MemoryFileSection());
    if (CurrentSession().MemoryFiles().Rename(name_, target) != 0) {
      RaiseEngineError(err::UnknownOsError, name_);
    }
    name_ = std::move(target);
    return;
  }
  auto fail = [this](int e) {
    RaiseOsError(err::UnknownOsError, static_cast<std::uint16_t>(e), name_);
  };
  const std::string path = lyrabook::ResolveExistingName(name_);
  lyrabook::UniqueFd claim;
  if (int rc = ClaimForReplacement(path, claim); rc != 0) fail(rc);
  // Renaming onto another file would silently destroy it; a change of
  // letter case of the same file resolves to the file itself.
  const std::string existing = lyrabook::ResolveExistingName(target);
  if (existing != path && PathExists(existing)) fail(EEXIST);
  if (target != path) {
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      const int e = errno;
      if (e != EINVAL && e != ENOSYS) fail(e);
      // The file system cannot refuse replacing; the check above stands in.
      if (::rename(path.c_str(), target.c_str()) != 0) fail(errno);
    }
  }
  name_ = std::move(target);
}

void TFileHandler::CopyTo(std::string_view targetName) {
  if (!open_) return;
  if (memoryFile_) {
    std::lock_guard guard(MemoryFileSection());
    const int result = CurrentSession().MemoryFiles().Copy(name_, targetName);
    if (result < 0) RaiseMemoryResult(result, result == -err::InvalidPath ? name_ : targetName);
    return;
  }
  SettleWrites();
  const std::string target = lyrabook::ResolveExistingName(targetName);
  lyrabook::UniqueFd out(::open(target.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!out.Valid()) RaiseErrno(errno, targetName);
  // A copy onto the open file itself is refused here too, before the
  // truncation could empty the source.
  if (int rc = lyrabook::TakeShareLock(out.Get(), true, true); rc != 0) RaiseErrno(rc, targetName);
  if (::ftruncate(out.Get(), 0) != 0) RaiseErrno(errno, targetName);
  std::vector<unsigned char> chunk(kCopyChunk);
  std::int64_t offset = 0;
  for (;;) {
    const std::size_t n = ReadAt(offset, chunk.data(), chunk.size(), true);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::pwrite(out.Get(), chunk.data() + done, n - done, offset + done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) RaiseOsError(err::WriteError, static_cast<std::uint16_t>(errno), targetName);
      done += static_cast<std::size_t>(w);
    }
    offset += static_cast<std::int64_t>(n);
    if (n < kCopyChunk) break;
  }
}

bool TFileHandler::Exists() const {
  if (inMemory_) {
    std::lock_guard guard(MemoryFileSection());
    return CurrentSession().MemoryFiles().Exists(name_);
  }
  return PathExists(lyrabook::ResolveExistingName(name_));
}

std::int64_t TFileHandler::Seek(std::int64_t offset, int origin) {
  RequireOpen();
  SettleWrites();
  if (memoryFile_) {
    std::lock_guard guard(MemoryFileSection());
    const std::int64_t result = memoryFile_->Seek(memoryHandle_, offset, origin);
    if (result < 0) RaiseMemoryResult(static_cast<int>(result), name_);
    return result;
  }
  const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  const off_t result = ::lseek(fd_.Get(), static_cast<off_t>(offset), whence);
  if (result < 0) RaiseErrno(errno, name_);
  return result;
}

std::int64_t TFileHandler::Size() {
  return Seek(0, 2);
}

namespace {

// Repeats a read or write until `count` bytes moved, the end of the file, or
// an error. Returns the bytes moved; `error` is the errno of a failure or 0.
template <typename Io>
std::size_t TransferAll(std::size_t count, int& error, Io io) {
  std::size_t done = 0;
  error = 0;
  while (done < count) {
    const ssize_t n = io(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace

std::size_t TFileHandler::Read(void* buffer, std::size_t count, bool allowShort) {
  RequireOpen();
  SettleWrites();
  if (memoryFile_) return ReadFromMemory(nullptr, buffer, count, allowShort);
  auto* bytes = static_cast<unsigned char*>(buffer);
  int error = 0;
  const std::size_t n = TransferAll(count, error, [&](std::size_t done) {
    return ::read(fd_.Get(), bytes + done, count - done);
  });
  if (error != 0) RaiseOsError(err::ReadError, static_cast<std::uint16_t>(error), name_);
  if (n < count && !allowShort) RaiseEngineError(err::ReadError, name_);
  return n;
}

std::size_t TFileHandler::ReadAt(std::int64_t offset, void* buffer, std::size_t count,
                                 bool allowShort) {
  RequireOpen();
  SettleWrites();
  if (memoryFile_) return ReadFromMemory(&offset, buffer, count, allowShort);
  auto* bytes = static_cast<unsigned char*>(buffer);
  int error = 0;
  const std::size_t n = TransferAll(count, error, [&](std::size_t done) {
    return ::pread(fd_.Get(), bytes + done, count - done, static_cast<off_t>(offset + done));
  });
  if (error != 0) RaiseOsError(err::ReadError, static_cast<std::uint16_t>(error), name_);
  if (n < count && !allowShort) RaiseEngineError(err::ReadError, name_);
  return n;
}

void TFileHandler::Write(const void* buffer, std::size_t count) {
  RequireOpen();
  SettleWrites();
  RequireWritable();
  if (memoryFile_) return WriteToMemory(nullptr, buffer, count);
  if (count == 0) {
    const off_t position = ::lseek(fd_.Get(), 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(fd_.Get(), position) != 0) RaiseErrno(errno, name_);
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  int error = 0;
  const std::size_t n = TransferAll(count, error, [&](std::size_t done) {
    return ::write(fd_.Get(), bytes + done, count - done);
  });
  if (n < count) RaiseOsError(err::WriteError, static_cast<std::uint16_t>(error), name_);
}

void TFileHandler::ReadHead(void* buffer, std::size_t count) {
  RequireOpen();
  SettleWrites();
  if (head_ == nullptr && !headRefused_ && !memoryFile_ && !exclusive_ && count <= kHeadBytes) {
    struct stat status {};
    void* mapped = MAP_FAILED;
    if (::fstat(fd_.Get(), &status) == 0 && status.st_size >= static_cast<off_t>(count)) {
      mapped = ::mmap(nullptr, kHeadBytes, PROT_READ, MAP_SHARED, fd_.Get(), 0);
    }
    if (mapped == MAP_FAILED) {
      headRefused_ = true;
    } else {
      head_ = static_cast<const unsigned char*>(mapped);
    }
  }
  if (head_ == nullptr || count > kHeadBytes) {
    ReadAt(0, buffer, count);
    return;
  }
  std::memcpy(buffer, head_, count);
}

void TFileHandler::WriteAt(std::int64_t offset, const void* buffer, std::size_t count) {
  RequireOpen();
  RequireWritable();
  if (memoryFile_) return WriteToMemory(&offset, buffer, count);
  if (batch_ != nullptr && count != 0) {
    batch_->Queue(fd_.Get(), name_, offset, buffer, count);
    return;
  }
  if (count == 0) {
    SettleWrites();
    if (::ftruncate(fd_.Get(), static_cast<off_t>(offset)) != 0) RaiseErrno(errno, name_);
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  int error = 0;
  const std::size_t n = TransferAll(count, error, [&](std::size_t done) {
    return ::pwrite(fd_.Get(), bytes + done, count - done, static_cast<off_t>(offset + done));
  });
  if (n < count) RaiseOsError(err::WriteError, static_cast<std::uint16_t>(error), name_);
}

std::int64_t TFileHandler::TransferInMemory(const std::int64_t* offset, const MemoryIo& io) {
  std::lock_guard guard(MemoryFileSection());
  TMemoryFile& file = *memoryFile_;
  std::int64_t saved = 0;
  if (offset != nullptr) {
    saved = file.Seek(memoryHandle_, 0, 1);
    if (const std::int64_t at = file.Seek(memoryHandle_, *offset, 0); at < 0) {
      RaiseMemoryResult(static_cast<int>(at), name_);
    }
  }
  const std::int64_t n = io(file, memoryHandle_);
  if (offset != nullptr) file.Seek(memoryHandle_, saved, 0);
  if (n < 0) RaiseMemoryResult(static_cast<int>(n), name_);
  return n;
}

std::size_t TFileHandler::ReadFromMemory(const std::int64_t* offset, void* buffer,
                                         std::size_t count, bool allowShort) {
  const auto n = static_cast<std::size_t>(TransferInMemory(
      offset, [&](TMemoryFile& file, int handle) { return file.Read(handle, buffer, count); }));
  if (n < count && !allowShort) RaiseEngineError(err::ReadError, name_);
  return n;
}

void TFileHandler::WriteToMemory(const std::int64_t* offset, const void* buffer,
                                 std::size_t count) {
  const auto n = static_cast<std::size_t>(TransferInMemory(
      offset, [&](TMemoryFile& file, int handle) { return file.Write(handle, buffer, count); }));
  if (n < count) RaiseEngineError(err::WriteError, name_);
}

void TFileHandler::Flush() {
  RequireOpen();
  SettleWrites();
  if (memoryFile_ || writeThrough_) return;
  if (::fsync(fd_.Get()) != 0) RaiseErrno(errno, name_);
}

bool TFileHandler::LockRange(std::int64_t offset, std::int64_t length) {
  if (!open_) return false;
  if (exclusive_) return true;
  if (memoryFile_) {
    std::lock_guard guard(MemoryFileSection());
    return memoryFile_->LockRange(memoryHandle_, offset, length);
  }
  return locks_->Lock(offset, length);
}

bool TFileHandler::UnlockRange(std::int64_t offset, std::int64_t length) {
  if (!open_) return false;
  if (exclusive_) return true;
  if (memoryFile_) {
    std::lock_guard guard(MemoryFileSection());
    return memoryFile_->UnlockRange(offset, length);
  }
  return locks_->Unlock(offset, length);
}

}  // namespace quire
