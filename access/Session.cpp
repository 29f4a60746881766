#include "access/Session.h"

#include <algorithm>

#include "access/DBDataSet.h"
#include "access/Database.h"
#include "access/PasswordDialog.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"
#include "engine/Engine.h"
#include "engine/FileSession.h"

namespace quire {
namespace {

constexpr std::size_t kMaxPasswordLength = 255;

}  // namespace

// --- the list -------------------------------------------------------------

TQuireSessionList& TQuireSessionList::Instance() {
  static TQuireSessionList list;
  return list;
}

TQuireSessionList::TQuireSessionList() {
  default_.reset(new TQuireSession(*this, TQuireSession::TDefaultTag{}));
  default_->sessionName_ = "Default";
}

TQuireSession* TQuireSessionList::FindSession(std::string_view name) const {
  if (name.empty()) return default_.get();
  const std::lock_guard lock(section_);
  for (TQuireSession* session : sessions_)
    if (EqualsIgnoringAsciiCase(session->SessionName(), name)) return session;
  return nullptr;
}

TQuireSession& TQuireSessionList::GetSession(std::string_view name) const {
  TQuireSession* session = FindSession(name);
  if (session == nullptr) RaiseDatabaseError("Session name %s is not valid.", name);
  return *session;
}

std::vector<TQuireSession*> TQuireSessionList::Sessions() const {
  const std::lock_guard lock(section_);
  return sessions_;
}

void TQuireSessionList::SetPasswordDialogHost(TPasswordDialogHost host) {
  const std::lock_guard lock(section_);
  dialogHost_ = std::move(host);
}

TPasswordDialogHost TQuireSessionList::PasswordDialogHost() const {
  const std::lock_guard lock(section_);
  return dialogHost_;
}

std::string TQuireSessionList::AutoSessionNameOf(const void* owner) const {
  if (owner == nullptr) return {};
  const std::lock_guard lock(section_);
  for (const TQuireSession* session : sessions_)
    if (session->owner_ == owner && session->AutoSessionName()) return session->SessionName();
  return {};
}

void TQuireSessionList::AddOwnedDataSet(TQuireDBDataSet& dataset) {
  const std::lock_guard lock(section_);
  ownedDataSets_.push_back(&dataset);
}

void TQuireSessionList::RemoveOwnedDataSet(TQuireDBDataSet& dataset) {
  const std::lock_guard lock(section_);
  std::erase(ownedDataSets_, &dataset);
}

void TQuireSessionList::Add(TQuireSession& session) {
  const std::lock_guard lock(section_);
  sessions_.push_back(&session);
}

void TQuireSessionList::Remove(TQuireSession& session) {
  const std::lock_guard lock(section_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), &session), sessions_.end());
}

int TQuireSessionList::FreeNameNumberToTake() const {
  const auto free = std::find(usedNumbers_.begin(), usedNumbers_.end(), false);
  return static_cast<int>(free - usedNumbers_.begin());
}

void TQuireSessionList::UseNameNumber(int number) {
  const auto index = static_cast<std::size_t>(number);
  if (index >= usedNumbers_.size()) usedNumbers_.resize(index + 1, false);
  usedNumbers_[index] = true;
}

void TQuireSessionList::FreeNameNumber(int number) {
  if (number >= 0 && static_cast<std::size_t>(number) < usedNumbers_.size())
    usedNumbers_[number] = false;
}

// --- sessions -------------------------------------------------------------

TQuireSession::TQuireSession(TQuireSessionList& list, TDefaultTag) : list_(list), owner_(nullptr) {
  list_.Add(*this);
}

TQuireSession::TQuireSession(std::string componentName, const void* owner)
    : list_(TQuireSessionList::Instance()),
      componentName_(std::move(componentName)),
      owner_(owner) {
  const std::lock_guard lock(list_.Section());
  if (owner_ != nullptr)
    for (const TQuireSession* other : list_.Sessions())
      if (other->owner_ == owner_ && other->AutoSessionName())
        RaiseDatabaseError("This auto-session already exists.");
  list_.Add(*this);
}

TQuireSession::~TQuireSession() {
  try {
    Deactivate();
  } catch (...) {
    // Freeing goes on; the databases are left disconnected.
  }
  {
    const std::lock_guard lock(list_.Section());
    list_.FreeNameNumber(autoNumber_);
  }
  for (TQuireDatabase* database : databases_) database->session_ = nullptr;
  createdDatabases_.clear();
  list_.Remove(*this);
}

