#include "sql/CombinedRows.h"

#include <algorithm>

#include "sql/RecordColumnReader.h"

namespace quire {

TCombinedRow::TCombinedRow(const TJoinPlan& plan) : plan_(plan), null_(plan.Tables.size(), false) {
  for (const TPlannedTable& table : plan.Tables) records_.emplace_back(table.Table->RecordSize());
}

std::size_t TCombinedRow::PositionOf(const TSourceDataFile* source) const {
  const auto at = std::find_if(plan_.Tables.begin(), plan_.Tables.end(),
                               [&](const TPlannedTable& table) { return table.Source == source; });
  return static_cast<std::size_t>(at - plan_.Tables.begin());
}

TValue TCombinedRow::Read(const TQueryExprNode& column) {
  const std::size_t table = PositionOf(column.SourceTable);
  const TFieldDescriptor& field = plan_.Tables[table].Table->Fields()[column.FieldNo - 1];
  if (null_[table]) {
    TValue none = TValue::NullOf(field.FieldType, field.DataSize);
    none.SubType = field.FieldSubType;
    none.Decimals = field.DataDecimals;
    return none;
  }
  return ReadValue(field, records_[table]);
}

namespace {

// Each column of a table other than `keep` becomes a constant holding its
// value in `row`.
void PutInValues(TQueryExprNode& tree, const TSourceDataFile* keep, TCombinedRow& row) {
  std::vector<TQueryExprNode*> pending{&tree};
  while (!pending.empty()) {
    TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (node->IsColumn() && node->SourceTable != keep) {
      node->Value = row.Read(*node);
      node->Kind = nkConstant;
      node->FieldNo = 0;
      node->SourceTable = nullptr;
      continue;
    }
    for (auto* link : {node->Left.get(), node->Right.get(), node->Next.get()})
      if (link != nullptr) pending.push_back(link);
  }
}

}  // namespace

TExprTree TCombinedRows::Restriction(std::size_t table) {
  const TPlannedTable& planned = plan_.Tables[table];
  TExprTree link;
  if (planned.Link) {
    link = CopyTree(*planned.Link);
    PutInValues(*link, planned.Source, row_);
  }
  return AndTogether(planned.Condition ? CopyTree(*planned.Condition) : nullptr, std::move(link));
}

void TCombinedRows::ForEach(const TProgressCallback& progress,
                            const std::function<void(TCombinedRow&)>& sink) {
  if (plan_.Tables.empty()) return;
  TStatementTable& first = *plan_.Tables[0].Table;
  const TExprTree condition = Restriction(0);
  first.ClearRestriction();
  const TQueryExprNode* test = nullptr;
  if (condition && !first.Restrict(*condition, true)) test = condition.get();

  std::span<std::uint8_t> record = row_.Record(0);
  first.First();
  std::int32_t step = 0;
  bool abort = false;
  while (!abort && first.Next(record)) {
    ++step;
    if (progress) {
      const std::int32_t total = std::max(first.ViewCount(), step);
      progress(step, static_cast<std::int32_t>(std::int64_t{step} * 100 / total), abort);
    }
    if (test != nullptr) {
      TRecordColumnReader reader(first.Fields(), record);
      if (!Evaluate(*test, {.Reader = &reader}).IsTrue()) continue;
    }
    Descend(1, sink);
  }
}

void TCombinedRows::Descend(std::size_t table, const std::function<void(TCombinedRow&)>& sink) {
  if (table == plan_.Tables.size()) {
    if (!plan_.RowCondition || Evaluate(*plan_.RowCondition, {.Reader = &row_}).IsTrue())
      sink(row_);
    return;
  }
  const TPlannedTable& planned = plan_.Tables[table];
  TStatementTable& source = *planned.Table;
  const TExprTree restriction = Restriction(table);
  const TQueryExprNode* test = nullptr;
  if (!restriction) {
    source.ClearRestriction();
  } else if (!source.Restrict(*restriction, true)) {
    test = restriction.get();
  }

  std::span<std::uint8_t> record = row_.Record(table);
  row_.SetNull(table, false);
  bool matched = false;
  source.First();
  while (source.Next(record)) {
    if (test != nullptr) {
      TRecordColumnReader reader(source.Fields(), record);
      if (!Evaluate(*test, {.Reader = &reader}).IsTrue()) continue;
    }
    matched = true;
    Descend(table + 1, sink);
  }
  if (!matched && planned.LeftJoin) {
    row_.SetNull(table, true);
    Descend(table + 1, sink);
    row_.SetNull(table, false);
  }
}

}  // namespace quire
