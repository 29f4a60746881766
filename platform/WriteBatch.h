#pragma once
// Positioned writes to one or more files, gathered first and then issued
// together with as few system calls as the kernel allows.
//
// A table changed on a shared file writes a dozen scattered pages, records
// and headers after every change, and on a virtual machine each system call
// costs more than the copy it makes. Linux native asynchronous I/O takes all
// of them in one submission; on a file opened without O_DIRECT the kernel
// performs each buffered write before the submission returns, exactly as a
// pwrite would, and one more call collects the results. Where that facility
// is missing or refuses (no context can be had, a write is cut short), the
// writes left are plain pwrites. Either way, when Submit returns every write
// is in the files as far as other programs' reads are concerned; nothing is
// flushed to the disk.
//
// A batch must not hold two writes to overlapping bytes of one file (the
// order in which such writes land is not kept); Overlaps tells the caller
// when to submit first. One batch is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lyrabook {

class WriteBatch {
 public:
  WriteBatch() = default;
  ~WriteBatch();
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  // Queues a write of `size` bytes at `offset` of `fd` and returns the
  // buffer to fill with them; it stays valid until Submit or Clear. `tag`
  // is handed back when this write fails.
  std::span<std::uint8_t> Add(int fd, std::int64_t offset, std::size_t size, const void* tag);
  bool Empty() const { return used_ == 0; }
  // Whether a queued write to `fd` touches any of the `size` bytes at
  // `offset`.
  bool Overlaps(int fd, std::int64_t offset, std::size_t size) const;
  std::size_t Size() const { return used_; }

  // The first write that failed: its tag and errno (ENOSPC when it stored
  // nothing without an error).
  struct Failure {
    const void* tag = nullptr;
    int error = 0;
  };
  // Performs every queued write and empties the batch. Every write is tried
  // even after one failed; returns whether all of them stored every byte,
  // and the first failure in `failure`.
  bool Submit(Failure& failure);
  // Forgets the queued writes without performing them.
  void Clear() { used_ = 0; }

 private:
  struct Write {
    int fd = -1;
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;  // capacity kept for later batches
    const void* tag = nullptr;
    std::size_t done = 0;  // bytes stored so far
    int error = 0;
  };

  bool EnsureContext();
  void SubmitTogether(std::size_t first, std::size_t count);
  void FinishWithPwrite(Write& write);

  std::vector<Write> writes_;  // the first used_ are queued
  std::size_t used_ = 0;
  unsigned long context_ = 0;  // the kernel's context id, 0 while none
  bool contextRefused_ = false;
};

}  // namespace lyrabook
