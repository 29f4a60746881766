#include "sql/ResultColumns.h"

#include <algorithm>

#include "engine/BlankText.h"
#include "engine/FormatSettings.h"
#include "sql/CheckTypes.h"
#include "sql/ResultColumnNames.h"
#include "sql/SqlError.h"
#include "sql/StatementResolver.h"

namespace quire {
namespace {

bool IsAggregate(const TQueryExprNode& node) {
  return node.Kind == nkFunction && IsAggregateOp(node.OpCode);
}

bool IsAllColumns(const TQueryExprNode& node) {
  return node.IsColumn() && node.ColumnName == "*";
}

// Whether an aggregate or "*" stands anywhere below the root of `tree`.
bool HasNested(const TQueryExprNode& tree, bool (*test)(const TQueryExprNode&)) {
  std::vector<const TQueryExprNode*> pending;
  for (const auto* link : {tree.Left.get(), tree.Right.get()})
    if (link != nullptr) pending.push_back(link);
  while (!pending.empty()) {
    const TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (test(*node)) return true;
    for (const auto* link : {node->Left.get(), node->Right.get(), node->Next.get()})
      if (link != nullptr) pending.push_back(link);
  }
  return false;
}

[[noreturn]] void RaiseInvalidColumn(std::string_view column, std::string_view table,
                                     std::string_view clause) {
  RaiseSqlError("Invalid column name '" + std::string(column) + "' or table correlation name '" +
                std::string(table) + "' specified in " + std::string(clause));
}

// A column node bound to field `field` of `table`.
TExprTree BoundColumn(TSourceDataFile& table, const TFieldDescriptor& field) {
  TExprTree column = MakeColumn(table.CorrelationName(), field.FieldName);
  column->FieldNo = field.FieldNo;
  column->SourceTable = &table;
  column->Value = TValue::NullOf(field.FieldType, field.DataSize);
  column->Value.SubType = field.FieldSubType;
  column->Value.Decimals = field.DataDecimals;
  return column;
}

class TColumnBuilder {
 public:
  TColumnBuilder(const TStatement& statement, TOpenTables& tables)
      : statement_(statement), tables_(tables), resolver_(statement.SourceTables, tables) {}

  void Add(const TResultDataField& item) {
    const TQueryExprNode& expression = *item.Expression;
    if (IsAllColumns(expression)) {
      AddAllColumns(item);
      return;
    }
    TResultColumn column;
    column.Expression = CopyTree(expression);
    column.SourceText = item.SourceText;
    const bool countsRows = IsAggregate(expression) && expression.OpCode == op::Count &&
                            expression.Left && IsAllColumns(*expression.Left);
    if (HasNested(expression, IsAllColumns) && !countsRows)
      RaiseInvalidColumn("*", expression.Left ? expression.Left->TableName : "",
                         kClauseSourceColumns);
    if (HasNested(expression, IsAggregate))
      RaiseSqlError("Invalid use of aggregate function for column '" + item.SourceText +
                    "', an aggregate function cannot stand inside an expression");
    CheckTypes(*column.Expression, kClauseSourceColumns, resolver_, CurrentFormatSettings());
    if (IsAggregate(expression)) column.Aggregate = expression.OpCode;
    column.CountsRows = countsRows;
    const TQueryExprNode& value = column.Value();
    column.Name = Named(item.Alias, column.Aggregate,
                        value.IsColumn() && !countsRows ? FieldName(value)
                        : countsRows                    ? "*"
                                                        : "");
    columns_.push_back(std::move(column));
  }

  std::vector<TResultColumn> Take() { return std::move(columns_); }

 private:
  void AddAllColumns(const TResultDataField& item) {
    const TQueryExprNode& star = *item.Expression;
    if (!item.Alias.empty())
      RaiseSqlError("Invalid use of column correlation name '" + item.Alias + "' for '" +
                    star.Text + "' specified in source columns");
    std::vector<TSourceDataFile*> sources;
    for (const auto& table : statement_.SourceTables)
      if (star.TableName.empty() ||
          EqualsIgnoringAsciiCase(table->CorrelationName(), star.TableName))
        sources.push_back(table.get());
    if (sources.empty()) RaiseInvalidColumn(star.ColumnName, star.TableName, kClauseSourceColumns);
    std::sort(sources.begin(), sources.end(),
              [](const auto* a, const auto* b) { return a->TableNumber() < b->TableNumber(); });
    for (TSourceDataFile* source : sources) {
      for (const TFieldDescriptor& field : tables_.Table(*source).Fields()) {
        TResultColumn column;
        column.Expression = BoundColumn(*source, field);
        column.SourceText = column.Expression->Text;
        column.Name = Named("", 0, field.FieldName);
        columns_.push_back(std::move(column));
      }
    }
  }