bool TQuireSession::IsDefault() const {
  return this == &list_.DefaultSession();
}

void TQuireSession::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    Activate();
  } else {
    Deactivate();
  }
}

void TQuireSession::Activate() {
  const std::lock_guard lock(list_.Section());
  if (OnStartup) OnStartup(*this);
  if (sessionName_.empty()) RaiseDatabaseError("Session name is missing.");
  if (!IsDefault()) list_.DefaultSession().SetActive(true);
  if (IsDefault()) {
    StartEngine();
    engineSession_ = &quire::DefaultSession();
  } else {
    ownSession_ = std::make_unique<TFileSession>();
    engineSession_ = ownSession_.get();
  }
  MakeSessionCurrent(*engineSession_);
  if (!privateDir_.empty()) {
    try {
      engineSession_->SetPrivateDir(privateDir_);
    } catch (...) {
      Deactivate();
      throw;
    }
  }
}

void TQuireSession::Deactivate() {
  if (!Active()) return;
  const std::lock_guard lock(list_.Section());
  MakeSessionCurrent(*engineSession_);
  // Last first: a database the session made goes, any other disconnects.
  const std::vector<TQuireDatabase*> databases(databases_.rbegin(), databases_.rend());
  for (TQuireDatabase* database : databases)
    if (!FreeCreatedDatabase(*database)) database->SetConnected(false);
  engineSession_ = nullptr;
  if (ownSession_) {
    ownSession_.reset();  // hands back to the default session
    if (EngineStarted()) MakeSessionCurrent(quire::DefaultSession());
  }
}

namespace {

std::string AutoName(const std::string& componentName, int number) {
  return componentName + "_" + std::to_string(number + 1);
}

}  // namespace

void TQuireSession::SetAutoSessionName(bool on) {
  if (on == AutoSessionName()) return;
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an active session.");
  const std::lock_guard lock(list_.Section());
  if (!on) {
    list_.FreeNameNumber(autoNumber_);
    autoNumber_ = -1;
    return;
  }
  for (const TQuireSession* other : list_.Sessions())
    if (other != this && other->owner_ != nullptr && other->owner_ == owner_)
      RaiseDatabaseError("The active auto-session can be the only active session.");
  // A refused name leaves the number free and the flag off.
  const int number = list_.FreeNameNumberToTake();
  const std::string name = AutoName(componentName_, number);
  CheckNewName(name);
  list_.UseNameNumber(number);
  autoNumber_ = number;
  Rename(name);
}

void TQuireSession::SetComponentName(std::string_view name) {
  if (!AutoSessionName()) {
    componentName_ = name;
    return;
  }
  const std::lock_guard lock(list_.Section());
  const std::string sessionName = AutoName(std::string(name), autoNumber_);
  CheckNewName(sessionName);
  componentName_ = name;
  Rename(sessionName);
}

void TQuireSession::Rename(const std::string& name) {
  const std::lock_guard lock(list_.Section());
  sessionName_ = name;
  // Databases that belong to the session follow its name.
  for (TQuireDatabase* database : databases_) database->sessionName_ = name;
  if (owner_ == nullptr) return;
  // So do the owner's other components, except those in use: a connected
  // database or an open dataset keeps the session it works with.
  for (const TQuireSession* session : list_.sessions_)
    for (TQuireDatabase* database : session->databases_)
      if (database->owner_ == owner_ && !database->Connected()) database->sessionName_ = name;
  for (TQuireDBDataSet* dataset : list_.ownedDataSets_)
    if (dataset->owner_ == owner_ && !dataset->Active()) dataset->sessionName_ = name;
}

void TQuireSession::CheckNewName(std::string_view name) const {
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an active session.");
  const std::lock_guard lock(list_.Section());
  for (const TQuireSession* other : list_.Sessions())
    if (other != this && EqualsIgnoringAsciiCase(other->SessionName(), name))
      RaiseDatabaseError("Session name %s already exists.", name);
}

void TQuireSession::SetSessionName(std::string_view name) {
  if (AutoSessionName())
    RaiseDatabaseError("Cannot perform this operation on the active auto-session.");
  const std::lock_guard lock(list_.Section());
  CheckNewName(name);
  sessionName_ = name;
}

