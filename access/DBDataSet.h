#pragma once
// TQuireDBDataSet: a dataset bound to a database of a session, by name.
// Opening acquires the database (connecting it, and making its session
// current) and signs the dataset on with it; closing signs off and gives
// the database back.

#include <memory>
#include <string>
#include <string_view>

#include "access/DataSet.h"

namespace quire {

class TQuireDatabase;
class TQuireSession;
class TQuireBlobStream;
enum class TBlobStreamMode;

class TQuireDBDataSet : public TQuireDataSet {
 public:
  // A dataset placed on the owner of an auto-named session takes that
  // session's name.
  explicit TQuireDBDataSet(const void* owner = nullptr);
  ~TQuireDBDataSet() override;

  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string_view name);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  std::string_view EngineVersion() const;

  // The database while acquired (from open to close, or during RunSQL).
  TQuireDatabase* Database() const { return database_; }
  TQuireSession& Session() const;

  // A stream over the blob field `field` of the active record
  // (BlobStream.h).
  std::unique_ptr<TQuireBlobStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

 protected:
  // Acquires the database and signs on; ReleaseDatabase undoes it.
  TQuireDatabase& AcquireDatabase();
  void ReleaseDatabase();
  // The database's folder with a trailing "/".
  std::string DatabaseFolder() const;
  // "Cannot perform this operation on an open dataset" while open.
  void CheckInactive() const;

 private:
  // A stream keeps the dataset's account of changed blobs and tells its
  // controls of the change.
  friend class TQuireBlobStream;
  friend class TQuireDatabase;
  friend class TQuireSession;  // an auto-named session names the owner's datasets
  // The database disconnected while this dataset was not open (inside
  // RunSQL, or reading definitions): it no longer holds a use of it.
  void DatabaseDropped() { database_ = nullptr; }

  const void* owner_;
  std::string databaseName_;
  std::string sessionName_;
  TQuireDatabase* database_ = nullptr;
};

}  // namespace quire
