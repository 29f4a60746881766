#include "access/Table.h"

#include "access/Session.h"
#include "engine/DatabaseError.h"

namespace quire {

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
}

void TQuireTable::SetLockWaitTime(std::uint16_t milliseconds) {
  lockWaitTime_ = milliseconds;
  if (engine_) engine_->SetLockWaitTime(milliseconds);
}

void TQuireTable::SetIndexName(std::string_view name) {
  indexName_ = name;
  if (engine_) {
    engine_->SelectIndex(indexName_);
    First();
  }
}

bool TQuireTable::CanModify() const {
  return TQuireDataSet::CanModify() && !readOnly_;
}

TDataFile& TQuireTable::OpenCursor() {
  if (tableName_.empty()) RaiseDatabaseError("Missing table name.");
  AcquireDatabase();
  try {
    auto engine = std::make_unique<TDataFile>();
    const std::string path = DatabaseFolder() + tableName_;
    engine->SetFileName(path.substr(0, 255));
    engine->SetExclusive(exclusive_);
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
    readOnly_ = engine->ReadOnly();
    engine->SelectIndex(indexName_);
    engine_ = std::move(engine);
  } catch (...) {
    ReleaseDatabase();
    throw;
  }
  return *engine_;
}

void TQuireTable::CloseCursor() {
  if (engine_) {
    engine_->Close();
    engine_.reset();
  }
  ReleaseDatabase();
}

}  // namespace quire
