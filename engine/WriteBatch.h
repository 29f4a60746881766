#pragma once
// TWriteBatch: the disk writes that one change of a shared table makes to its
// files (records, header, index pages, blob blocks), gathered and handed to
// the operating system together.
//
// Attached to handlers (TFileHandler::AttachWriteBatch), it takes their
// positioned writes instead of performing them; anything else done through an
// attached handler (a read, a seek, an unlock) submits what is queued first,
// so that it sees every earlier write. Submit performs them all and returns
// only once they are in the files, where other programs read them.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/WriteBatch.h"

namespace quire {

class TWriteBatch {
 public:
  // Performs every queued write. The first that failed raises 9218 with its
  // operating-system code and its file's name, after every write was tried.
  void Submit();
  // Forgets the queued writes (after a failure that abandons the change).
  void Discard() { writes_.Clear(); }
  bool Empty() const { return writes_.Empty(); }

  // For the handlers: queues `count` bytes for `offset` of `fd`, whose file
  // is `fileName` (which must outlive the queued write). A queued write to
  // overlapping bytes of the same file is submitted first.
  void Queue(int fd, const std::string& fileName, std::int64_t offset, const void* data,
             std::size_t count);

 private:
  lyrabook::WriteBatch writes_;
};

}  // namespace quire
