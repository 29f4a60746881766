#include <algorithm>
#include <string>

#include "sql/SqlError.h"
#include "sql/StatementParser.h"

namespace quire {

TStatementParser::TStatementParser(TDataQuery& query, TTableSchemas& schemas)
    : query_(query),
      parser_(query.Parser()),
      statement_(query.Statement()),
      schemas_(schemas),
      formats_(CurrentFormatSettings()) {}

void TStatementParser::Parse() {
  Next();
  if (AtKeyword("SELECT")) {
    ParseSelect();
  } else if (AtKeyword("INSERT")) {
    ParseInsert();
  } else if (AtKeyword("UPDATE")) {
    ParseUpdate();
  } else if (AtKeyword("DELETE")) {
    ParseDelete();
  } else {
    Expected("SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found '");
  }
}

TSourceDataFile& TStatementParser::ParseTableReference(const TTableRules& rules, bool atFront) {
  const bool inMemory = AtKeyword("MEMORY");
  if (inMemory) Next();
  if (!AtName()) Expected(inMemory ? rules.missingNameAfterMemory : rules.missingName);
  const auto number = static_cast<std::uint16_t>(statement_.SourceTables.size() + 1);
  auto table = std::make_unique<TSourceDataFile>(query_, number, inMemory);
  table->SetTableName(parser_.TokenText());
  Next();
  ParseAlias(*table, rules);
  return statement_.AddSourceTable(std::move(table), atFront);
}

void TStatementParser::ParseAlias(TSourceDataFile& table, const TTableRules& rules) {
  if (rules.allowsAs && AtKeyword("AS")) {
    Next();
    if (!AtName()) Expected("Symbol or string expected after AS keyword, instead found '");
  } else if (parser_.TokenKindIs(tkSymbol)) {
    if (std::any_of(rules.notAliases.begin(), rules.notAliases.end(),
                    [this](std::string_view word) { return AtKeyword(word); }))
      return;
  } else if (!(rules.allowsStringAlias && parser_.TokenKindIs(tkString))) {
    return;
  }
  table.SetCorrelationName(parser_.TokenText());
  Next();
}

TExprTree TStatementParser::ParseCondition() {
  TExprTree condition =
      ParseExpression(parser_, pfPredicates | pfParams, kClauseCondition, &statement_.Parameters);
  if (!condition) RaiseSqlError("WHERE or JOIN clause is empty");
  TSourceColumnResolver resolver(statement_.SourceTables, schemas_);
  CheckTypes(*condition, kClauseCondition, resolver, formats_);
  if (condition->Type() != ftype::Boolean)
    RaiseSqlError("WHERE or JOIN clause must be a boolean expression");
  statement_.HasCondition = true;
  return condition;
}

void TStatementParser::ParseOptionalWhere() {
  if (!AtKeyword("WHERE")) return;
  Next();
  statement_.Condition = ParseCondition();
}

void TStatementParser::ExpectEnd(std::string_view message) {
  if (AtChar(';')) Next();
  if (!parser_.TokenKindIs(tkEnd)) Expected(message);
}

bool TStatementParser::AtEmptyItem(std::initializer_list<std::string_view> endingKeywords) const {
  if (parser_.TokenKindIs(tkEnd) || AtChar(',') || AtChar(')') || AtChar(';')) return true;
  return std::any_of(endingKeywords.begin(), endingKeywords.end(),
                     [this](std::string_view word) { return parser_.IsKeyword(word); });
}

bool TStatementParser::AtName() const {
  return parser_.TokenKindIs(tkSymbol) || parser_.TokenKindIs(tkString);
}

bool TStatementParser::AtChar(char c) const {
  return parser_.TokenKindIs(static_cast<TTokenKind>(static_cast<unsigned char>(c)));
}

void TStatementParser::Expected(std::string_view message) const {
  RaiseSqlError(std::string(message) + parser_.TokenText() + "'");
}

}  // namespace quire
