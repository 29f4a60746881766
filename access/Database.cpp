#include "access/Database.h"

#include <algorithm>

#include "access/DBDataSet.h"
#include "access/Session.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"

namespace quire {
namespace {

// A name holding a drive or a path separator names a folder, not a
// database (":" as on a drive letter, "/" as the path separator here).
bool NamesFolder(std::string_view name) {
  return name.find(':') != std::string_view::npos || name.find('/') != std::string_view::npos;
}

}  // namespace

TQuireDatabase::TQuireDatabase(TQuireSession* session, const void* owner)
    : session_(session != nullptr ? session : &TQuireSessionList::Instance().DefaultSession()),
      owner_(owner) {
  // Placed on the owner of an auto-named session, it takes that name.
  const std::string autoName = TQuireSessionList::Instance().AutoSessionNameOf(owner_);
  sessionName_ = autoName.empty() ? session_->SessionName() : autoName;
  session_->AddDatabase(*this);
}

TQuireDatabase::TQuireDatabase(TQuireSession& session, std::string_view name)
    : session_(&session), temporary_(true) {
  databaseName_ = name;
  sessionName_ = session.SessionName();
  session_->AddDatabase(*this);
}

TQuireDatabase::~TQuireDatabase() {
  destroying_ = true;
  try {
    DropConnection();
  } catch (...) {
    // Closing a dataset failed; the database goes all the same.
  }
  if (session_ != nullptr) session_->RemoveDatabase(*this);
}

std::string_view TQuireDatabase::EngineVersion() const {
  return kEngineVersion;
}

void TQuireDatabase::CheckDisconnected() const {
  if (connected_) RaiseDatabaseError("Cannot perform this operation on an open database.");
}

void TQuireDatabase::SetConnected(bool connected) {
  if (connected) {
    EstablishConnection();
  } else {
    DropConnection();
  }
}

void TQuireDatabase::SetDatabaseName(std::string_view name) {
  CheckDisconnected();
  if (!temporary_ && NamesFolder(name)) RaiseDatabaseError("Database name %s is not valid.", name);
  const std::vector<TQuireDatabase*> givingWay =
      session_ != nullptr ? CheckNameIn(*session_, name) : std::vector<TQuireDatabase*>{};
  for (TQuireDatabase* other : givingWay) session_->FreeCreatedDatabase(*other);
  databaseName_ = name;
}

std::vector<TQuireDatabase*> TQuireDatabase::CheckNameIn(TQuireSession& session,
                                                         std::string_view name) const {
  std::vector<TQuireDatabase*> givingWay;
  for (TQuireDatabase* other : session.Databases()) {
    if (other == this || !EqualsIgnoringAsciiCase(other->DatabaseName(), name)) continue;
    if (other->HandleShared() && handleShared_) continue;
    // An unused database the session made gives way: the caller frees it
    // once every check has passed.
    if (other->Temporary() && other->useCount_ == 0) {
      givingWay.push_back(other);
      continue;
    }
    RaiseDatabaseError("Database name %s already exists.", name);
  }
  return givingWay;
}

std::string TQuireDatabase::Directory() const {
  if (temporary_ && NamesFolder(databaseName_)) return databaseName_;
  return directory_;
}

void TQuireDatabase::SetDirectory(std::string_view directory) {
  CheckDisconnected();
  directory_ = directory;
}

void TQuireDatabase::SetSessionName(std::string_view name) {
  CheckDisconnected();
  sessionName_ = name;
}

void TQuireDatabase::EstablishConnection() {
  if (connected_) return;
  if (BeforeConnect) BeforeConnect(*this);
  if (databaseName_.empty() && !temporary_) RaiseDatabaseError("Database name is missing.");
  TQuireSession& session = TQuireSessionList::Instance().GetSession(sessionName_);
  if (&session != session_) {
    // Its name must be free in the session it moves to: checked before it
    // leaves the one it is in.
    const std::vector<TQuireDatabase*> givingWay = CheckNameIn(session, databaseName_);
    for (TQuireDatabase* other : givingWay) session.FreeCreatedDatabase(*other);
    if (session_ != nullptr) session_->RemoveDatabase(*this);
    session_ = &session;
    session_->AddDatabase(*this);
  }
  session.SetActive(true);
  if (handleShared_) {
    for (TQuireDatabase* other : session.Databases())
      if (other != this && other->Connected() && other->HandleShared() &&
          EqualsIgnoringAsciiCase(other->DatabaseName(), databaseName_)) {
        connected_ = true;  // shares the other's connection
        return;
      }
  }
  const TEngineCall call(session);
  connected_ = true;
}

void TQuireDatabase::DropConnection() {
  if (!connected_ || dropping_) return;
  dropping_ = true;
  struct TEndDrop {
    bool& dropping;
    ~TEndDrop() { dropping = false; }
  } endDrop{dropping_};
  while (!datasets_.empty()) {
    TQuireDBDataSet* dataset = datasets_.back();
    dataset->Close();
    // Closing an inactive dataset does nothing: it would stay in the list.
    if (std::find(datasets_.begin(), datasets_.end(), dataset) != datasets_.end()) {
      RemoveDataSet(*dataset);
      dataset->DatabaseDropped();
    }
  }
  connected_ = false;
  useCount_ = 0;
}

void TQuireDatabase::RemoveDataSet(TQuireDBDataSet& dataset) {
  datasets_.erase(std::remove(datasets_.begin(), datasets_.end(), &dataset), datasets_.end());
}

}  // namespace quire
