#include "runner/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace runner {

namespace {

// Steps in nice units: the two ends reach the ends of the nice range from any
// start, the middle ones move by about a quarter or a half of it.
int NiceStep(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return 39;
    case TThreadPriority::tpLowest:
      return 10;
    case TThreadPriority::tpLower:
      return 5;
    case TThreadPriority::tpNormal:
      return 0;
    case TThreadPriority::tpHigher:
      return -5;
    case TThreadPriority::tpHighest:
      return -10;
    case TThreadPriority::tpTimeCritical:
      return -39;
  }
  return 0;
}

}  // namespace

int NiceFor(TThreadPriority priority, int baseNice) {
  return std::clamp(baseNice + NiceStep(priority), -20, 19);
}

int ThreadNice(pid_t tid) {
  // -1 is also a valid nice value, so failure shows only through errno.
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno == 0 ? nice : 0;
}

bool SetThreadNice(pid_t tid, int nice) {
  // On Linux the nice value belongs to each thread, and PRIO_PROCESS with a
  // thread id addresses that thread alone.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

pid_t CurrentThreadId() {
  return static_cast<pid_t>(syscall(SYS_gettid));
}

}  // namespace runner
