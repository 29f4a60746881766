#include "sql/SqlError.h"

#include "engine/EngineError.h"

namespace quire {

void RaiseSqlError(std::string_view text) {
  RaiseEngineError(err::Sql, /*fileName=*/{}, /*fieldText=*/{}, /*statementText=*/text);
}

}  // namespace quire
