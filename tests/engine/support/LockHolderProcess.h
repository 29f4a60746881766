#pragma once
// Runs the lock_holder helper program as a second process, so that tests see
// the engine meet locks and share modes held by another program.
//
//   LockHolderProcess holder({"range", path, "2147483645", "1", "30"});
//   EXPECT_EQ(holder.Line(), "locked");
//
// The holder is built into bin/ of the build tree; it is found relative to
// the running test program. The destructor ends and reaps the process.

#include <sys/types.h>

#include <string>
#include <vector>

namespace quire::testing {

class LockHolderProcess {
 public:
  // Starts lock_holder with `args` and waits for its one line of output.
  explicit LockHolderProcess(const std::vector<std::string>& args);
  ~LockHolderProcess();
  LockHolderProcess(const LockHolderProcess&) = delete;
  LockHolderProcess& operator=(const LockHolderProcess&) = delete;

  // "locked", "refused", "free" or "held".
  const std::string& Line() const { return line_; }
  // Ends the process now, releasing whatever it holds.
  void Stop();

  // Runs a probe of [offset, offset + length) of `path` from another process:
  // "free" when a write lock would be granted, "held" when not.
  static std::string Probe(const std::string& path, long long offset, long long length);
  static std::string ProgramPath();

 private:
  pid_t pid_ = -1;
  std::string line_;
};

}  // namespace quire::testing
