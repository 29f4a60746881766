#include "sql/DataQuery.h"

#include "engine/FieldTypes.h"
#include "engine/FormatSettings.h"
#include "sql/DataFileStatementTable.h"
#include "sql/OpenTables.h"
#include "sql/SelectStatement.h"
#include "sql/SqlError.h"
#include "sql/StatementParser.h"

namespace quire {

TDataQuery::TDataQuery() = default;

TDataQuery::~TDataQuery() {
  Free();
}

void TDataQuery::ParseStatement(std::string_view text, TTableSchemas& schemas) {
  parser_.Load(text);
  statement_.Clear();
  try {
    TStatementParser(*this, schemas).Parse();
  } catch (...) {
    // Nothing of a statement that failed is kept, so that a half-built
    // one can neither be run nor point into freed trees.
    statement_.Clear();
    throw;
  }
}

void TDataQuery::PrepareStatement(std::string_view text, TStatementTableOpener* opener) {
  Free();
  if (opener == nullptr) {
    ownOpener_ = std::make_unique<TDataFileTableOpener>(
        TTableOpenSettings{settings_.LockRetryCount, settings_.LockWaitTime,
                           settings_.StrictChangeDetection, settings_.PasswordCallback});
    opener = ownOpener_.get();
  }
  // A table is opened when the parser first asks for its fields; by then
  // the statement's kind is known.
  tables_ = std::make_unique<TOpenTables>(
      *opener, [this] { return statement_.Kind != skSelect || settings_.LiveResult; });
  try {
    ParseStatement(text, *tables_);
    switch (statement_.Kind) {
      case skDelete:
        Target();
        break;
      case skUpdate:
      case skInsert:
        targets_ = ResolveTargetColumns(statement_, Target());
        break;
      default:
        select_ = std::make_unique<TSelectExecution>(
            statement_, *tables_,
            TSelectSettings{settings_.LiveResult, settings_.LanguageId, settings_.SortId});
        break;
    }
  } catch (...) {
    Free();
    throw;
  }
}

TStatementTable& TDataQuery::Target() {
  return tables_->Table(*statement_.SourceTables.front());
}

void TDataQuery::SetParamValues(std::span<const TValue> values) {
  if (values.size() > statement_.Parameters.size()) RaiseSqlError("Internal parameter error");
  for (std::size_t i = 0; i < values.size(); ++i) {
    TQueryExprNode& marker = *statement_.Parameters[i];
    const std::uint8_t checked = marker.Value.Type;
    TValue value = values[i];
    // A marker that type checking gave the type of what it meets takes its
    // value in that type, so that Code = ? compares texts with texts.
    if (checked != 0 && value.Type != checked && !value.Null) {
      std::optional<TValue> converted =
          value.Type == ftype::String ? ParseValue(checked, value.Text, CurrentFormatSettings())
                                      : ConvertValue(value, checked);
      if (converted) value = *converted;
    }
    marker.Value = value;
  }
}

void TDataQuery::SetParamBuffer(std::span<const TParamDescriptor> descriptors,
                                std::span<const std::uint8_t> buffer) {
  std::vector<TValue> values;
  values.reserve(descriptors.size());
  for (const TParamDescriptor& slot : descriptors) {
    if (std::size_t{slot.Offset} + 1 + slot.Size > buffer.size())
      RaiseSqlError("Internal parameter error");
    const std::span<const std::uint8_t> bytes = buffer.subspan(slot.Offset + 1, slot.Size);
    values.push_back(buffer[slot.Offset] != 0 ? DecodeValue(slot.EngineType, slot.SubType, bytes)
                                              : TValue::NullOf(slot.EngineType, slot.Size));
  }
  SetParamValues(values);
}

TDataFile* TDataQuery::RunStatement() {
  if (statement_.Kind == skNone) RaiseSqlError("No statement has been prepared");
  busy_ = true;
  struct TBusy {
    bool& flag;
    ~TBusy() { flag = false; }
  } busy{busy_};
  rowsAffected_ = 0;
  switch (statement_.Kind) {
    case skDelete:
      rowsAffected_ = RunDelete(statement_, Target(), progress_);
      return nullptr;
    case skUpdate:
      rowsAffected_ = RunUpdate(statement_, Target(), targets_, progress_);
      return nullptr;
    case skInsert:
      rowsAffected_ = RunInsert(statement_, Target(), targets_);
      return nullptr;
    default: {
      TDataFile& result = select_->Run(progress_);
      rowsAffected_ = select_->RowsAffected();
      return &result;
    }
  }
}

const std::vector<int>& TDataQuery::VisibleFields() const {
  static const std::vector<int> kNone;
  return select_ ? select_->VisibleFields() : kNone;
}

void TDataQuery::Free() {
  select_.reset();  // the result first: it may be a source table's view
  if (tables_) tables_->CloseAll();
  tables_.reset();
  ownOpener_.reset();
  targets_.clear();
  statement_.Clear();
  parser_.Free();
  rowsAffected_ = 0;
}

}  // namespace quire
