#include "engine/Engine.h"

#include <atomic>
#include <memory>

#include "engine/EngineError.h"
#include "engine/FileSession.h"

namespace quire {
namespace {

// A trivially destructible atomic, so that a session freed during program
// exit may still look at it.
constinit std::atomic<TFileSession*> gDefault{nullptr};
// Counts the sessions freed so far; a saved choice is trusted only while no
// session has gone since it was saved.
constinit std::atomic<std::uint64_t> gFreed{0};

// One thread's choice of session. The slots of all living threads are linked
// into one list, so that stopping the engine and freeing a session reach the
// choice of every thread.
struct TThreadSlot {
  TThreadSlot();
  ~TThreadSlot();
  TThreadSlot(const TThreadSlot&) = delete;
  TThreadSlot& operator=(const TThreadSlot&) = delete;

  std::atomic<TFileSession*> session{nullptr};  // null: the default session
  TThreadSlot* next = nullptr;
  TThreadSlot* prior = nullptr;
};

// Constant-initialised, so that both outlive every object initialised at run
// time, such as the session list that program exit frees.
constinit std::mutex gSlotsMutex;
constinit TThreadSlot* gSlots = nullptr;
// Set when the calling thread's slot has gone as the thread ends; sessions
// freed after that (at program exit) no longer choose for it.
constinit thread_local bool tSlotGone = false;

TThreadSlot::TThreadSlot() {
  const std::lock_guard lock(gSlotsMutex);
  next = gSlots;
  if (next != nullptr) next->prior = this;
  gSlots = this;
}

TThreadSlot::~TThreadSlot() {
  const std::lock_guard lock(gSlotsMutex);
  if (prior != nullptr) {
    prior->next = next;
  } else {
    gSlots = next;
  }
  if (next != nullptr) next->prior = prior;
  tSlotGone = true;
}

// The calling thread's slot; null once the thread is ending.
TThreadSlot* ThisThreadSlot() {
  if (tSlotGone) return nullptr;
  thread_local TThreadSlot slot;
  return &slot;
}

// Sends every thread that chose `session` (every thread, for null) back to
// the default session.
void ClearChoices(const TFileSession* session) {
  const std::lock_guard lock(gSlotsMutex);
  for (TThreadSlot* slot = gSlots; slot != nullptr; slot = slot->next) {
    TFileSession* expected = const_cast<TFileSession*>(session);
    if (session == nullptr) {
      slot->session.store(nullptr);
    } else {
      slot->session.compare_exchange_strong(expected, nullptr);
    }
  }
}

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
  // A fresh start: whatever a thread chose while the engine was stopped
  // gives way to the new default session.
  ClearChoices(nullptr);
  owner = std::make_unique<TFileSession>();
  gDefault.store(owner.get());
}

void StopEngine() {
  std::lock_guard lock(StartStopMutex());
  std::unique_ptr<TFileSession>& owner = DefaultOwner();
  if (!owner) return;
  gDefault.store(nullptr);
  owner.reset();
  ClearChoices(nullptr);
}

bool EngineStarted() {
  return gDefault.load() != nullptr;
}

TFileSession* CurrentSessionOrNull() {
  TFileSession* fallback = gDefault.load();
  if (fallback == nullptr) return nullptr;
  const TThreadSlot* slot = ThisThreadSlot();
  TFileSession* chosen = slot != nullptr ? slot->session.load() : nullptr;
  return chosen != nullptr ? chosen : fallback;
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
  if (TThreadSlot* slot = ThisThreadSlot()) slot->session.store(&session);
}

TSessionChoice SaveSessionChoice() {
  const TThreadSlot* slot = ThisThreadSlot();
  return {slot != nullptr ? slot->session.load() : nullptr, gFreed.load()};
}

void RestoreSessionChoice(const TSessionChoice& choice) {
  TThreadSlot* slot = ThisThreadSlot();
  if (slot == nullptr) return;
  const bool trusted = gFreed.load() == choice.freedBefore;
  slot->session.store(trusted ? choice.session : nullptr);
}

void ForgetSession(const TFileSession& session) {
  gFreed.fetch_add(1);
  ClearChoices(&session);
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