std::string TQuireSession::PrivateDir() const {
  return UpperAscii(privateDir_);
}

void TQuireSession::SetPrivateDir(std::string_view directory) {
  privateDir_ = directory;
  if (!Active()) return;
  const TEngineCall call(*this);
  engineSession_->SetPrivateDir(privateDir_);
}

void TQuireSession::RegisterPassword(std::string_view password) {
  const std::string_view cut = password.substr(0, kMaxPasswordLength);
  if (cut.empty()) return;
  const TEngineCall call(*this);
  if (!engineSession_->TestPassword(cut)) engineSession_->AddPassword(cut);
}

void TQuireSession::UnregisterPassword(std::string_view password) {
  const TEngineCall call(*this);
  engineSession_->RemovePassword(password);
}

void TQuireSession::ClearPasswords() {
  const TEngineCall call(*this);
  engineSession_->RemoveAllPasswords();
}

bool TQuireSession::HasPassword(std::string_view password) {
  const TEngineCall call(*this);
  return engineSession_->TestPassword(password);
}

bool TQuireSession::PromptForPassword() {
  if (OnPassword) {
    bool again = false;
    OnPassword(*this, again);
    return again;
  }
  // A copy: the dialog may take a while, and the program may install another
  // host meanwhile.
  const TPasswordDialogHost host = list_.PasswordDialogHost();
  if (!host) return false;  // no window to ask in: the open fails with 10498
  TQuirePasswordDialog dialog(*this);
  return host(dialog);
}

void TQuireSession::BeginEngineCall() {
  if (lockHolder_.load() == std::this_thread::get_id()) {
    ++lockDepth_;
    return;
  }
  list_.Section().lock();
  lockHolder_.store(std::this_thread::get_id());
  lockDepth_ = 1;
  savedChoice_ = SaveSessionChoice();
  try {
    MakeCurrent();
  } catch (...) {
    EndEngineCall();
    throw;
  }
}

void TQuireSession::EndEngineCall() {
  if (lockHolder_.load() != std::this_thread::get_id()) return;
  if (--lockDepth_ == 0) {
    RestoreSessionChoice(savedChoice_);
    lockHolder_.store({});
    list_.Section().unlock();
  }
}

void TQuireSession::MakeCurrent() {
  if (!Active()) {
    Activate();
  } else {
    MakeSessionCurrent(*engineSession_);
  }
}

bool TQuireSession::FreeCreatedDatabase(TQuireDatabase& database) {
  const auto created =
      std::find_if(createdDatabases_.begin(), createdDatabases_.end(),
                   [&database](const auto& owned) { return owned.get() == &database; });
  if (created == createdDatabases_.end()) return false;
  // Out of the list before it goes: its destructor closes datasets, which
  // give their use back to this session.
  const std::unique_ptr<TQuireDatabase> freed = std::move(*created);
  createdDatabases_.erase(created);
  return true;
}

void TQuireSession::RemoveDatabase(TQuireDatabase& database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), &database), databases_.end());
}

TQuireDatabase& TQuireSession::AcquireDatabase(std::string_view name, const void* owner) {
  MakeCurrent();
  TQuireDatabase* found = nullptr;
  for (TQuireDatabase* database : databases_)
    if (database->owner_ == owner && owner != nullptr && database->HandleShared() &&
        EqualsIgnoringAsciiCase(database->DatabaseName(), name))
      found = database;
  if (found == nullptr)
    for (TQuireDatabase* database : databases_)
      if (EqualsIgnoringAsciiCase(database->DatabaseName(), name)) {
        found = database;
        break;
      }
  if (found == nullptr) {
    auto created = std::unique_ptr<TQuireDatabase>(new TQuireDatabase(*this, name));
    created->SetKeepConnection(keepConnections_);
    found = created.get();
    createdDatabases_.push_back(std::move(created));
  }
  found->SetConnected(true);
  ++found->useCount_;
  return *found;
}

void TQuireSession::ReleaseDatabase(TQuireDatabase& database) {
  // A database that is disconnecting closes the dataset giving the use
  // back: it must outlive the closing, and it disconnects once, itself.
  if (database.dropping_) return;
  if (database.useCount_ > 0) --database.useCount_;
  if (database.useCount_ > 0 || database.KeepConnection()) return;
  if (!database.destroying_ && FreeCreatedDatabase(database)) return;
  database.SetConnected(false);
}

}  // namespace quire
