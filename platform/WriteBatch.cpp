#include "platform/WriteBatch.h"

#include <linux/aio_abi.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lyrabook {
namespace {

// Writes in one submission; a batch larger than this goes in several. The
// context reserves this many events of the system-wide limit (aio-max-nr).
constexpr std::size_t kSubmitLimit = 64;

long IoSetup(unsigned nr, aio_context_t* context) {
  return ::syscall(SYS_io_setup, nr, context);
}
long IoDestroy(aio_context_t context) {
  return ::syscall(SYS_io_destroy, context);
}
long IoSubmit(aio_context_t context, long count, iocb** list) {
  return ::syscall(SYS_io_submit, context, count, list);
}
long IoGetEvents(aio_context_t context, long least, long most, io_event* events) {
  return ::syscall(SYS_io_getevents, context, least, most, events, nullptr);
}

}  // namespace

WriteBatch::~WriteBatch() {
  if (context_ != 0) IoDestroy(context_);
}

std::span<std::uint8_t> WriteBatch::Add(int fd, std::int64_t offset, std::size_t size,
                                        const void* tag) {
  if (used_ == writes_.size()) writes_.emplace_back();
  Write& write = writes_[used_++];
  write.fd = fd;
  write.offset = offset;
  write.bytes.resize(size);
  write.tag = tag;
  write.done = 0;
  write.error = 0;
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

bool WriteBatch::EnsureContext() {
  if (context_ != 0) return true;
  if (contextRefused_) return false;
  aio_context_t context = 0;
  if (IoSetup(kSubmitLimit, &context) != 0) {
    // No facility, or the system-wide limit is reached: plain writes from
    // now on.
    contextRefused_ = true;
    return false;
  }
  context_ = context;
  return true;
}

void WriteBatch::SubmitTogether(std::size_t first, std::size_t count) {
  iocb blocks[kSubmitLimit];
  iocb* list[kSubmitLimit];
  for (std::size_t i = 0; i < count; ++i) {
    Write& write = writes_[first + i];
    std::memset(&blocks[i], 0, sizeof blocks[i]);
    blocks[i].aio_data = first + i;
    blocks[i].aio_lio_opcode = IOCB_CMD_PWRITE;
    blocks[i].aio_fildes = static_cast<std::uint32_t>(write.fd);
    blocks[i].aio_buf = reinterpret_cast<std::uintptr_t>(write.bytes.data());
    blocks[i].aio_nbytes = write.bytes.size();
    blocks[i].aio_offset = write.offset;
    list[i] = &blocks[i];
  }
  long submitted = IoSubmit(context_, static_cast<long>(count), list);
  if (submitted <= 0) return;  // the callers finish every write themselves
  io_event events[kSubmitLimit];
  for (long reaped = 0; reaped < submitted;) {
    const long got = IoGetEvents(context_, submitted - reaped, submitted - reaped, events);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      // The submitted writes cannot be accounted for; none may be repeated
      // blindly, so they count as failed.
      for (std::size_t i = 0; i < static_cast<std::size_t>(submitted); ++i) {
        Write& write = writes_[first + i];
        if (write.done < write.bytes.size() && write.error == 0) write.error = EIO;
      }
      return;
    }
    for (long e = 0; e < got; ++e) {
      Write& write = writes_[events[e].data];
      if (events[e].res < 0) {
        write.error = static_cast<int>(-events[e].res);
      } else {
        write.done = static_cast<std::size_t>(events[e].res);
      }
    }
    reaped += got;
  }
}

void WriteBatch::FinishWithPwrite(Write& write) {
  while (write.error == 0 && write.done < write.bytes.size()) {
    const ssize_t n =
        ::pwrite(write.fd, write.bytes.data() + write.done, write.bytes.size() - write.done,
                 static_cast<off_t>(write.offset + write.done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      write.error = errno;
    } else if (n == 0) {
      write.error = ENOSPC;
    } else {
      write.done += static_cast<std::size_t>(n);
    }
  }
}

bool WriteBatch::Submit(Failure& failure) {
  // A single write gains nothing from a submission and a collection.
  if (used_ > 1 && EnsureContext()) {
    for (std::size_t first = 0; first < used_; first += kSubmitLimit) {
      SubmitTogether(first, std::min(kSubmitLimit, used_ - first));
    }
  }
  bool ok = true;
  failure = {};
  for (std::size_t i = 0; i < used_; ++i) {
    Write& write = writes_[i];
    // Whatever the submission left undone (not taken, cut short) is written
    // now.
    FinishWithPwrite(write);
    if (write.error != 0 && ok) {
      ok = false;
      failure = {write.tag, write.error};
    }
  }
  used_ = 0;
  return ok;
}

}  // namespace lyrabook
