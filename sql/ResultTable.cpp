#include "sql/ResultTable.h"

#include <algorithm>
#include <filesystem>

#include "engine/Engine.h"
#include "engine/FieldTypes.h"
#include "engine/FileSession.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

constexpr int kRowNumberField = 1;

TFieldDefinition FieldOfValue(const TQueryExprNode& value, TOpenTables& tables) {
  TFieldDefinition field;
  if (value.IsColumn()) {
    const TFieldDescriptor& source = tables.Table(*value.SourceTable).Fields()[value.FieldNo - 1];
    field.FieldType = source.FieldType;
    // A copied auto-increment value is a plain integer here: the result
    // table must not number its rows with it.
    field.FieldSubType = source.IsAutoInc() ? fsubtype::None : source.FieldSubType;
    field.FieldSize = source.FieldSize;
    field.FieldDecimals = source.FieldDecimals;
    return field;
  }
  field.FieldType = value.Type() == 0 ? ftype::String : value.Type();
  field.FieldSubType = value.Value.SubType;
  field.FieldDecimals = value.Value.Decimals;
  if (HasFieldSize(field.FieldType)) {
    // An expression's string size counts its terminator; a field's does not.
    const int size = field.FieldType == ftype::String ? value.Value.Size - 1 : value.Value.Size;
    field.FieldSize = std::clamp(size, 1, kMaxFieldSize);
  }
  return field;
}

TFieldDefinition FieldOfColumn(const TResultColumn& column, TOpenTables& tables) {
  TFieldDefinition field;
  switch (column.Aggregate) {
    case op::Count:
      field.FieldType = ftype::Integer;
      break;
    case op::Avg:
      field.FieldType = ftype::Float;
      break;
    default:
      field = FieldOfValue(column.Value(), tables);
      break;
  }
  field.FieldName = column.Name;
  return field;
}

TIndexDefinition IndexOver(const std::vector<int>& fields, const std::vector<bool>& descending,
                           bool caseInsensitive, bool unique) {
  TIndexDefinition index;
  index.FieldCount = static_cast<std::uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size() && i < kMaxKeyFields; ++i) {
    index.FieldNumbers[i] = static_cast<std::uint16_t>(fields[i]);
    index.FieldDescending[i] = i < descending.size() && descending[i] ? 1 : 0;
  }
  index.CaseInsensitive = caseInsensitive ? 1 : 0;
  index.Unique = unique ? 1 : 0;
  return index;
}

std::vector<int> FieldsOf(const std::vector<TSortColumn>& items, const TResultLayout& layout) {
  std::vector<int> fields;
  for (const TSortColumn& item : items) fields.push_back(layout.ColumnFields[item.Column]);
  return fields;
}

// Whether a lookup index over `fields` can be the ORDER BY index itself:
// the same fields in the same order, and NOCASE changing no string's key.
bool OrderIndexServes(const std::vector<int>& fields, const std::vector<int>& orderFields,
                      bool noCase, const TTableCreateRequest& request) {
  if (fields != orderFields) return false;
  return !noCase || std::none_of(fields.begin(), fields.end(), [&](int field) {
    return request.Fields[field - 1].FieldType == ftype::String;
  });
}

// The folder a result table name without one is put in.
std::string ResultTablePath(const std::string& name, bool inMemory) {
  if (inMemory || name.find('/') != std::string::npos) return name;
  const std::string& directory = CurrentSession().PrivateDir();
  if (directory.empty()) return (std::filesystem::current_path() / name).string();
  return (std::filesystem::path(directory) / name).string();
}

}  // namespace

