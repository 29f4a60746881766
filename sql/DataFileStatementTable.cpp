#include "sql/DataFileStatementTable.h"

#include "engine/FieldTypes.h"
#include "engine/FormatSettings.h"
#include "index/IndexFile.h"

namespace quire {

TDataFileStatementTable::TDataFileStatementTable(const std::string& fileName, bool inMemory,
                                                 bool writable,
                                                 const TTableOpenSettings& settings) {
  table_.SetFileName(fileName);
  table_.SetInMemory(inMemory);
  table_.SetExclusive(false);
  table_.SetReadOnly(!writable);
  table_.SetLockRetryCount(settings.LockRetryCount);
  table_.SetLockWaitTime(settings.LockWaitTime);
  table_.SetStrictChangeDetection(settings.StrictChangeDetection);
  if (settings.PasswordCallback) table_.SetPasswordCallback(settings.PasswordCallback);
  table_.Open();
  table_.SelectIndex(kPhysicalOrder);
}

TDataFileStatementTable::~TDataFileStatementTable() {
  filter_.reset();  // before the table it is installed on
}

bool TDataFileStatementTable::Restrict(const TQueryExprNode& condition, bool forStatement) {
  ClearRestriction();
  auto filter = std::make_unique<TFilter>(table_, CopyTree(condition));
  // Part of the condition from the indexes is still worth a filter: the
  // rest is tested only on the records the indexed part let through. The
  // counts and marks of the analysis and the bitmap are one read of the
  // table, under one transient read lock.
  bool answered = false;
  table_.ReadTogether([&] {
    if (filter->Analyse(forStatement) == 2) return;
    filter->Activate();
    answered = true;
  });
  if (!answered) return false;
  filter_ = std::move(filter);
  return true;
}

bool TDataFileStatementTable::RestrictForReading(const TQueryExprNode& condition) {
  const std::optional<TEqualKey> key = EqualKeyOf(table_, condition);
  if (!key) return Restrict(condition, true);
  ClearRestriction();
  if (table_.CurrentIndex() != key->Slot) table_.SelectIndex(key->Slot);
  rangeRecord_ = table_.NewRecordBuffer();
  table_.InitRecord(rangeRecord_);
  table_.SetField(true, key->FieldNo, rangeRecord_, key->Bytes.data(), key->Bytes.size());
  table_.SetRange(rangeRecord_, 1, rangeRecord_, 1);
  ranged_ = true;
  return true;
}

void TDataFileStatementTable::ClearRestriction() {
  filter_.reset();
  table_.RemoveAllFilters();
  if (ranged_) {
    table_.CancelRange();
    ranged_ = false;
  }
}

bool TDataFileStatementTable::Next(std::span<std::uint8_t> record) {
  return table_.GetNextRecord(record) == 0;
}

bool TDataFileStatementTable::ReadCurrent(std::span<std::uint8_t> record) {
  return table_.GetCurrentRecord(record) == 0;
}

void TDataFileStatementTable::ModifyCurrent(std::span<std::uint8_t> record) {
  table_.ModifyRecord(record, true, false);
}

std::vector<std::uint8_t> TDataFileStatementTable::NewRecord() {
  std::vector<std::uint8_t> record = table_.NewRecordBuffer();
  table_.InitRecord(record);
  return record;
}

bool TDataFileStatementTable::SetValue(int fieldNo, std::span<std::uint8_t> record,
                                       const TValue& value) {
  const TFieldDescriptor& field = table_.FieldAt(true, fieldNo);
  if (value.Null) {
    table_.SetField(true, fieldNo, record, nullptr, 0);
    return true;
  }
  if (field.IsBlob()) return false;
  const auto bytes = EncodeForField(value, field, CurrentFormatSettings());
  if (!bytes) return false;
  table_.SetField(true, fieldNo, record, bytes->data(), bytes->size());
  return true;
}

std::unique_ptr<TStatementTable> TDataFileTableOpener::Open(const TSourceDataFile& table,
                                                            bool writable) {
  return std::make_unique<TDataFileStatementTable>(table.TableName(), table.InMemory(), writable,
                                                   settings_);
}

}  // namespace quire
