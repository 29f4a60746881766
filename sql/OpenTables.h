#pragma once
// The tables one prepared statement has opened, one per source table, kept
// open until the statement is freed. It answers the statement parser's
// questions about their fields, opening each table the first time it is
// asked.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "sql/StatementResolver.h"
#include "sql/StatementTable.h"

namespace quire {

class TOpenTables : public TTableSchemas {
 public:
  // `writable` tells, when a table is opened, whether the statement
  // changes it (the statement's kind is known by then).
  TOpenTables(TStatementTableOpener& opener, std::function<bool()> writable)
      : opener_(opener), writable_(std::move(writable)) {}

  const std::vector<TFieldDescriptor>& FieldsOf(TSourceDataFile& table) override {
    return Table(table).Fields();
  }
  // The open table of `source`, opened now if it is not yet.
  TStatementTable& Table(const TSourceDataFile& source) {
    auto found = tables_.find(&source);
    if (found == tables_.end())
      found = tables_.emplace(&source, opener_.Open(source, writable_())).first;
    return *found->second;
  }
  void CloseAll() { tables_.clear(); }

 private:
  TStatementTableOpener& opener_;
  const std::function<bool()> writable_;
  std::map<const TSourceDataFile*, std::unique_ptr<TStatementTable>> tables_;
};

}  // namespace quire
