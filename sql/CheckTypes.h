#pragma once
// Type checking of an expression tree: binds its columns through a resolver
// and sets every node's type bottom-up, raising 11949 with the messages of
// the type rules (they end in the clause name).
//
// A string constant whose text names a column the resolver knows is taken
// for that column, unless the other operand of its binary node is a column
// too: in Code = 'A1' the right side stays the text A1 even when a column A1
// exists, while a quoted column name standing alone names the column.
// A string constant meeting a date, time or timestamp is converted with the
// settings' date and time formats.

#include <string_view>

#include "engine/FormatSettings.h"
#include "sql/QueryExprNode.h"

namespace quire {

class TColumnResolver {
 public:
  virtual ~TColumnResolver() = default;
  // Whether the node's ColumnName (within its TableName, when given) names
  // a column; if so fills FieldNo, SourceTable and the type in Value (Type,
  // SubType, Size, Decimals). Never called for the column "*".
  virtual bool Resolve(TQueryExprNode& column) = 0;
};

// Checks `tree` in place. `settings` converts date and time strings.
void CheckTypes(TQueryExprNode& tree, std::string_view clause, TColumnResolver& resolver,
                const TFormatSettings& settings);

}  // namespace quire