  std::string FieldName(const TQueryExprNode& column) {
    return tables_.Table(*column.SourceTable).Fields()[column.FieldNo - 1].FieldName;
  }

  // The column's name, refused when it is the row number's.
  std::string Named(std::string_view alias, std::uint8_t aggregate, std::string_view field) {
    const std::string base = BaseResultName(alias, aggregate, field);
    if (EqualsIgnoringAsciiCase(base, "Row___No"))
      RaiseSqlError("Invalid use of reserved field name '" + base + "'in source columns");
    return base;
  }

  const TStatement& statement_;
  TOpenTables& tables_;
  TSourceColumnResolver resolver_;
  std::vector<TResultColumn> columns_;
};

template <typename TItem>
std::vector<TSortColumn> ResolveItems(const std::vector<TItem>& items, const TResultColumns& result,
                                      std::string_view clause) {
  const std::vector<TResultColumn>& columns = result.Columns;
  std::vector<TSortColumn> resolved;
  for (const TItem& item : items) {
    TSortColumn sort;
    if constexpr (requires { item.Descending; }) sort.Descending = item.Descending;
    if (item.ColumnName.empty()) {
      if (item.ColumnNo < 1 || item.ColumnNo > columns.size())
        RaiseSqlError("Invalid column number '" + std::to_string(item.ColumnNo) +
                      "' specified in " + std::string(clause) + " clause");
      sort.Column = item.ColumnNo - 1u;
      resolved.push_back(sort);
      continue;
    }
    // By the result column's name, or by the source column a plain column
    // copies (which a correlation name picks among the tables).
    const auto matches = [&](const TResultColumn& column) {
      const TQueryExprNode& value = column.Value();
      const bool plain = column.Aggregate == 0 && value.IsColumn();
      if (!item.TableName.empty())
        return plain &&
               EqualsIgnoringAsciiCase(value.SourceTable->CorrelationName(), item.TableName) &&
               EqualsIgnoringAsciiCase(value.ColumnName, item.ColumnName);
      return EqualsIgnoringAsciiCase(column.Name, item.ColumnName);
    };
    auto found = std::find_if(columns.begin(), columns.end(), matches);
    if (found == columns.end() && item.TableName.empty())
      found = std::find_if(columns.begin(), columns.end(), [&](const TResultColumn& column) {
        return column.Aggregate == 0 && column.Value().IsColumn() &&
               EqualsIgnoringAsciiCase(column.Value().ColumnName, item.ColumnName);
      });
    if (found == columns.end())
      RaiseInvalidColumn(item.ColumnName, item.TableName, std::string(clause) + " clause");
    sort.Column = static_cast<std::size_t>(found - columns.begin());
    resolved.push_back(sort);
  }
  return resolved;
}

}  // namespace

TResultColumns BuildResultColumns(const TStatement& statement, TOpenTables& tables) {
  TColumnBuilder builder(statement, tables);
  for (const TResultDataField& item : statement.ResultFields) builder.Add(item);
  TResultColumns result;
  result.Columns = builder.Take();
  std::vector<TResultColumn>& columns = result.Columns;

  const bool allAggregate = std::all_of(columns.begin(), columns.end(),
                                        [](const TResultColumn& c) { return c.Aggregate != 0; });
  if (!statement.HasGroupBy && !allAggregate) {
    for (const TResultColumn& column : columns)
      if (column.Aggregate != 0)
        RaiseSqlError("Invalid use of aggregate function for column '" + column.SourceText +
                      "', the necessary GROUP BY clause is missing");
  }
  result.AllAggregate = allAggregate && !statement.HasGroupBy && !columns.empty();
  result.Grouped = statement.HasGroupBy || result.AllAggregate;

  std::vector<std::string> taken;
  for (TResultColumn& column : columns) {
    column.Name = UniqueResultName(column.Name, taken);
    taken.push_back(column.Name);
  }
  return result;
}

std::vector<TSortColumn> ResolveOrderBy(const TStatement& statement,
                                        const TResultColumns& columns) {
  return ResolveItems(statement.OrderByFields, columns, "ORDER BY");
}

std::vector<TSortColumn> ResolveGroupBy(const TStatement& statement,
                                        const TResultColumns& columns) {
  std::vector<TSortColumn> items = ResolveItems(statement.GroupByFields, columns, "GROUP BY");
  for (const TSortColumn& item : items) {
    const TResultColumn& column = columns.Columns[item.Column];
    // The group's aggregates change as rows arrive: they cannot key it.
    if (column.Aggregate != 0)
      RaiseSqlError("Invalid use of aggregate function for column '" + column.SourceText +
                    "' specified in GROUP BY clause");
  }
  return items;
}

}  // namespace quire
