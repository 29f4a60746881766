#pragma once
// Positioned writes to one or more files, gathered while a change is made
// and performed together once it is complete.
//
// A table changed on a shared file writes a dozen scattered pages, records
// and headers after every change; they wait here so that a change that fails
// half-way can drop them (Clear), and so that the caller can make all of
// them at one point. Submit writes them with plain pwrites. When it returns,
// every write is in the files as far as other programs' reads are concerned;
// nothing is flushed to the disk.
//
// Plain writes, not one submission through Linux native asynchronous I/O:
// on the 2-core virtual machines this runs on, io_submit of n writes and the
// collection of their results cost more than n pwrites, and a kernel
// context costs tens of milliseconds to destroy (io_destroy waits for the
// kernel to retire it), which the tables of a statement, opened and closed
// on every run, paid each time they closed. A batch holds no kernel
// resource: making and destroying one is as cheap as its memory.
//
// A batch must not hold two writes to overlapping bytes of one file (the
// order in which such writes land is not promised); Overlaps tells the
// caller when to submit first. One batch is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lyrabook {

class WriteBatch {
 public:
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
  };

  // Writes all of `write`, resuming after short writes; returns 0 or the
  // errno that stopped it.
  static int Perform(const Write& write);

  std::vector<Write> writes_;  // the first used_ are queued
  std::size_t used_ = 0;
};

}  // namespace lyrabook
