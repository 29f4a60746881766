#pragma once
// TDataQuery: the engine object behind one SQL statement. It owns the
// tokenizer its text is loaded into, the parsed statement, the tables the
// statement opened and, for SELECT, its result.
//
// The statement structure is a TStatement of its own (Statement.h) rather
// than a row of members here: the parser fills it, preparation and
// execution read it, and the state those add (opened tables, the result
// table) lives beside it without mixing with what the text said.
//
// In calling order: settings, PrepareStatement (parse, bind, open the
// tables, create a SELECT's result table), SetParamValues, RunStatement
// (once or more), RowsAffected. Every failure is an EQuireEngineError.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFile.h"
#include "sql/ChangeStatements.h"
#include "sql/ExpressionParser.h"
#include "sql/Statement.h"
#include "sql/StatementResolver.h"
#include "sql/StatementTable.h"

namespace quire {

class TOpenTables;
class TSelectExecution;

// What the query component tells the query before it prepares it.
struct TQuerySettings {
  // Completes table names that have no directory part; empty leaves them
  // as they stand (relative to the current directory).
  std::string DatabaseDirectory;
  // For every table the statement opens.
  std::uint8_t LockRetryCount = 15;
  std::uint16_t LockWaitTime = 100;  // milliseconds
  bool StrictChangeDetection = false;
  TDataFile::TPasswordCallback PasswordCallback;
  // A SELECT may return the source table itself.
  bool LiveResult = false;
  // The locale of the result table and of the query's string compares.
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
};

// One parameter of a bound value buffer (SetParamBuffer).
struct TParamDescriptor {
  std::uint16_t Number = 0;  // from 1
  std::string Name;          // at most 30 characters
  std::uint8_t EngineType = 0;
  std::uint8_t SubType = 0;
  std::uint16_t Size = 0;    // value bytes after the presence byte
  std::uint32_t Offset = 0;  // of the presence byte
};

class TDataQuery {
 public:
  TDataQuery();
  ~TDataQuery();
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TQuerySettings& Settings() { return settings_; }
  const TQuerySettings& Settings() const { return settings_; }

  // Loads `text` and parses it into an empty statement, binding conditions
  // and values to the tables that `schemas` describes. Raises 11949 for the
  // first syntax, binding or type error (and passes on the errors of
  // opening a table); the statement is empty again after a failure.
  void ParseStatement(std::string_view text, TTableSchemas& schemas);

  // Parses `text` over the tables it names (opened through `opener`, or
  // as data files with the settings when null) and binds the statement:
  // a DELETE's table is opened; UPDATE and INSERT resolve their target
  // columns; a SELECT creates its result table. On failure nothing of the
  // statement is kept and its tables are closed.
  void PrepareStatement(std::string_view text, TStatementTableOpener* opener = nullptr);

  // Gives the "?" markers their values in order of appearance; a value of
  // another type than the marker's checked one is converted where it can
  // be. Fewer values leave the rest as they are; more raise 11949
  // "Internal parameter error".
  void SetParamValues(std::span<const TValue> values);

  // The bound form of the values, as the query component hands them over:
  // one descriptor per parameter and one value buffer in which each
  // parameter's slot (at Offset) is a presence byte, 1 for a value and 0 for
  // NULL, followed by Size bytes of the value stored as a field of
  // EngineType keeps it. Decodes the slots in descriptor order and gives
  // them to SetParamValues; a slot reaching past the buffer raises 11949
  // "Internal parameter error".
  void SetParamBuffer(std::span<const TParamDescriptor> descriptors,
                      std::span<const std::uint8_t> buffer);

  void SetProgressCallback(TProgressCallback progress) { progress_ = std::move(progress); }

  // Runs the prepared statement. For SELECT returns its result table
  // (positioned on its order), otherwise null.
  TDataFile* RunStatement();
  std::int32_t RowsAffected() const { return rowsAffected_; }
  // The result table's fields a caller shows, by field number (after a
  // SELECT has run).
  const std::vector<int>& VisibleFields() const;
  // Whether a statement is running on this query now.
  bool Busy() const { return busy_; }

  // Closes the statement's tables and the result (a temporary result table
  // is deleted) and empties the statement.
  void Free();

  const TStatement& Statement() const { return statement_; }
  TStatement& Statement() { return statement_; }
  TExpressionParser& Parser() { return parser_; }

 private:
  TStatementTable& Target();

  TQuerySettings settings_;
  TExpressionParser parser_;
  TStatement statement_;
  std::unique_ptr<TStatementTableOpener> ownOpener_;
  std::unique_ptr<TOpenTables> tables_;
  std::unique_ptr<TSelectExecution> select_;
  std::vector<int> targets_;
  TProgressCallback progress_;
  std::int32_t rowsAffected_ = 0;
  bool busy_ = false;
};

}  // namespace quire
