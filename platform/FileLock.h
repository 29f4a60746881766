#pragma once
// Byte-range locks and share modes on one open file description.
//
// Locks are open-file-description locks (F_OFD_SETLK): they belong to the
// open file, as Windows locks belong to a handle, so two opens of one file in
// one process exclude each other and closing one leaves the other's locks. A
// lock never waits. Windows refuses a lock that overlaps one already held
// through the same handle and fails an unlock of a range it does not hold;
// Linux would merge and succeed silently, so FileRangeLocks keeps the list of
// ranges held through its descriptor and enforces both rules itself.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lyrabook {

// Byte used for the share mode; it lies above every byte the table locking
// protocol uses, which all stay below 2^31.
inline constexpr std::int64_t kShareLockOffset = (std::int64_t{1} << 31) + 1;

class FileRangeLocks {
 public:
  // `fd` stays owned by the caller. A descriptor that cannot write takes read
  // locks instead: they still exclude every writer's lock.
  FileRangeLocks(int fd, bool writable) : fd_(fd), writable_(writable) {}
  FileRangeLocks(const FileRangeLocks&) = delete;
  FileRangeLocks& operator=(const FileRangeLocks&) = delete;

  // Locks [offset, offset + length) without waiting. False when another open
  // file holds any byte of it, when it overlaps a range held here, or when the
  // range is empty, negative or touches the share-mode byte.
  bool Lock(std::int64_t offset, std::int64_t length);
  // Unlocks a range held here with exactly this offset and length; false for
  // any other range.
  bool Unlock(std::int64_t offset, std::int64_t length);
  // Whether exactly this range is held here.
  bool Holds(std::int64_t offset, std::int64_t length) const;
  std::size_t Count() const { return ranges_.size(); }
  // Forgets every range; the caller is about to close the descriptor, which
  // releases them.
  void Forget() { ranges_.clear(); }

 private:
  struct Range {
    std::int64_t offset;
    std::int64_t length;
  };
  int fd_;
  bool writable_;
  std::vector<Range> ranges_;
};

// Takes the share-mode lock on `fd`: a write lock for an exclusive open, a
// read lock for a shared one. Returns 0, or the errno of the refusal (EAGAIN
// when another open file's share mode conflicts). An exclusive open on a
// descriptor that cannot write checks that nobody has the file open and then
// takes a read lock, which keeps every later exclusive open out.
int TakeShareLock(int fd, bool exclusive, bool writable);

// Whether errno `e` from a lock call means another open file holds the range.
bool IsLockConflict(int e);

}  // namespace lyrabook
