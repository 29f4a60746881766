#include "sql/SelectStatement.h"

#include <algorithm>
#include <optional>

#include "engine/FieldTypes.h"
#include "index/IndexFile.h"
#include "sql/CombinedRows.h"
#include "sql/Filter.h"
#include "sql/JoinPlan.h"
#include "sql/ResultColumns.h"
#include "sql/ResultRows.h"
#include "sql/ResultTable.h"

namespace quire {
namespace {

// Holds the all-records locks of WITH LOCKS for one run.
class TSourceLocks {
 public:
  explicit TSourceLocks(const TJoinPlan& plan) {
    for (const TPlannedTable& table : plan.Tables) {
      table.Table->LockAllRecords();
      locked_.push_back(table.Table);
    }
  }
  ~TSourceLocks() {
    for (TStatementTable* table : locked_) {
      try {
        table->UnlockAllRecords();
      } catch (...) {
        // The run's own failure, if any, is the one to report.
      }
    }
  }
  TSourceLocks(const TSourceLocks&) = delete;
  TSourceLocks& operator=(const TSourceLocks&) = delete;

 private:
  std::vector<TStatementTable*> locked_;
};

// The index of `table` whose key is exactly the ORDER BY list over plain
// columns: its slot, when there is one.
std::optional<std::uint8_t> OrderingIndex(TDataFile& table, const TResultColumns& columns,
                                          const std::vector<TSortColumn>& orderBy, bool noCase) {
  TIndexFile& indexes = table.IndexFile();
  if (!indexes.HasPrimaryIndex()) return std::nullopt;
  for (std::size_t slot = 0; slot <= indexes.SecondaryIndexCount(); ++slot) {
    const TIndexDescriptor d = indexes.Descriptor(static_cast<std::uint8_t>(slot));
    if (d.FieldCount != orderBy.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < orderBy.size() && same; ++i) {
      const TQueryExprNode& column = columns.Columns[orderBy[i].Column].Value();
      const bool descending = (d.Descending != 0) != (d.FieldDescending[i] != 0);
      same = d.FieldNumbers[i] == column.FieldNo && descending == orderBy[i].Descending &&
             (column.Type() != ftype::String || (d.CaseInsensitive != 0) == noCase);
    }
    if (same) return static_cast<std::uint8_t>(slot);
  }
  return std::nullopt;
}

bool AllPlain(const TResultColumns& columns) {
  return std::all_of(columns.Columns.begin(), columns.Columns.end(), [](const TResultColumn& c) {
    return c.Aggregate == 0 && c.Value().IsColumn();
  });
}

}  // namespace

class TSelectExecution::TImpl {
 public:
  TImpl(TStatement& statement, TOpenTables& tables, const TSelectSettings& settings)
      : statement_(statement), tables_(tables) {
    const bool distinct = statement.Distinct && !statement.HasGroupBy;
    for (const auto& source : statement.SourceTables) tables.Table(*source);
    columns_ = BuildResultColumns(statement, tables);
    const std::vector<TSortColumn> orderBy =
        statement.HasOrderBy ? ResolveOrderBy(statement, columns_) : std::vector<TSortColumn>{};
    const std::vector<TSortColumn> groupBy =
        statement.HasGroupBy ? ResolveGroupBy(statement, columns_) : std::vector<TSortColumn>{};
    plan_ = PlanJoins(statement, tables);

    // One table read in an order its own index gives needs no sorting,
    // and may even be the result itself.
    const bool oneTable = plan_.Tables.size() == 1;
    TDataFile* source = oneTable ? plan_.Tables[0].Table->DataFile() : nullptr;
    const bool simple = oneTable && !distinct && !columns_.Grouped && AllPlain(columns_) &&
                        statement.ResultTableName.empty() && source != nullptr;
    if (simple && statement.HasOrderBy)
      sourceOrder_ = OrderingIndex(*source, columns_, orderBy, statement.NoCase);
    if (simple && settings.LiveResult && (!statement.HasOrderBy || sourceOrder_)) {
      live_ = source;
      for (const TResultColumn& column : columns_.Columns)
        visible_.push_back(column.Value().FieldNo);
      return;
    }

    layout_ = LayoutResult(columns_, tables, sourceOrder_ ? std::vector<TSortColumn>{} : orderBy,
                           statement.NoCase, groupBy, distinct);
    visible_ = layout_.ColumnFields;
    result_ = CreateResultTable(
        layout_, {.Name = statement.ResultTableName,
                  .InMemory = statement.ResultInMemory,
                  .Password = statement.Encrypted ? statement.Password : std::string(),
                  .LanguageId = settings.LanguageId,
                  .SortId = settings.SortId});
  }

