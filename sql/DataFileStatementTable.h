#pragma once
// The statement executor's view of a data file: the table opened shared,
// in physical order, with the query's lock settings, and a condition handed
// to it as a TFilter answered from its indexes where they serve.

#include <memory>
#include <string>

#include "engine/DataFile.h"
#include "sql/Filter.h"
#include "sql/StatementTable.h"

namespace quire {

// How the query opens its tables.
struct TTableOpenSettings {
  std::uint8_t LockRetryCount = 15;
  std::uint16_t LockWaitTime = 100;  // milliseconds
  bool StrictChangeDetection = false;
  TDataFile::TPasswordCallback PasswordCallback;
};

class TDataFileStatementTable : public TStatementTable {
 public:
  // Opens `fileName` shared, read-only unless `writable`.
  TDataFileStatementTable(const std::string& fileName, bool inMemory, bool writable,
                          const TTableOpenSettings& settings);
  ~TDataFileStatementTable() override;

  TDataFile* DataFile() override { return &table_; }
  // The filter of the last Restrict that took the condition, if any.
  const TFilter* ActiveFilter() const { return filter_.get(); }

  const std::vector<TFieldDescriptor>& Fields() const override { return table_.LogicalFields(); }
  void LockAllRecords() override { table_.LockAllRecords(); }
  void UnlockAllRecords() override { table_.UnlockAllRecords(); }
  bool Restrict(const TQueryExprNode& condition, bool forStatement) override;
  bool RestrictForReading(const TQueryExprNode& condition) override;
  void ClearRestriction() override;
  void First() override { table_.First(); }
  bool Next(std::span<std::uint8_t> record) override;
  std::int32_t ViewCount() override { return table_.RecordCount(); }
  std::size_t RecordSize() const override { return table_.RecordBufferSize(); }
  void DeleteCurrent() override { table_.DeleteRecord(); }
  bool ReadCurrent(std::span<std::uint8_t> record) override;
  void ModifyCurrent(std::span<std::uint8_t> record) override;
  std::vector<std::uint8_t> NewRecord() override;
  void Append(std::span<std::uint8_t> record) override { table_.InsertRecord(record, false); }
  bool SetValue(int fieldNo, std::span<std::uint8_t> record, const TValue& value) override;

 private:
  TDataFile table_;
  std::unique_ptr<TFilter> filter_;
  // RestrictForReading set a key range on the current index.
  bool ranged_ = false;
  std::vector<std::uint8_t> rangeRecord_;
};

// Opens data files for a query.
class TDataFileTableOpener : public TStatementTableOpener {
 public:
  explicit TDataFileTableOpener(TTableOpenSettings settings) : settings_(std::move(settings)) {}
  std::unique_ptr<TStatementTable> Open(const TSourceDataFile& table, bool writable) override;

 private:
  TTableOpenSettings settings_;
};

}  // namespace quire
