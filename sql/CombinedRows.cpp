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

TCombinedRows::TCombinedRows(TJoinPlan& plan)
    : plan_(plan),
      row_(plan),
      starting_(plan.Tables.size()),
      ending_(plan.Tables.size()),
      matched_(plan.Groups.size(), false) {
  const auto size = [&](std::size_t g) { return plan.Groups[g].Last - plan.Groups[g].First; };
  for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
    starting_[plan.Groups[g].First].push_back(g);
    ending_[plan.Groups[g].Last].push_back(g);
  }
  for (auto& groups : starting_)
    std::sort(groups.begin(), groups.end(), [&](auto l, auto r) { return size(l) > size(r); });
  for (auto& groups : ending_)
    std::sort(groups.begin(), groups.end(), [&](auto l, auto r) { return size(l) < size(r); });
}

void TCombinedRows::ForEach(const TProgressCallback& progress,
                            const std::function<void(TCombinedRow&)>& sink) {
  if (plan_.Tables.empty()) return;
  sink_ = &sink;
  // The first table is in no group: a group's preserved tables stand
  // before it.
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
    Placed(0);
  }
}

void TCombinedRows::Place(std::size_t table, std::size_t group) {
  if (group == starting_[table].size()) {
    Read(table);
    return;
  }
  const std::size_t g = starting_[table][group];
  matched_[g] = false;
  Place(table, group + 1);
  if (matched_[g]) return;
  const TOuterGroup& outer = plan_.Groups[g];
  for (std::size_t t = outer.First; t <= outer.Last; ++t) row_.SetNull(t, true);
  const auto& ending = ending_[outer.Last];
  const auto self = std::find(ending.begin(), ending.end(), g);
  Placed(outer.Last, static_cast<std::size_t>(self - ending.begin()) + 1);
  for (std::size_t t = outer.First; t <= outer.Last; ++t) row_.SetNull(t, false);
}

void TCombinedRows::Read(std::size_t table) {
  TStatementTable& source = *plan_.Tables[table].Table;
  const TExprTree restriction = Restriction(table);
  const TQueryExprNode* test = nullptr;
  if (!restriction) {
    source.ClearRestriction();
  } else if (!source.Restrict(*restriction, true)) {
    test = restriction.get();
  }
  std::span<std::uint8_t> record = row_.Record(table);
  source.First();
  while (source.Next(record)) {
    if (test != nullptr) {
      TRecordColumnReader reader(source.Fields(), record);
      if (!Evaluate(*test, {.Reader = &reader}).IsTrue()) continue;
    }
    Placed(table);
  }
}

void TCombinedRows::Placed(std::size_t table, std::size_t group) {
  for (; group < ending_[table].size(); ++group) {
    const std::size_t g = ending_[table][group];
    const TQueryExprNode* test = plan_.Groups[g].Test.get();
    if (test != nullptr && !Evaluate(*test, {.Reader = &row_}).IsTrue()) return;
    matched_[g] = true;
  }
  if (table + 1 < plan_.Tables.size()) {
    Place(table + 1);
  } else if (!plan_.RowCondition || Evaluate(*plan_.RowCondition, {.Reader = &row_}).IsTrue()) {
    (*sink_)(row_);
  }
}

}  // namespace quire
