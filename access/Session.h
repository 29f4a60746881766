#pragma once
// TQuireSession and TQuireSessionList: the application's entry to the
// engine. A session owns one engine session with its password list,
// serialises the session-level engine calls of every session under one
// process-wide lock, and answers the engine when a table needs a password
// that the list lacks.
//
// The session list exists once per process, from the first use on, with
// the default session "Default" in it. Sessions and databases are owned by
// whoever creates them (a form, a test); they sign on with the list, or
// their session, on creation and off when destroyed.
//
// Threads: the engine keeps the current session per thread, so a window
// reading through a session of its own and a worker importing through the
// default session run side by side. A session, its databases and their
// datasets are used by one thread at a time; the list itself, and each
// session's password list and error context, may be reached from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/Engine.h"

namespace quire {

class TFileSession;
class TQuireDatabase;
class TQuireDBDataSet;
class TQuireSession;
class TQuirePasswordDialog;

// Shows the password dialog for a session; the program gives one (a Qt
// dialog), tests give their own. Returns true when it closed with OK.
using TPasswordDialogHost = std::function<bool(TQuirePasswordDialog& dialog)>;

inline constexpr std::string_view kEngineVersion = "1.21";

class TQuireSessionList {
 public:
  static TQuireSessionList& Instance();

  TQuireSession& DefaultSession() { return *default_; }
  // By name ignoring case; an empty name is the default session; null when
  // there is none.
  TQuireSession* FindSession(std::string_view name) const;
  // As FindSession, failing with "Session name %s is not valid.".
  TQuireSession& GetSession(std::string_view name) const;
  // The sessions in creation order, as they stand at the call.
  std::vector<TQuireSession*> Sessions() const;

  // The process-wide section: engine calls of all sessions, activation,
  // the automatic-name numbers, the list of sessions.
  std::recursive_mutex& Section() { return section_; }

  void SetPasswordDialogHost(TPasswordDialogHost host);
  TPasswordDialogHost PasswordDialogHost() const;

  // The name of the auto-named session `owner` holds, empty when it holds
  // none (or `owner` is null): a database or dataset placed on the owner
  // takes it.
  std::string AutoSessionNameOf(const void* owner) const;

 private:
  friend class TQuireSession;
  friend class TQuireDBDataSet;
  // Datasets with an owner sign on, so that an auto-named session of the
  // same owner can give them its name when it takes one.
  void AddOwnedDataSet(TQuireDBDataSet& dataset);
  void RemoveOwnedDataSet(TQuireDBDataSet& dataset);
  TQuireSessionList();

  void Add(TQuireSession& session);
  void Remove(TQuireSession& session);
  // The lowest number no automatic name uses; UseNameNumber marks it used.
  int FreeNameNumberToTake() const;
  void UseNameNumber(int number);
  void FreeNameNumber(int number);

  mutable std::recursive_mutex section_;
  std::vector<TQuireSession*> sessions_;
  std::vector<TQuireDBDataSet*> ownedDataSets_;
  std::vector<bool> usedNumbers_;
  std::unique_ptr<TQuireSession> default_;
  TPasswordDialogHost dialogHost_;
};

class TQuireSession {
 public:
  // `componentName` and `owner` stand for the component's name and the
  // form that holds it (automatic names derive from the first; one
  // automatic session per owner).
  explicit TQuireSession(std::string componentName = {}, const void* owner = nullptr);
  ~TQuireSession();
  TQuireSession(const TQuireSession&) = delete;
  TQuireSession& operator=(const TQuireSession&) = delete;

  std::string_view EngineVersion() const { return kEngineVersion; }

  bool Active() const { return engineSession_ != nullptr; }
  void SetActive(bool active);

  bool AutoSessionName() const { return autoNumber_ >= 0; }
  void SetAutoSessionName(bool on);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool keep) { keepConnections_ = keep; }
  // Read back in upper case, as the engine keeps it.
  std::string PrivateDir() const;
  void SetPrivateDir(std::string_view directory);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  const std::string& ComponentName() const { return componentName_; }
  void SetComponentName(std::string_view name);
  const void* Owner() const { return owner_; }
  bool IsDefault() const;

  // Asked for a missing table password; sets `Continue` to try again.
  std::function<void(TQuireSession& sender, bool& Continue)> OnPassword;
  std::function<void(TQuireSession& sender)> OnStartup;

  // The password list: first 255 characters; empty and duplicate texts are
  // not added; comparison is exact and case-sensitive.
  void RegisterPassword(std::string_view password);
  void UnregisterPassword(std::string_view password);
  void ClearPasswords();
  bool HasPassword(std::string_view password);
  // True to have the engine look again, false to give up (10498).
  bool PromptForPassword();

  // Take and give back the engine lock; nested calls count levels. Taking
  // it makes this session's engine session current in the calling thread
  // (activating it first); giving back the last level puts the thread back
  // on the session it worked with before, so that a password registered
  // from the window's thread for a worker's session leaves the window's own
  // datasets on their session.
  void BeginEngineCall();
  void EndEngineCall();
  // Makes the engine session current in the calling thread, activating the
  // session if needed.
  void MakeCurrent();

  // A connected database of that name for a dataset, created by the session
  // when none exists; counts one use.
  TQuireDatabase& AcquireDatabase(std::string_view name, const void* owner);
  void ReleaseDatabase(TQuireDatabase& database);

  const std::vector<TQuireDatabase*>& Databases() const { return databases_; }

 private:
  friend class TQuireDatabase;
  void AddDatabase(TQuireDatabase& database) { databases_.push_back(&database); }
  void RemoveDatabase(TQuireDatabase& database);
  // Frees `database` when the session made it; false when it did not.
  bool FreeCreatedDatabase(TQuireDatabase& database);
  friend class TQuireSessionList;
  struct TDefaultTag {};
  TQuireSession(TQuireSessionList& list, TDefaultTag);
  void Activate();
  void Deactivate();
  // Raises when this session may not take `name` now (active, or another
  // session has it).
  void CheckNewName(std::string_view name) const;
  // Takes an automatic name CheckNewName let through; the session's
  // databases follow, and so do the databases and datasets its owner holds
  // that are not connected or open.
  void Rename(const std::string& name);

  TQuireSessionList& list_;
  std::string componentName_;
  const void* owner_;
  std::string sessionName_;
  std::string privateDir_;
  bool keepConnections_ = true;
  int autoNumber_ = -1;
  TFileSession* engineSession_ = nullptr;     // while active
  std::unique_ptr<TFileSession> ownSession_;  // a non-default session's
  std::vector<TQuireDatabase*> databases_;
  std::vector<std::unique_ptr<TQuireDatabase>> createdDatabases_;
  // Levels of the engine lock and the saved choice are touched only by the
  // thread holding the lock; the holder is read by any thread that asks.
  int lockDepth_ = 0;
  std::atomic<std::thread::id> lockHolder_{};
  TSessionChoice savedChoice_;
};

// Holds a session's engine lock for a scope.
class TEngineCall {
 public:
  explicit TEngineCall(TQuireSession& session) : session_(session) { session_.BeginEngineCall(); }
  ~TEngineCall() { session_.EndEngineCall(); }
  TEngineCall(const TEngineCall&) = delete;
  TEngineCall& operator=(const TEngineCall&) = delete;

 private:
  TQuireSession& session_;
};

}  // namespace quire
