#include "access/DBDataSet.h"

#include "access/BlobStream.h"
#include "access/Database.h"
#include "access/Session.h"
#include "engine/DatabaseError.h"

namespace quire {

TQuireDBDataSet::TQuireDBDataSet(const void* owner) : owner_(owner) {
  if (owner_ == nullptr) return;
  TQuireSessionList& list = TQuireSessionList::Instance();
  sessionName_ = list.AutoSessionNameOf(owner_);
  list.AddOwnedDataSet(*this);
}

TQuireDBDataSet::~TQuireDBDataSet() {
  if (owner_ != nullptr) TQuireSessionList::Instance().RemoveOwnedDataSet(*this);
}

void TQuireDBDataSet::CheckInactive() const {
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an open dataset");
}

void TQuireDBDataSet::SetDatabaseName(std::string_view name) {
  CheckInactive();
  databaseName_ = name;
}

void TQuireDBDataSet::SetSessionName(std::string_view name) {
  CheckInactive();
  sessionName_ = name;
}

std::string_view TQuireDBDataSet::EngineVersion() const {
  return kEngineVersion;
}

TQuireSession& TQuireDBDataSet::Session() const {
  return TQuireSessionList::Instance().GetSession(sessionName_);
}

TQuireDatabase& TQuireDBDataSet::AcquireDatabase() {
  if (database_ != nullptr) return *database_;
  database_ = &Session().AcquireDatabase(databaseName_, owner_);
  database_->AddDataSet(*this);
  return *database_;
}

void TQuireDBDataSet::ReleaseDatabase() {
  if (database_ == nullptr) return;
  TQuireDatabase* database = database_;
  database_ = nullptr;
  database->RemoveDataSet(*this);
  if (database->Session() != nullptr) database->Session()->ReleaseDatabase(*database);
}

std::unique_ptr<TQuireBlobStream> TQuireDBDataSet::CreateBlobStream(TField& field,
                                                                    TBlobStreamMode mode) {
  return std::make_unique<TQuireBlobStream>(*this, field, mode);
}

std::string TQuireDBDataSet::DatabaseFolder() const {
  std::string folder = database_ != nullptr ? database_->Directory() : std::string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace quire