  TDataFile& Run(const TProgressCallback& progress) {
    // Parameters get their values between preparing and running: the
    // conditions are taken apart again over what they hold now.
    plan_ = PlanJoins(statement_, tables_);
    if (live_ != nullptr) return RunLive();
    std::optional<TSourceLocks> locks;
    if (statement_.WithLocks) locks.emplace(plan_);
    result_->EmptyTable();
    // What other programs wrote since the last run belongs in this one.
    for (const TPlannedTable& table : plan_.Tables)
      if (TDataFile* source = table.Table->DataFile()) source->CheckForChanges();
    if (sourceOrder_) plan_.Tables[0].Table->DataFile()->SelectIndex(*sourceOrder_);

    TResultRows rows(*result_, columns_, layout_, plan_);
    if (!CountWithoutReading(rows, progress)) {
      TCombinedRows combined(plan_);
      combined.ForEach(progress, [&rows](TCombinedRow& row) { rows.Add(row); });
    }
    rows.Finish();

    result_->SelectIndex(layout_.HasOrderIndex ? kPrimaryIndex : kPhysicalOrder);
    result_->First();
    rowsAffected_ = result_->RecordCount();
    return *result_;
  }

  std::int32_t RowsAffected() const { return rowsAffected_; }
  const std::vector<int>& VisibleFields() const { return visible_; }

 private:
  // The source table itself, showing the records the condition lets
  // through in the order asked for. The filter is installed whatever the
  // indexes answer: a live view must never show a record that fails.
  TDataFile& RunLive() {
    live_->CheckForChanges();
    liveFilter_.reset();
    live_->RemoveAllFilters();
    live_->SelectIndex(sourceOrder_ ? *sourceOrder_ : kPhysicalOrder);
    TExprTree condition =
        AndTogether(plan_.Tables[0].Condition ? CopyTree(*plan_.Tables[0].Condition) : nullptr,
                    plan_.RowCondition ? CopyTree(*plan_.RowCondition) : nullptr);
    if (condition) {
      liveFilter_ = std::make_unique<TFilter>(*live_, std::move(condition));
      liveFilter_->Analyse(true);
      liveFilter_->Activate();
    }
    live_->First();
    rowsAffected_ = live_->RecordCount();
    return *live_;
  }

  // A lone COUNT(*) over one table whose view is exactly the rows that
  // qualify: the view's count, with no record read.
  bool CountWithoutReading(TResultRows& rows, const TProgressCallback& progress) {
    if (!columns_.AllAggregate || plan_.Tables.size() != 1 || columns_.Columns.size() != 1 ||
        !columns_.Columns[0].CountsRows || plan_.RowCondition)
      return false;
    TStatementTable& table = *plan_.Tables[0].Table;
    table.ClearRestriction();
    const TQueryExprNode* condition = plan_.Tables[0].Condition.get();
    if (condition != nullptr && !table.Restrict(*condition, true)) return false;
    rows.AddCount(table.ViewCount());
    if (progress) {
      bool abort = false;
      progress(1, 100, abort);
    }
    return true;
  }

  TStatement& statement_;
  TOpenTables& tables_;
  TResultColumns columns_;
  TJoinPlan plan_;
  TResultLayout layout_;
  std::optional<std::uint8_t> sourceOrder_;
  std::unique_ptr<TDataFile> result_;
  TDataFile* live_ = nullptr;
  std::unique_ptr<TFilter> liveFilter_;
  std::vector<int> visible_;
  std::int32_t rowsAffected_ = 0;
};

TSelectExecution::TSelectExecution(TStatement& statement, TOpenTables& tables,
                                   const TSelectSettings& settings)
    : impl_(std::make_unique<TImpl>(statement, tables, settings)) {}

TSelectExecution::~TSelectExecution() = default;

TDataFile& TSelectExecution::Run(const TProgressCallback& progress) {
  return impl_->Run(progress);
}

std::int32_t TSelectExecution::RowsAffected() const {
  return impl_->RowsAffected();
}

const std::vector<int>& TSelectExecution::VisibleFields() const {
  return impl_->VisibleFields();
}

}  // namespace quire