TResultLayout LayoutResult(const TResultColumns& columns, TOpenTables& tables,
                           const std::vector<TSortColumn>& orderBy, bool noCase,
                           const std::vector<TSortColumn>& groupBy, bool distinct) {
  if (distinct && columns.Columns.size() > kMaxDistinctColumns)
    RaiseSqlError("Maximum number of columns (" + std::to_string(kMaxDistinctColumns) +
                  ") in DISTINCT clause exceeded");
  TResultLayout layout;
  std::vector<TFieldDefinition>& fields = layout.Request.Fields;
  TFieldDefinition rowNumber;
  rowNumber.FieldName = "Row___No";
  rowNumber.FieldType = ftype::Integer;
  fields.push_back(rowNumber);
  for (const TResultColumn& column : columns.Columns) {
    fields.push_back(FieldOfColumn(column, tables));
    layout.ColumnFields.push_back(static_cast<int>(fields.size()));
  }
  for (std::size_t i = 0; i < columns.Columns.size(); ++i) {
    if (columns.Columns[i].Aggregate != op::Avg) {
      layout.CountFields.push_back(0);
      continue;
    }
    TFieldDefinition count;
    count.FieldName = "Avg__Count" + std::to_string(layout.ColumnFields[i]);
    count.FieldType = ftype::Integer;
    fields.push_back(count);
    layout.CountFields.push_back(static_cast<int>(fields.size()));
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    fields[i].FieldNo = static_cast<std::int16_t>(i + 1);

  TTableCreateRequest& request = layout.Request;
  const std::vector<int> orderFields = FieldsOf(orderBy, layout);
  layout.HasOrderIndex = !orderBy.empty();
  if (layout.HasOrderIndex) {
    std::vector<int> keyFields = orderFields;
    std::vector<bool> descending;
    for (const TSortColumn& item : orderBy) descending.push_back(item.Descending);
    keyFields.push_back(kRowNumberField);
    request.Primary = IndexOver(keyFields, descending, noCase, true);
  }

  // A lookup index: the ORDER BY index when that has the same key, else
  // the primary or, beside an ORDER BY index, a named secondary.
  const auto addLookup = [&](const std::vector<int>& keyFields, const std::string& name) {
    if (layout.HasOrderIndex && OrderIndexServes(keyFields, orderFields, noCase, request)) {
      // Without the row number the key is the group's or the row's own.
      request.Primary = IndexOver(orderFields, {}, noCase, true);
      for (std::size_t i = 0; i < orderBy.size(); ++i)
        request.Primary.FieldDescending[i] = orderBy[i].Descending ? 1 : 0;
      return std::string();
    }
    if (!layout.HasOrderIndex && request.Primary.FieldCount == 0) {
      request.Primary = IndexOver(keyFields, {}, false, true);
      return std::string();
    }
    TIndexDefinition index = IndexOver(keyFields, {}, false, true);
    index.Name = name;
    request.Secondary.push_back(index);
    return name;
  };
  if (!groupBy.empty()) layout.GroupIndex = addLookup(FieldsOf(groupBy, layout), "GroupBy");
  if (distinct) {
    std::vector<int> all(layout.ColumnFields.begin(), layout.ColumnFields.end());
    layout.DistinctIndex = addLookup(all, "Distinct");
  }
  return layout;
}

std::unique_ptr<TDataFile> CreateResultTable(const TResultLayout& layout,
                                             const TResultTableOptions& options) {
  TFileSession& session = CurrentSession();
  const bool temporary = options.Name.empty();
  auto table = std::make_unique<TDataFile>();
  table->SetFileName(temporary ? session.MakeTempTableName(false)
                               : ResultTablePath(options.Name, options.InMemory));
  table->SetInMemory(!temporary && options.InMemory);
  table->SetExclusive(true);
  table->SetReadOnly(false);

  TTableCreateRequest request = layout.Request;
  request.LanguageId = options.LanguageId;
  request.SortId = options.SortId;
  request.BlobBlockSize = 512;
  request.Description = "Query Result Set";
  request.Encrypted = !options.Password.empty();
  request.Password = options.Password;

  // The password stays in the session's list until the new table is open
  // again, and leaves it after when it was not there before.
  const bool addPassword = request.Encrypted && !session.TestPassword(options.Password);
  if (addPassword) session.AddPassword(options.Password);
  try {
    table->CreateTable(request);
    table->Open();
  } catch (...) {
    if (addPassword) session.RemovePassword(options.Password);
    throw;
  }
  if (addPassword) session.RemovePassword(options.Password);
  table->SetDeleteFilesOnClose(temporary);
  table->SetSkipDuplicateCheck(true);
  return table;
}

}  // namespace quire
