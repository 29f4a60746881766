#include "platform/WriteBatch.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lyrabook {

std::span<std::uint8_t> WriteBatch::Add(int fd, std::int64_t offset, std::size_t size,
                                        const void* tag) {
  if (used_ == writes_.size()) writes_.emplace_back();
  Write& write = writes_[used_++];
  write.fd = fd;
  write.offset = offset;
  write.bytes.resize(size);
  write.tag = tag;
  return write.bytes;
}

bool WriteBatch::Overlaps(int fd, std::int64_t offset, std::size_t size) const {
  const std::int64_t end = offset + static_cast<std::int64_t>(size);
  return std::any_of(
      writes_.begin(), writes_.begin() + static_cast<std::ptrdiff_t>(used_), [&](const Write& w) {
        return w.fd == fd && offset < w.offset + static_cast<std::int64_t>(w.bytes.size()) &&
               w.offset < end;
      });
}

int WriteBatch::Perform(const Write& write) {
  std::size_t done = 0;
  while (done < write.bytes.size()) {
    const ssize_t n = ::pwrite(write.fd, write.bytes.data() + done, write.bytes.size() - done,
                               static_cast<off_t>(write.offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

bool WriteBatch::Submit(Failure& failure) {
  failure = {};
  bool ok = true;
  for (std::size_t i = 0; i < used_; ++i) {
    const int error = Perform(writes_[i]);
    if (error != 0 && ok) {
      ok = false;
      failure = {writes_[i].tag, error};
    }
  }
  used_ = 0;
  return ok;
}

}  // namespace lyrabook
