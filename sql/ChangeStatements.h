#pragma once
// DELETE, UPDATE and INSERT over their target table.
//
// Each holds the table's all-records lock for the whole statement and
// releases it on every way out. There is no transaction: what was changed
// before an error or an abort stays changed. The condition goes to the
// table first; when the table cannot answer it from its indexes, every
// record of the view is tested.

#include <cstdint>
#include <functional>
#include <vector>

#include "sql/Statement.h"
#include "sql/StatementTable.h"

namespace quire {

// Called once per record of the view that a statement visits: `step`
// counts them from 1, `percent` is the share of the view visited so far;
// setting `abort` stops the statement after the current record.
using TProgressCallback = std::function<void(std::int32_t step, std::int32_t percent, bool& abort)>;

// The target columns of INSERT or UPDATE as field numbers of `table`, "*"
// standing for every field in order. Raises 11949 for a column the table
// lacks and when the count differs from the values'.
std::vector<int> ResolveTargetColumns(const TStatement& statement, const TStatementTable& table);

// Deletes the records satisfying the condition; returns how many.
std::int32_t RunDelete(const TStatement& statement, TStatementTable& table,
                       const TProgressCallback& progress);

// Sets the target columns of every record satisfying the condition to the
// values evaluated over that record; returns how many records.
std::int32_t RunUpdate(const TStatement& statement, TStatementTable& table,
                       const std::vector<int>& targets, const TProgressCallback& progress);

// Appends one record of the values; returns 1.
std::int32_t RunInsert(const TStatement& statement, TStatementTable& table,
                       const std::vector<int>& targets);

}  // namespace quire
