#include "sql/StatementResolver.h"

#include "engine/BlankText.h"

namespace quire {

bool TSourceColumnResolver::Resolve(TQueryExprNode& column) {
  for (const auto& table : tables_) {
    if (column.TableName.empty()) {
      if (ResolveIn(*table, column)) return true;
    } else if (EqualsIgnoringAsciiCase(table->CorrelationName(), column.TableName)) {
      return ResolveIn(*table, column);
    }
  }
  return false;
}

bool TSourceColumnResolver::ResolveIn(TSourceDataFile& table, TQueryExprNode& column) {
  for (const TFieldDescriptor& field : schemas_.FieldsOf(table)) {
    if (!EqualsIgnoringAsciiCase(field.FieldName, column.ColumnName)) continue;
    column.FieldNo = field.FieldNo;
    column.SourceTable = &table;
    column.Value.Type = field.FieldType;
    column.Value.SubType = field.FieldSubType;
    column.Value.Size = field.DataSize;
    column.Value.Decimals = field.DataDecimals;
    return true;
  }
  return false;
}

}  // namespace quire
