#pragma once
// Engine start and stop, and the engine's current session.
//
// Starting the engine creates the default engine session; stopping frees it.
// Every operation that needs a session while the engine is stopped fails with
// 10758. Sessions other than the default are owned by their session component.
//
// The current session is kept per thread: each thread works against the
// session it last made current, and a thread that made none current works
// against the default session. So a window reading through a session of its
// own and a worker importing through the default one never record errors in,
// or look up passwords of, each other's session. Two threads still never work
// with one session at the same time.

#include <cstdint>
#include <mutex>

namespace quire {

class TFileSession;

// Starts the engine: creates the default session, which every thread then
// works against until it makes another current. Does nothing when the engine
// is already started.
void StartEngine();

// Stops the engine: frees the default session; no session is current in any
// thread afterwards. Does nothing when the engine is stopped.
void StopEngine();

bool EngineStarted();

// The calling thread's current session. Raises 10758 when the engine is
// stopped.
TFileSession& CurrentSession();

// The calling thread's current session, or null when the engine is stopped.
TFileSession* CurrentSessionOrNull();

// The default session. Raises 10758 when the engine is stopped.
TFileSession& DefaultSession();

// Makes `session` the one the calling thread works with; other threads keep
// theirs. It must outlive its being current; a session that is destroyed
// while current in some thread hands that thread back to the default session
// by itself.
void MakeSessionCurrent(TFileSession& session);

// What the calling thread had made current, kept by a caller that makes
// another session current for a while and then puts the thread back.
struct TSessionChoice {
  TFileSession* session = nullptr;  // null: the thread made none current
  std::uint64_t freedBefore = 0;    // sessions freed before the choice was saved
};
TSessionChoice SaveSessionChoice();
// Puts the calling thread back on `choice`. When any session has been freed
// since the choice was saved, its session may be gone, and the thread goes
// back to the default session instead.
void RestoreSessionChoice(const TSessionChoice& choice);

// Serialises every operation on in-memory files and their list.
std::recursive_mutex& MemoryFileSection();

// Serialises the switch of the process-wide number and date format settings.
std::recursive_mutex& FormatSettingsSection();

// Called by a session as it is destroyed: every thread that has it current
// works against the default session (or none, while the engine is stopped)
// instead, so that nobody works with a freed session.
void ForgetSession(const TFileSession& session);

}  // namespace quire
