#pragma once
// TStatementParser: one run of the statement grammar over the text loaded
// into a query's tokenizer, filling the query's (empty) statement.
//
//   SELECT [ALL] [DISTINCT] item {, item} [INTO [MEMORY] name]
//          FROM table {join} {, table {join}} [WHERE condition]
//          [GROUP BY column {, column}] [ORDER BY column [ASC|DESC] {, ...} [NOCASE]]
//          [WITH LOCKS] [ENCRYPTED WITH password] [;]
//   INSERT INTO [MEMORY] name [alias] [(column {, column})] VALUES (value {, value}) [;]
//   UPDATE [MEMORY] name [alias] SET column = value {, column = value} [WHERE condition] [;]
//   DELETE FROM [MEMORY] name [alias] [WHERE condition] [;]
//
// Clauses are accepted only in this order. Each routine starts at its first
// token (already read) and leaves the tokenizer on the token after what it
// parsed. A statement-level message is its text followed by the current
// token's text and a closing "'".

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "engine/FormatSettings.h"
#include "sql/DataQuery.h"
#include "sql/JoinComparisons.h"

namespace quire {

class TStatementParser {
 public:
  TStatementParser(TDataQuery& query, TTableSchemas& schemas);

  // Parses the whole text from its first token.
  void Parse();

 private:
  // How one kind of statement names a table and its alias.
  struct TTableRules {
    std::string_view missingName;             // no name where one must stand
    std::string_view missingNameAfterMemory;  // ... after MEMORY
    bool allowsAs;                            // [AS name]
    bool allowsStringAlias;                   // a bare quoted alias
    // The symbols that end the table reference instead of naming it.
    std::span<const std::string_view> notAliases;
  };
  static constexpr TTableRules ChangedTable(std::span<const std::string_view> notAliases);

  // ParseSelect.cpp
  void ParseSelect();
  void ParseSelectItem();
  void ParseInto();
  void ParseFromList();
  bool ParseJoin();
  template <typename TItem>
  void ParseColumnItems(std::vector<TItem>& items, std::string_view clause);
  std::uint16_t ColumnNumber(std::string_view clause) const;
  void ParseSortDirection(TOrderByDataField& item);
  void ParseEncrypted();

  // ParseChange.cpp
  void ParseInsert();
  void ParseInsertColumns();
  void ParseInsertValues();
  void ParseUpdate();
  void ParseDelete();
  // The target column a parsed item names; `quoted` when it was written as
  // a string.
  TExprTree TargetColumn(TExprTree parsed, bool quoted);
  void ParseValue(std::initializer_list<std::string_view> endingKeywords = {});

  // ParseStatement.cpp: what the statements share.
  TSourceDataFile& ParseTableReference(const TTableRules& rules, bool atFront = false);
  void ParseAlias(TSourceDataFile& table, const TTableRules& rules);
  // A bound, type-checked condition of WHERE or ON.
  TExprTree ParseCondition();
  void ParseOptionalWhere();
  void ExpectEnd(std::string_view message);
  // Whether the current token cannot begin a clause item: the item is empty.
  bool AtEmptyItem(std::initializer_list<std::string_view> endingKeywords = {}) const;
  // A symbol or quoted string: what names a table, an alias or a column.
  bool AtName() const;
  bool AtChar(char c) const;
  bool AtKeyword(std::string_view word) const { return parser_.IsKeyword(word); }
  void Next() { parser_.ReadToken(); }
  [[noreturn]] void Expected(std::string_view message) const;

  TDataQuery& query_;
  TExpressionParser& parser_;
  TStatement& statement_;
  TTableSchemas& schemas_;
  // The formats date and time constants in conditions and values are read
  // with, taken once for the statement.
  TFormatSettings formats_;
};

}  // namespace quire
