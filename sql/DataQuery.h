#pragma once
// TDataQuery: the engine object behind one SQL statement. It owns the
// tokenizer its text is loaded into and the parsed statement.
//
// The statement structure is a TStatement of its own (Statement.h) rather
// than a row of members here: the parser fills it, preparation and
// execution read it, and the state those add (opened tables, the result
// table, the query-level condition) lives beside it without mixing with
// what the text said.

#include <string>
#include <string_view>

#include "sql/ExpressionParser.h"
#include "sql/Statement.h"
#include "sql/StatementResolver.h"

namespace quire {

// What the query component tells the query before it prepares it.
struct TQuerySettings {
  // Completes table names that have no directory part; empty leaves them
  // as they stand (relative to the current directory).
  std::string DatabaseDirectory;
};

class TDataQuery {
 public:
  TDataQuery() = default;
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TQuerySettings& Settings() { return settings_; }
  const TQuerySettings& Settings() const { return settings_; }

  // Loads `text` and parses it into an empty statement, binding conditions
  // and values to the tables that `schemas` describes. Raises 11949 for the
  // first syntax, binding or type error (and passes on the errors of
  // opening a table); the statement is empty again after a failure.
  void ParseStatement(std::string_view text, TTableSchemas& schemas);

  const TStatement& Statement() const { return statement_; }
  TStatement& Statement() { return statement_; }
  TExpressionParser& Parser() { return parser_; }

 private:
  TQuerySettings settings_;
  TExpressionParser parser_;
  TStatement statement_;
};

}  // namespace quire
