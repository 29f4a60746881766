#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

#include "engine/ValueText.h"
#include "sql/SqlError.h"
#include "sql/StatementParser.h"

namespace quire {
namespace {

// The symbols after a FROM table that start a join or a later clause
// rather than name the table. A quoted alias needs AS here.
constexpr std::string_view kFromTableEnds[] = {"LEFT",   "RIGHT", "INNER",    "FULL",
                                               "JOIN",   "WHERE", "ORDER",    "GROUP",
                                               "HAVING", "WITH",  "ENCRYPTED"};

}  // namespace

void TStatementParser::ParseSelect() {
  statement_.Kind = skSelect;
  Next();
  if (AtKeyword("ALL")) Next();
  if (AtKeyword("DISTINCT")) {
    statement_.Distinct = true;
    Next();
  }
  for (;;) {
    ParseSelectItem();
    if (!AtChar(',')) break;
    Next();
  }
  if (AtKeyword("INTO")) ParseInto();
  if (!AtKeyword("FROM")) Expected("FROM keyword expected, instead found '");
  Next();
  ParseFromList();
  ParseOptionalWhere();
  if (AtKeyword("GROUP")) {
    Next();
    if (!AtKeyword("BY")) Expected("BY keyword expected after GROUP keyword, instead found '");
    Next();
    ParseColumnItems(statement_.GroupByFields, "GROUP BY");
    statement_.HasGroupBy = true;
  }
  if (AtKeyword("ORDER")) {
    Next();
    if (!AtKeyword("BY")) Expected("BY keyword expected after ORDER keyword, instead found '");
    Next();
    ParseColumnItems(statement_.OrderByFields, "ORDER BY");
    statement_.HasOrderBy = true;
    if (AtKeyword("NOCASE")) {
      statement_.NoCase = true;
      Next();
    }
  }
  if (AtKeyword("WITH")) {
    Next();
    if (!AtKeyword("LOCKS")) Expected("LOCKS keyword expected after WITH keyword, instead found '");
    statement_.WithLocks = true;
    Next();
  }
  if (AtKeyword("ENCRYPTED")) ParseEncrypted();
  ExpectEnd("End of SELECT statement expected, instead found '");
}

void TStatementParser::ParseSelectItem() {
  if (AtEmptyItem({"FROM", "INTO"})) RaiseSqlError("Source column expression is empty");
  TResultDataField item;
  parser_.MarkExpressionStart();
  item.Expression = ParseExpression(parser_, pfAggregates | pfAllColumns, kClauseSourceColumns,
                                    &statement_.Parameters);
  item.SourceText = parser_.ExpressionText();
  bool aliased = false;
  if (AtKeyword("AS")) {
    Next();
    if (!AtName()) Expected("Symbol or string expected after AS keyword, instead found '");
    aliased = true;
  } else if (AtName() && !AtKeyword("INTO") && !AtKeyword("FROM")) {
    aliased = true;
  }
  if (aliased) {
    item.Alias = parser_.TokenText();
    Next();
    // alias.name: the name after the point is the alias.
    if (AtChar('.')) {
      Next();
      if (!AtName())
        Expected("Symbol or string expected after table correlation name, instead found '");
      item.Alias = parser_.TokenText();
      Next();
    }
  }
  statement_.ResultFields.push_back(std::move(item));
}

void TStatementParser::ParseInto() {
  Next();
  const bool inMemory = AtKeyword("MEMORY");
  if (inMemory) Next();
  if (!AtName())
    Expected(inMemory ? "Result table name expected in INTO MEMORY clause, instead found '"
                      : "Result table name expected in INTO clause, instead found '");
  statement_.ResultTableName = parser_.TokenText();
  statement_.ResultInMemory = inMemory;
  Next();
}

void TStatementParser::ParseFromList() {
  static constexpr TTableRules kFromTable{
      .missingName = "Table name expected after FROM keyword, instead found '",
      .missingNameAfterMemory = "Table name expected after FROM keyword, instead found '",
      .allowsAs = true,
      .allowsStringAlias = false,
      .notAliases = kFromTableEnds};
  for (;;) {
    statement_.FromItems.emplace_back().push_back(&ParseTableReference(kFromTable));
    while (ParseJoin()) {
    }
    if (!AtChar(',')) return;
    statement_.SeveralTables = true;
    Next();
  }
}

bool TStatementParser::ParseJoin() {
  static constexpr std::string_view kJoinedTableEnds[] = {"ON"};
  static constexpr TTableRules kJoinedTable{
      .missingName = "Table name expected after JOIN keyword, instead found '",
      .missingNameAfterMemory = "Table name expected after JOIN keyword, instead found '",
      .allowsAs = true,
      .allowsStringAlias = false,
      .notAliases = kJoinedTableEnds};
  TJoinKind kind = jkInner;
  if (AtKeyword("FULL")) {
    RaiseSqlError("Full outer joins are currently not supported in Quire SQL SELECT statements");
  } else if (AtKeyword("INNER")) {
    Next();
    if (!AtKeyword("JOIN")) Expected("JOIN keyword expected after INNER keyword, instead found '");
  } else if (AtKeyword("LEFT") || AtKeyword("RIGHT")) {
    kind = AtKeyword("LEFT") ? jkLeft : jkRight;
    Next();
    if (AtKeyword("OUTER")) Next();
    if (!AtKeyword("JOIN"))
      Expected(kind == jkLeft
                   ? "JOIN keyword expected after LEFT or OUTER keyword, instead found '"
                   : "JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
  } else if (!AtKeyword("JOIN")) {
    return false;
  }
  Next();
  const TSourceDataFile& table = ParseTableReference(kJoinedTable, /*atFront=*/kind == jkRight);
  statement_.FromItems.back().push_back(&table);
  if (!AtKeyword("ON")) Expected("ON keyword expected in JOIN clause, instead found '");
  Next();
  TJoinClause join{.Kind = kind,
                   .Table = &table,
                   .FromItem = statement_.FromItems.size() - 1,
                   .Condition = ParseCondition()};
  MarkJoinComparisons(*join.Condition, kind);
  statement_.Joins.push_back(std::move(join));
  statement_.SeveralTables = true;
  return true;
}

// Both clauses take the same items: [correlation.]name or the number of a
// select item. A bracketed name is refused.
template <typename TItem>
void TStatementParser::ParseColumnItems(std::vector<TItem>& items, std::string_view clause) {
  const std::string badItem = "Column name or column number expected in " + std::string(clause) +
                              " clause, instead found '";
  for (;;) {
    TItem& item = items.emplace_back();
    if (parser_.TokenKindIs(tkInteger)) {
      item.ColumnNo = ColumnNumber(clause);
      Next();
    } else {
      if (!AtName()) Expected(badItem);
      item.ColumnName = parser_.TokenText();
      Next();
      if (AtChar('.')) {
        Next();
        if (!AtName()) Expected(badItem);
        item.TableName = std::move(item.ColumnName);
        item.ColumnName = parser_.TokenText();
        Next();
      }
    }
    if constexpr (std::is_same_v<TItem, TOrderByDataField>) ParseSortDirection(item);
    if (!AtChar(',')) return;
    Next();
  }
}

std::uint16_t TStatementParser::ColumnNumber(std::string_view clause) const {
  const std::string text = parser_.TokenText();
  const auto number = ParseIntegerText(text, 0, std::numeric_limits<std::int32_t>::max());
  if (!number) RaiseSqlError("'" + text + "' is not a valid integer value");
  // No select list is that long: the number is refused here as the
  // executor refuses one past the last select item, with the digits as
  // written rather than cut to 16 bits.
  if (*number > std::numeric_limits<std::uint16_t>::max())
    RaiseSqlError("Invalid column number '" + text + "' specified in " + std::string(clause) +
                  " clause");
  return static_cast<std::uint16_t>(*number);
}

void TStatementParser::ParseSortDirection(TOrderByDataField& item) {
  if (AtKeyword("ASC") || AtKeyword("ASCENDING")) {
    Next();
  } else if (AtKeyword("DESC") || AtKeyword("DESCENDING")) {
    item.Descending = true;
    Next();
  }
}

void TStatementParser::ParseEncrypted() {
  Next();
  if (!AtKeyword("WITH"))
    Expected("WITH keyword expected after ENCRYPTED keyword, instead found '");
  // Whatever token follows is the password, as written.
  Next();
  statement_.Encrypted = true;
  statement_.Password = parser_.TokenText();
  Next();
}

}  // namespace quire
