#include "sql/ChangeStatements.h"

#include <algorithm>
#include <string>

#include "engine/BlankText.h"
#include "sql/Evaluate.h"
#include "sql/RecordColumnReader.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

// Holds the all-records lock of a table for a scope.
class TAllRecordsLock {
 public:
  explicit TAllRecordsLock(TStatementTable& table) : table_(table) { table_.LockAllRecords(); }
  ~TAllRecordsLock() {
    try {
      table_.UnlockAllRecords();
    } catch (...) {
      // The statement's own failure, if any, is the one to report.
    }
  }
  TAllRecordsLock(const TAllRecordsLock&) = delete;
  TAllRecordsLock& operator=(const TAllRecordsLock&) = delete;

 private:
  TStatementTable& table_;
};

TValue EvaluateOn(const TQueryExprNode& tree, const TStatementTable& table,
                  std::span<const std::uint8_t> record) {
  TRecordColumnReader reader(table.Fields(), record);
  return Evaluate(tree, {.Reader = &reader});
}

// Walks the records of the view that satisfy the statement's condition and
// hands each to `change`, reporting progress and stopping on an abort.
template <typename TChange>
void ForEachQualifying(const TStatement& statement, TStatementTable& table,
                       const TProgressCallback& progress, TChange change) {
  table.ClearRestriction();
  const TQueryExprNode* test = nullptr;
  if (statement.HasCondition && statement.Condition &&
      !table.Restrict(*statement.Condition, /*forStatement=*/true))
    test = statement.Condition.get();

  std::vector<std::uint8_t> record(table.RecordSize());
  table.First();
  std::int32_t step = 0;
  std::int32_t changed = 0;
  bool abort = false;
  while (!abort && table.Next(record)) {
    ++step;
    if (progress) {
      // The view shrinks as records are deleted: what is left of it plus
      // what went is the whole, so the percent never passes 100.
      const std::int32_t total = std::max(table.ViewCount() + changed, step);
      progress(step, static_cast<std::int32_t>(std::int64_t{step} * 100 / total), abort);
    }
    if (test != nullptr && !EvaluateOn(*test, table, record).IsTrue()) continue;
    if (change(record)) ++changed;
  }
}

}  // namespace

std::vector<int> ResolveTargetColumns(const TStatement& statement, const TStatementTable& table) {
  const std::vector<TFieldDescriptor>& fields = table.Fields();
  std::vector<int> targets;
  for (const TUpdateDataField& target : statement.TargetFields) {
    const TQueryExprNode& column = *target.Column;
    if (column.ColumnName == "*") {
      for (std::size_t i = 0; i < fields.size(); ++i) targets.push_back(static_cast<int>(i + 1));
      continue;
    }
    const auto found = std::find_if(fields.begin(), fields.end(), [&](const TFieldDescriptor& f) {
      return EqualsIgnoringAsciiCase(f.FieldName, column.ColumnName);
    });
    if (found == fields.end())
      RaiseSqlError("Invalid column name '" + column.ColumnName + "' or table correlation name '" +
                    column.TableName + "' specified in table columns");
    targets.push_back(static_cast<int>(found - fields.begin()) + 1);
  }
  if (targets.size() != statement.Values.size())
    RaiseSqlError("The number of values must match the number of table columns");
  return targets;
}

std::int32_t RunDelete(const TStatement& statement, TStatementTable& table,
                       const TProgressCallback& progress) {
  const TAllRecordsLock lock(table);
  std::int32_t deleted = 0;
  ForEachQualifying(statement, table, progress, [&](std::span<std::uint8_t>) {
    table.DeleteCurrent();
    ++deleted;
    return true;
  });
  return deleted;
}

namespace {

// Sets each target column of `record` to its value evaluated over
// `context` (empty: no record).
void SetValues(const TStatement& statement, TStatementTable& table, const std::vector<int>& targets,
               std::span<std::uint8_t> record, std::span<const std::uint8_t> context,
               std::string_view statementName, bool skipNulls) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const TUpdateDataValue& value = statement.Values[i];
    const TValue result = EvaluateOn(*value.Value, table, context);
    if (result.Null && skipNulls) continue;
    if (!table.SetValue(targets[i], record, result))
      RaiseSqlError("Type mismatch between column " + table.Fields()[targets[i] - 1].FieldName +
                    " and constant value " + value.SourceText + " in " +
                    std::string(statementName) + " statement");
  }
}

}  // namespace

std::int32_t RunUpdate(const TStatement& statement, TStatementTable& table,
                       const std::vector<int>& targets, const TProgressCallback& progress) {
  const TAllRecordsLock lock(table);
  std::int32_t updated = 0;
  ForEachQualifying(statement, table, progress, [&](std::span<std::uint8_t> record) {
    ++updated;
    // The record as it is now; the statement's lock keeps others out.
    if (!table.ReadCurrent(record)) return false;
    const std::vector<std::uint8_t> before(record.begin(), record.end());
    SetValues(statement, table, targets, record, before, "UPDATE", false);
    table.ModifyCurrent(record);
    return false;  // the view keeps its size
  });
  return updated;
}

std::int32_t RunInsert(const TStatement& statement, TStatementTable& table,
                       const std::vector<int>& targets) {
  const TAllRecordsLock lock(table);
  std::vector<std::uint8_t> record = table.NewRecord();
  // Values have no record to refer to: columns read as NULL.
  const std::vector<std::uint8_t> none(table.RecordSize(), 0);
  SetValues(statement, table, targets, record, none, "INSERT", true);
  table.Append(record);
  return 1;
}

}  // namespace quire
