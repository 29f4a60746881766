#include "engine/Engine.h"

#include <atomic>
#include <memory>

#include "engine/EngineError.h"
#include "engine/FileSession.h"

namespace quire {
namespace {

// Both pointers are trivially destructible atomics so that a session freed
// during program exit may still look at them.
constinit std::atomic<TFileSession*> gCurrent{nullptr};
constinit std::atomic<TFileSession*> gDefault{nullptr};

std::mutex& StartStopMutex() {
  static std::mutex mutex;
  return mutex;
}

// Owns the default session between start and stop.
std::unique_ptr<TFileSession>& DefaultOwner() {
  static std::unique_ptr<TFileSession> owner;
  return owner;
}

}  // namespace

void StartEngine() {
  std::lock_guard lock(StartStopMutex());
  std::unique_ptr<TFileSession>& owner = DefaultOwner();
  if (owner) return;
  owner = std::make_unique<TFileSession>();
  gDefault.store(owner.get());
  gCurrent.store(owner.get());
}

void StopEngine() {
  std::lock_guard lock(StartStopMutex());
  std::unique_ptr<TFileSession>& owner = DefaultOwner();
  if (!owner) return;
  gCurrent.store(nullptr);
  gDefault.store(nullptr);
  owner.reset();
}

bool EngineStarted() {
  return gDefault.load() != nullptr;
}

TFileSession* CurrentSessionOrNull() {
  if (gDefault.load() == nullptr) return nullptr;
  return gCurrent.load();
}

TFileSession& CurrentSession() {
  TFileSession* session = CurrentSessionOrNull();
  if (session == nullptr) RaiseEngineError(err::EngineNotInitialized);
  return *session;
}

TFileSession& DefaultSession() {
  TFileSession* session = gDefault.load();
  if (session == nullptr) RaiseEngineError(err::EngineNotInitialized);
  return *session;
}

void MakeSessionCurrent(TFileSession& session) {
  gCurrent.store(&session);
}

void ForgetSession(const TFileSession& session) {
  TFileSession* expected = const_cast<TFileSession*>(&session);
  gCurrent.compare_exchange_strong(expected, gDefault.load());
}

// The sections live as long as the process rather than from start to stop:
// a thread may still hold one when the engine stops, and freeing a held mutex
// is undefined behaviour.
std::recursive_mutex& MemoryFileSection() {
  static std::recursive_mutex section;
  return section;
}

std::recursive_mutex& FormatSettingsSection() {
  static std::recursive_mutex section;
  return section;
}

}  // namespace quire
