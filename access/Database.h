#pragma once
// TQuireDatabase: a name for a folder of tables, belonging to one session,
// with its connected state and the datasets that use it. Connecting opens
// no file: it runs BeforeConnect, finds the session and marks the database
// connected; disconnecting closes its datasets, last first.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quire {

class TQuireSession;
class TQuireDBDataSet;

class TQuireDatabase {
 public:
  // Registers with `session` (null: the default session). Placed on the
  // owner of an auto-named session, it takes that session's name.
  explicit TQuireDatabase(TQuireSession* session = nullptr, const void* owner = nullptr);
  ~TQuireDatabase();
  TQuireDatabase(const TQuireDatabase&) = delete;
  TQuireDatabase& operator=(const TQuireDatabase&) = delete;

  std::string_view EngineVersion() const;

  bool Connected() const { return connected_; }
  void SetConnected(bool connected);
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string_view name);
  // The folder; for a database the session made from a name holding ":"
  // or "/", that name.
  std::string Directory() const;
  void SetDirectory(std::string_view directory);
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool shared) { handleShared_ = shared; }
  bool KeepConnection() const { return keepConnection_; }
  void SetKeepConnection(bool keep) { keepConnection_ = keep; }
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  TQuireSession* Session() const { return session_; }
  // Made by the session for a dataset that named no database of its own.
  bool Temporary() const { return temporary_; }

  std::function<void(TQuireDatabase& sender)> BeforeConnect;

  // Datasets opened through the database sign on and off. Disconnecting
  // closes them, last first; one that is not open (a query inside RunSQL, a
  // closed table reading its definitions) is signed off and lets go of the
  // database instead, so that the list always empties.
  void AddDataSet(TQuireDBDataSet& dataset) { datasets_.push_back(&dataset); }
  void RemoveDataSet(TQuireDBDataSet& dataset);
  const std::vector<TQuireDBDataSet*>& DataSets() const { return datasets_; }

 private:
  friend class TQuireSession;
  TQuireDatabase(TQuireSession& session, std::string_view name);  // the session's own
  void EstablishConnection();
  void DropConnection();
  void CheckDisconnected() const;
  // Raises "Database name %s already exists." when another database of
  // `session` has `name` and not both share handles; returns the unused
  // databases the session made with that name, which give way.
  std::vector<TQuireDatabase*> CheckNameIn(TQuireSession& session, std::string_view name) const;

  TQuireSession* session_ = nullptr;
  const void* owner_ = nullptr;
  std::string databaseName_;
  std::string directory_;
  std::string sessionName_;
  bool handleShared_ = false;
  bool keepConnection_ = true;
  bool connected_ = false;
  bool temporary_ = false;
  bool destroying_ = false;
  // While DropConnection closes the datasets: a use they give back neither
  // frees nor disconnects the database a second time.
  bool dropping_ = false;
  int useCount_ = 0;
  std::vector<TQuireDBDataSet*> datasets_;
};

}  // namespace quire
