#pragma once
// How the statement parser binds the columns of conditions and values: by
// name, in the tables the statement has named so far.

#include <memory>
#include <vector>

#include "engine/DataFileHeader.h"
#include "sql/CheckTypes.h"
#include "sql/SourceDataFile.h"

namespace quire {

// What the statement parser needs to know of the tables a statement names.
class TTableSchemas {
 public:
  virtual ~TTableSchemas() = default;
  // The fields of `table` that a statement may name, stored and computed,
  // in field order; opens the table as needed and raises the engine's
  // error when it cannot be opened. The list stays valid while the table
  // is a source table of the statement.
  virtual const std::vector<TFieldDescriptor>& FieldsOf(TSourceDataFile& table) = 0;
};

// Resolves a column in the source tables: with a correlation name in the
// table of that name, without one in the first table of the list that has
// a field of that name. Names compare ignoring letter case. A table's
// fields are asked for only when a column needs them.
class TSourceColumnResolver : public TColumnResolver {
 public:
  TSourceColumnResolver(const std::vector<std::unique_ptr<TSourceDataFile>>& tables,
                        TTableSchemas& schemas)
      : tables_(tables), schemas_(schemas) {}

  bool Resolve(TQueryExprNode& column) override;

 private:
  bool ResolveIn(TSourceDataFile& table, TQueryExprNode& column);

  const std::vector<std::unique_ptr<TSourceDataFile>>& tables_;
  TTableSchemas& schemas_;
};

}  // namespace quire
