#pragma once
// TQuireTable: the dataset over one table of a database's folder.
//
// Opening: "Missing table name." without TableName; the database is
// acquired; the engine table is opened as the folder + TableName with the
// table's settings, asking the session for missing passwords; the index of
// IndexName (empty: the primary) becomes the order; the first record is
// current. A failure leaves the table closed.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "access/DBDataSet.h"
#include "engine/DataFile.h"

namespace quire {

class TQuireTable : public TQuireDBDataSet {
 public:
  explicit TQuireTable(const void* owner = nullptr) : TQuireDBDataSet(owner) {}
  ~TQuireTable() override;

  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  // After opening, whether the engine table is read-only.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool inMemory);
  bool StrictChangeDetection() const { return strict_; }
  void SetStrictChangeDetection(bool strict);
  bool ForceBufferFlush() const { return forceFlush_; }
  void SetForceBufferFlush(bool force);
  // Passed to an open table at once.
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t count);
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t milliseconds);
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(std::string_view name);

 protected:
  TDataFile& OpenCursor() override;
  void CloseCursor() override;
  bool CanModify() const override;

 private:
  std::string tableName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool inMemory_ = false;
  bool strict_ = false;
  bool forceFlush_ = false;
  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
  std::string indexName_;
  std::unique_ptr<TDataFile> engine_;
};

}  // namespace quire
