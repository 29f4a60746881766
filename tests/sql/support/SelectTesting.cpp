#include "support/SelectTesting.h"

#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "engine/BlankText.h"
#include "engine/FieldTypes.h"
#include "index/IndexFile.h"

namespace quire::testing {

TIndexDefinition IndexOn(std::vector<std::uint16_t> fields, bool caseInsensitive, std::string name,
                         bool unique, std::vector<bool> descending) {
  TIndexDefinition index;
  index.Name = std::move(name);
  index.FieldCount = static_cast<std::uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    index.FieldNumbers[i] = fields[i];
    index.FieldDescending[i] = i < descending.size() && descending[i] ? 1 : 0;
  }
  index.CaseInsensitive = caseInsensitive ? 1 : 0;
  index.Unique = unique ? 1 : 0;
  return index;
}

TSelectFolder::TSelectFolder() {
  std::string pattern = "/tmp/quire-select-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

TSelectFolder::~TSelectFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void TSelectFolder::Create(std::string_view name, const std::vector<TColumnSpec>& columns,
                           const TIndexDefinition& primary,
                           const std::vector<TIndexDefinition>& secondary) {
  TTableCreateRequest request;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    TFieldDefinition field;
    field.FieldNo = static_cast<std::int16_t>(i + 1);
    field.FieldName = columns[i].Name;
    field.FieldType = columns[i].Type;
    field.FieldSubType = columns[i].SubType;
    field.FieldSize = columns[i].Size;
    if (columns[i].Type == ftype::Bcd) field.FieldDecimals = 2;
    request.Fields.push_back(field);
  }
  request.Primary = primary;
  request.Secondary = secondary;
  TDataFile table;
  table.SetFileName(Path(name));
  table.SetExclusive(true);
  table.CreateTable(request);
}

void TSelectFolder::Insert(std::string_view name, const std::vector<std::vector<TValue>>& rows) {
  TDataFile table;
  table.SetFileName(Path(name));
  table.Open();
  for (const std::vector<TValue>& values : rows) {
    std::vector<std::uint8_t> record = table.NewRecordBuffer();
    table.InitRecord(record);
    for (std::size_t i = 0; i < values.size(); ++i)
      WriteValue(table.LogicalFields()[i], record, values[i]);
    table.InsertRecord(record, false);
  }
  table.Close();
}

namespace {

// A data-file table that counts what Next hands out.
class TCountingTable : public TStatementTable {
 public:
  TCountingTable(std::unique_ptr<TStatementTable> table, std::shared_ptr<std::int64_t> reads)
      : table_(std::move(table)), reads_(std::move(reads)) {}

  const std::vector<TFieldDescriptor>& Fields() const override { return table_->Fields(); }
  void LockAllRecords() override { table_->LockAllRecords(); }
  void UnlockAllRecords() override { table_->UnlockAllRecords(); }
  bool Restrict(const TQueryExprNode& condition, bool forStatement) override {
    return table_->Restrict(condition, forStatement);
  }
  void ClearRestriction() override { table_->ClearRestriction(); }
  void First() override { table_->First(); }
  bool Next(std::span<std::uint8_t> record) override {
    const bool read = table_->Next(record);
    if (read) ++*reads_;
    return read;
  }
  std::int32_t ViewCount() override { return table_->ViewCount(); }
  std::size_t RecordSize() const override { return table_->RecordSize(); }
  void DeleteCurrent() override { table_->DeleteCurrent(); }
  bool ReadCurrent(std::span<std::uint8_t> record) override { return table_->ReadCurrent(record); }
  void ModifyCurrent(std::span<std::uint8_t> record) override { table_->ModifyCurrent(record); }
  std::vector<std::uint8_t> NewRecord() override { return table_->NewRecord(); }
  void Append(std::span<std::uint8_t> record) override { table_->Append(record); }
  bool SetValue(int fieldNo, std::span<std::uint8_t> record, const TValue& value) override {
    return table_->SetValue(fieldNo, record, value);
  }
  TDataFile* DataFile() override { return table_->DataFile(); }

 private:
  std::unique_ptr<TStatementTable> table_;
  std::shared_ptr<std::int64_t> reads_;
};

}  // namespace

std::unique_ptr<TStatementTable> TCountingOpener::Open(const TSourceDataFile& table,
                                                       bool writable) {
  auto& reads = reads_[table.TableName()];
  if (!reads) reads = std::make_shared<std::int64_t>(0);
  return std::make_unique<TCountingTable>(opener_.Open(table, writable), reads);
}

std::int64_t TCountingOpener::Reads(const std::string& fileName) const {
  const auto found = reads_.find(fileName);
  return found == reads_.end() ? 0 : *found->second;
}

TSelectQuery::TSelectQuery(const TSelectFolder& folder, std::string_view text,
                           TSelectSettings settings)
    : live_(settings.LiveResult) {
  query_.Settings().DatabaseDirectory = folder.Dir();
  query_.ParseStatement(text, tables_);
  select_ = std::make_unique<TSelectExecution>(query_.Statement(), tables_, settings);
}

TDataFile& TSelectQuery::Run(const TProgressCallback& progress) {
  result_ = &select_->Run(progress);
  return *result_;
}

std::vector<std::string> TSelectQuery::Rows() {
  std::vector<std::string> rows;
  std::vector<std::uint8_t> record = result_->NewRecordBuffer();
  result_->First();
  while (result_->GetNextRecord(record) == 0) {
    std::string row;
    for (const int field : select_->VisibleFields()) {
      if (!row.empty() || field != select_->VisibleFields().front()) row += "|";
      row += ShowValue(ReadValue(result_->LogicalFields()[field - 1], record));
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> TSelectQuery::ColumnNames() {
  std::vector<std::string> names;
  for (const int field : select_->VisibleFields())
    names.push_back(result_ ? result_->LogicalFields()[field - 1].FieldName : "");
  return names;
}

TDataFile& TSelectQuery::Source(std::string_view correlation) {
  for (const auto& source : query_.Statement().SourceTables)
    if (EqualsIgnoringAsciiCase(source->CorrelationName(), correlation))
      return *tables_.Table(*source).DataFile();
  throw std::runtime_error("no source table " + std::string(correlation));
}

std::int64_t TSelectQuery::Reads(std::string_view correlation) {
  for (const auto& source : query_.Statement().SourceTables)
    if (EqualsIgnoringAsciiCase(source->CorrelationName(), correlation))
      return opener_.Reads(source->TableName());
  throw std::runtime_error("no source table " + std::string(correlation));
}

std::vector<std::string> SelectRows(const TSelectFolder& folder, std::string_view text) {
  TSelectQuery query(folder, text);
  query.Run();
  return query.Rows();
}

std::string ShowValue(const TValue& value) {
  if (value.Null) return "NULL";
  std::ostringstream out;
  switch (value.Type) {
    case ftype::String:
      return value.Text;
    case ftype::Boolean:
      return value.Integer != 0 ? "true" : "false";
    case ftype::Float:
    case ftype::TimeStamp:
      out << value.Real;
      return out.str();
    case ftype::Bcd:
      out << static_cast<double>(value.Integer) / 10000.0;
      return out.str();
    default:
      return std::to_string(value.Integer);
  }
}

}  // namespace quire::testing
