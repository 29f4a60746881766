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

TCombinedRows::TRestriction::TRestriction(const TPlannedTable& table) {
  TExprTree link;
  if (table.Link) {
    link = CopyTree(*table.Link);
    // The copy has the shape of the original: walk both, and turn each
    // column of another table into a constant that Refresh fills.
    std::vector<std::pair<TQueryExprNode*, const TQueryExprNode*>> pending{
        {link.get(), table.Link.get()}};
    while (!pending.empty()) {
      const auto [copy, original] = pending.back();
      pending.pop_back();
      if (original->IsColumn() && original->SourceTable != table.Source) {
        copy->Kind = nkConstant;
        copy->FieldNo = 0;
        copy->SourceTable = nullptr;
        slots_.push_back({copy, original});
        continue;
      }
      if (original->Left) pending.emplace_back(copy->Left.get(), original->Left.get());
      if (original->Right) pending.emplace_back(copy->Right.get(), original->Right.get());
      if (original->Next) pending.emplace_back(copy->Next.get(), original->Next.get());
    }
  }
  tree_ = AndTogether(table.Condition ? CopyTree(*table.Condition) : nullptr, std::move(link));
}

const TQueryExprNode* TCombinedRows::TRestriction::Refresh(TCombinedRow& row) {
  for (const auto& [constant, column] : slots_) constant->Value = row.Read(*column);
  return tree_.get();
}

TCombinedRows::TCombinedRows(TJoinPlan& plan)
    : plan_(plan),
      row_(plan),
      starting_(plan.Tables.size()),
      ending_(plan.Tables.size()),
      matched_(plan.Groups.size(), false) {
  for (const TPlannedTable& table : plan.Tables) restrictions_.emplace_back(table);
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
  const TQueryExprNode* condition = restrictions_[0].Refresh(row_);
  first.ClearRestriction();
  const TQueryExprNode* test = nullptr;
  if (condition != nullptr && !first.Restrict(*condition, true)) test = condition;

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
  const TQueryExprNode* restriction = restrictions_[table].Refresh(row_);
  const TQueryExprNode* test = nullptr;
  if (restriction == nullptr) {
    source.ClearRestriction();
  } else if (!source.RestrictForReading(*restriction)) {
    test = restriction;
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
