#include "sql/SqlError.h"
#include "sql/StatementParser.h"

namespace quire {

// UPDATE and DELETE name their table alike; only the keyword after it
// differs.
constexpr TStatementParser::TTableRules TStatementParser::ChangedTable(
    std::span<const std::string_view> notAliases) {
  return {.missingName = "Table name expected, instead found '",
          .missingNameAfterMemory = "Table name expected, instead found '",
          .allowsAs = true,
          .allowsStringAlias = true,
          .notAliases = notAliases};
}

void TStatementParser::ParseInsert() {
  static constexpr std::string_view kTableEnds[] = {"VALUES"};
  static constexpr TTableRules kTarget{
      .missingName = "Table name expected after INTO clause, instead found '",
      .missingNameAfterMemory = "Table name expected after INTO keyword, instead found '",
      .allowsAs = false,
      .allowsStringAlias = false,
      .notAliases = kTableEnds};
  statement_.Kind = skInsert;
  Next();
  if (!AtKeyword("INTO")) Expected("INTO keyword expected, instead found '");
  Next();
  ParseTableReference(kTarget);
  if (AtChar('(')) {
    ParseInsertColumns();
  } else {
    // Without a column list the values fill all columns in table order.
    statement_.TargetFields.push_back({MakeColumn({}, "*")});
  }
  ParseInsertValues();
  ExpectEnd("End of INSERT statement expected, instead found '");
}

void TStatementParser::ParseInsertColumns() {
  Next();
  for (;;) {
    if (AtEmptyItem()) RaiseSqlError("Table column name is empty");
    const bool quoted = parser_.TokenKindIs(tkString);
    statement_.TargetFields.push_back(
        {TargetColumn(ParseExpression(parser_, 0, kClauseTableColumns), quoted)});
    if (!AtChar(',')) break;
    Next();
  }
  if (!AtChar(')'))
    Expected("Right parentheses expected after list of table columns, instead found '");
  Next();
}

void TStatementParser::ParseInsertValues() {
  if (!AtKeyword("VALUES")) Expected("VALUES keyword expected, instead found '");
  Next();
  if (!AtChar('(')) Expected("Left parentheses expected after VALUES keyword, instead found '");
  Next();
  for (;;) {
    ParseValue();
    if (!AtChar(',')) break;
    Next();
  }
  if (!AtChar(')')) Expected("Right parentheses expected after list of values, instead found '");
  Next();
}

void TStatementParser::ParseUpdate() {
  static constexpr std::string_view kTableEnds[] = {"SET"};
  statement_.Kind = skUpdate;
  Next();
  ParseTableReference(ChangedTable(kTableEnds));
  if (!AtKeyword("SET")) Expected("SET keyword expected, instead found '");
  Next();
  for (;;) {
    if (AtEmptyItem({"WHERE"}) || AtChar('=')) RaiseSqlError("Table column name is empty");
    const bool quoted = parser_.TokenKindIs(tkString);
    statement_.TargetFields.push_back(
        {TargetColumn(ParsePrimary(parser_, 0, kClauseTableColumns), quoted)});
    if (!AtChar('='))
      Expected("Assignment (=) operator expected after column name, instead found '");
    Next();
    ParseValue({"WHERE"});
    if (!AtChar(',')) break;
    Next();
  }
  ParseOptionalWhere();
  ExpectEnd("End of UPDATE statement expected, instead found '");
}

void TStatementParser::ParseDelete() {
  static constexpr std::string_view kTableEnds[] = {"WHERE"};
  statement_.Kind = skDelete;
  Next();
  if (!AtKeyword("FROM")) Expected("FROM keyword expected, instead found '");
  Next();
  ParseTableReference(ChangedTable(kTableEnds));
  ParseOptionalWhere();
  ExpectEnd("End of DELETE statement expected, instead found '");
}

TExprTree TStatementParser::TargetColumn(TExprTree parsed, bool quoted) {
  // A quoted target names a column, even one called 'True'; '' names none.
  if (quoted && parsed->IsConstant()) parsed = MakeColumn({}, parsed->Text);
  if (parsed->IsColumn() && parsed->ColumnName.empty()) RaiseSqlError("Table column name is empty");
  return parsed;
}

void TStatementParser::ParseValue(std::initializer_list<std::string_view> endingKeywords) {
  if (AtEmptyItem(endingKeywords)) RaiseSqlError("Value expression is empty");
  TUpdateDataValue value;
  parser_.MarkExpressionStart();
  value.Value = ParseExpression(parser_, pfParams, kClauseValues, &statement_.Parameters);
  value.SourceText = parser_.ExpressionText();
  TSourceColumnResolver target(statement_.SourceTables, schemas_);
  CheckTypes(*value.Value, kClauseValues, target, formats_);
  statement_.Values.push_back(std::move(value));
}

}  // namespace quire
