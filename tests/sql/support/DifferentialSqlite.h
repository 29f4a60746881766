#pragma once
// The SQLite side of the differential test: an in-memory database that
// takes statements already translated into its own SQL, and the shared
// shape of a result that both engines are compared in.
//
// Both sides show a row as one text per cell: "NULL", a number in one
// canonical form whatever its storage class (an integer column's 2 and a
// float's 2.0 are the same "2"), or a string quoted as 'text'. Strings are
// compared in SQLite's encoding: the tables' single-byte code page 874
// texts are carried into SQLite with every byte from 0x80 up mapped to one
// character of its own (U+0E00 + byte - 0x80). The mapping keeps byte
// order (UTF-8 orders as code points do, and every mapped character sorts
// after ASCII), so SQLite's BINARY compare orders them as Quire's byte
// compare does, and LIKE's "_" still matches one original byte.

#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quire::testing {

using TRow = std::vector<std::string>;

// `bytes` (code page 874) as the text SQLite keeps for it.
std::string ToSqliteText(std::string_view bytes);
// A number as both sides show it.
std::string ShowNumber(double value);
// A string cell as both sides show it (already in SQLite's encoding).
std::string ShowText(std::string_view sqliteText);

class TSqliteDatabase {
 public:
  // An empty in-memory database with LIKE case-sensitive.
  TSqliteDatabase();
  ~TSqliteDatabase();
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  // Runs statements that return no rows; raises std::runtime_error with
  // SQLite's message when one fails.
  void Execute(const std::string& sql);
  // The rows of one statement; raises as Execute does.
  std::vector<TRow> Query(const std::string& sql);
  // The rows the last INSERT, UPDATE or DELETE changed.
  int Changes() const;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace quire::testing
