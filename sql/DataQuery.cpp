#include "sql/DataQuery.h"

#include "sql/StatementParser.h"

namespace quire {

void TDataQuery::ParseStatement(std::string_view text, TTableSchemas& schemas) {
  parser_.Load(text);
  statement_.Clear();
  try {
    TStatementParser(*this, schemas).Parse();
  } catch (...) {
    // Nothing of a statement that failed is kept, so that a half-built
    // one can neither be run nor point into freed trees.
    statement_.Clear();
    throw;
  }
}

}  // namespace quire
