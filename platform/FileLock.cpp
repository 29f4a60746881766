#include "platform/FileLock.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace lyrabook {
namespace {

int SetLock(int fd, short type, std::int64_t offset, std::int64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // must be 0 for open-file-description locks
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

bool IsLockConflict(int e) {
  return e == EAGAIN || e == EACCES;
}

bool FileRangeLocks::Lock(std::int64_t offset, std::int64_t length) {
  // A length of 0 would lock to the end of the file on Linux; Windows locks
  // nothing and the protocol never asks for it.
  if (offset < 0 || length <= 0 || offset > INT64_MAX - length) return false;
  const std::int64_t end = offset + length;
  if (offset <= kShareLockOffset && kShareLockOffset < end) return false;
  for (const Range& r : ranges_) {
    if (offset < r.offset + r.length && r.offset < end) return false;
  }
  if (SetLock(fd_, writable_ ? F_WRLCK : F_RDLCK, offset, length) != 0) return false;
  ranges_.push_back({offset, length});
  return true;
}

bool FileRangeLocks::Unlock(std::int64_t offset, std::int64_t length) {
  auto it = std::find_if(ranges_.begin(), ranges_.end(),
                         [&](const Range& r) { return r.offset == offset && r.length == length; });
  if (it == ranges_.end()) return false;
  if (SetLock(fd_, F_UNLCK, offset, length) != 0) return false;
  ranges_.erase(it);
  return true;
}

bool FileRangeLocks::Holds(std::int64_t offset, std::int64_t length) const {
  return std::any_of(ranges_.begin(), ranges_.end(),
                     [&](const Range& r) { return r.offset == offset && r.length == length; });
}

int TakeShareLock(int fd, bool exclusive, bool writable) {
  if (!exclusive) return SetLock(fd, F_RDLCK, kShareLockOffset, 1);
  if (writable) return SetLock(fd, F_WRLCK, kShareLockOffset, 1);
  // A write lock needs a descriptor that may write. Ask whether one would be
  // granted, then hold a read lock; the gap between the two only matters for
  // a file nobody may write anyway.
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(kShareLockOffset);
  probe.l_len = 1;
  probe.l_pid = 0;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return errno;
  if (probe.l_type != F_UNLCK) return EAGAIN;
  return SetLock(fd, F_RDLCK, kShareLockOffset, 1);
}

}  // namespace lyrabook
