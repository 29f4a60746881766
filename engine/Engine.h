#pragma once
// Engine start and stop, and the engine's current session.
//
// Starting the engine creates the default engine session; stopping frees it.
// Every operation that needs a session while the engine is stopped fails with
// 10758. Sessions other than the default are owned by their session component;
// the engine works with whichever session was last made current. The access
// layer serialises start, stop and the switch of the current session under its
// own engine lock; reading the current session is safe from any thread.

#include <mutex>

namespace quire {

class TFileSession;

// Starts the engine: creates the default session and makes it current. Does
// nothing when the engine is already started.
void StartEngine();

// Stops the engine: frees the default session; no session is current
// afterwards. Does nothing when the engine is stopped.
void StopEngine();

bool EngineStarted();

// The current session. Raises 10758 when the engine is stopped.
TFileSession& CurrentSession();

// The current session, or null when the engine is stopped.
TFileSession* CurrentSessionOrNull();

// The default session. Raises 10758 when the engine is stopped.
TFileSession& DefaultSession();

// Makes `session` the one the engine works with. It must outlive its being
// current; a session that is destroyed while current hands back to the
// default session by itself.
void MakeSessionCurrent(TFileSession& session);

// Serialises every operation on in-memory files and their list.
std::recursive_mutex& MemoryFileSection();

// Serialises the switch of the process-wide number and date format settings.
std::recursive_mutex& FormatSettingsSection();

// Called by a session as it is destroyed: when it is current, the default
// session (or none, while the engine is stopped) becomes current instead, so
// that nobody works with a freed session.
void ForgetSession(const TFileSession& session);

}  // namespace quire
