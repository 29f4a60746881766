#pragma once
// Thread priorities as Linux nice values. Linux has no per-thread priority for
// ordinary threads apart from nice, which it keeps per thread, so each priority
// is a step away from the nice value the worker was born with.

#include <sys/types.h>

#include "runner/TaskThreadEvents.h"

namespace runner {

// Nice value for `priority`, relative to `baseNice` and kept within -20..19.
int NiceFor(TThreadPriority priority, int baseNice);

// The nice value of thread `tid`.
int ThreadNice(pid_t tid);

// Sets the nice value of thread `tid`. Returns false when the system refuses
// (raising priority needs privileges); callers treat that as best effort.
bool SetThreadNice(pid_t tid, int nice);

// The calling thread's id.
pid_t CurrentThreadId();

}  // namespace runner
