#include "access/Table.h"

#include "access/Session.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"

namespace quire {

TQuireTable::TQuireTable(const void* owner) : TQuireDBDataSet(owner) {}

TQuireTable::~TQuireTable() {
  try {
    Close();
  } catch (...) {
    // A close that fails leaves nothing to keep.
  }
}

void TQuireTable::SetTableName(std::string_view name) {
  CheckInactive();
  tableName_ = name;
  defsValid_ = false;
}
void TQuireTable::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}
void TQuireTable::SetReadOnly(bool readOnly) {
  CheckInactive();
  readOnly_ = readOnly;
}
void TQuireTable::SetInMemory(bool inMemory) {
  CheckInactive();
  inMemory_ = inMemory;
  defsValid_ = false;
}
void TQuireTable::SetStrictChangeDetection(bool strict) {
  CheckInactive();
  strict_ = strict;
}
void TQuireTable::SetForceBufferFlush(bool force) {
  CheckInactive();
  forceFlush_ = force;
}

void TQuireTable::SetLockRetryCount(std::uint8_t count) {
  lockRetryCount_ = count;
  if (engine_) engine_->SetLockRetryCount(count);
  if (locateTable_) locateTable_->SetLockRetryCount(count);
}

void TQuireTable::SetLockWaitTime(std::uint16_t milliseconds) {
  lockWaitTime_ = milliseconds;
  if (engine_) engine_->SetLockWaitTime(milliseconds);
  if (locateTable_) locateTable_->SetLockWaitTime(milliseconds);
}

void TQuireTable::SetIndexName(std::string_view name) {
  if (engine_) CheckBrowseMode();
  indexName_ = name;
  indexFieldNames_.clear();
  if (engine_) {
    SelectActiveIndex();
    MasterChanged(false);  // the master's range over the new index
    First();
  }
}

void TQuireTable::SetIndexFieldNames(std::string_view names) {
  if (engine_) CheckBrowseMode();
  indexFieldNames_ = names;
  indexName_.clear();
  if (engine_) {
    SelectActiveIndex();
    MasterChanged(false);
    First();
  }
}

std::string TQuireTable::IndexForFields(TDataFile& engine, std::string_view names) const {
  for (const TIndexDef& def : IndexDefsOf(engine))
    if (EqualsIgnoringAsciiCase(def.Fields, names)) return def.Name;
  RaiseDatabaseError("No index for fields '%s'", names);
}

// The index of IndexFieldNames or IndexName; the key buffers and the range
// belong to the index they were made for, so they go.
void TQuireTable::SelectActiveIndex() {
  const std::string name =
      indexFieldNames_.empty() ? indexName_ : IndexForFields(*engine_, indexFieldNames_);
  if (engine_->RangeActive()) engine_->CancelRange();
  engine_->SelectIndex(name);
  ClearKeyBuffers();
}

bool TQuireTable::CanModify() const {
  return TQuireDataSet::CanModify() && !readOnly_;
}

std::unique_ptr<TDataFile> TQuireTable::OpenEngineTable(bool exclusive) {
  auto engine = std::make_unique<TDataFile>();
  const std::string path = DatabaseFolder() + tableName_;
  engine->SetFileName(path.substr(0, 255));
  engine->SetExclusive(exclusive);
  engine->SetReadOnly(readOnly_);
  engine->SetInMemory(inMemory_);
  engine->SetStrictChangeDetection(strict_);
  engine->SetForceBufferFlush(forceFlush_);
  engine->SetLockRetryCount(lockRetryCount_);
  engine->SetLockWaitTime(lockWaitTime_);
  TQuireSession& session = Session();
  engine->SetPasswordCallback([&session] { return session.PromptForPassword(); });
  session.MakeCurrent();
  try {
    engine->Open();
  } catch (...) {
    engine->SetPasswordCallback({});
    throw;
  }
  engine->SetPasswordCallback({});
  return engine;
}

std::unique_ptr<TDataFile> TQuireTable::OpenSecondTable() {
  if (tableName_.empty()) RaiseDatabaseError("Missing table name.");
  // The folder is the database's: a closed table holds it for the opening.
  const bool borrowed = Database() == nullptr;
  if (borrowed) AcquireDatabase();
  std::unique_ptr<TDataFile> engine;
  try {
    engine = OpenEngineTable(/*exclusive=*/false);
  } catch (...) {
    if (borrowed) ReleaseDatabase();
    throw;
  }
  if (borrowed) ReleaseDatabase();
  return engine;
}

TDataFile& TQuireTable::OpenCursor() {
  if (tableName_.empty()) RaiseDatabaseError("Missing table name.");
  AcquireDatabase();
  try {
    std::unique_ptr<TDataFile> engine = OpenEngineTable(exclusive_);
    readOnly_ = engine->ReadOnly();
    engine_ = std::move(engine);
    SelectActiveIndex();
  } catch (...) {
    if (engine_) {
      engine_->Close();
      engine_.reset();
    }
    ReleaseDatabase();
    throw;
  }
  defsValid_ = false;
  return *engine_;
}

void TQuireTable::CloseCursor() {
  keys_.clear();
  locateTable_.reset();
  locateFields_.clear();
  if (engine_) {
    engine_->Close();
    engine_.reset();
  }
  ReleaseDatabase();
}

}  // namespace quire
