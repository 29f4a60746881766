#include "sql/Statement.h"

#include "engine/BlankText.h"
#include "sql/SqlError.h"

namespace quire {

void TStatement::Clear() {
  // The parameters point into the trees: they go first.
  Parameters.clear();
  *this = TStatement{};
}

TSourceDataFile& TStatement::AddSourceTable(std::unique_ptr<TSourceDataFile> table, bool atFront) {
  for (const auto& other : SourceTables) {
    if (EqualsIgnoringAsciiCase(other->CorrelationName(), table->CorrelationName()))
      RaiseSqlError("Duplicate table correlation name '" + table->CorrelationName() +
                    "' found in source tables");
  }
  TSourceDataFile& added = *table;
  SourceTables.insert(atFront ? SourceTables.begin() : SourceTables.end(), std::move(table));
  return added;
}

}  // namespace quire
