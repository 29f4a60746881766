#include "support/DifferentialSqlite.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace quire::testing {

std::string ToSqliteText(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const unsigned byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
      continue;
    }
    const unsigned code = 0x0E00 + byte - 0x80;  // three bytes of UTF-8
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
  return text;
}

std::string ShowNumber(double value) {
  if (value == 0) return "0";  // -0.0 too
  char text[64];
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.10g", value);
  }
  return text;
}

std::string ShowText(std::string_view sqliteText) {
  return "'" + std::string(sqliteText) + "'";
}

TSqliteDatabase::TSqliteDatabase() {
  if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open failed");
  Execute("PRAGMA case_sensitive_like = ON");
}

TSqliteDatabase::~TSqliteDatabase() {
  sqlite3_close(db_);
}

void TSqliteDatabase::Execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error("SQLite: " + text + " in " + sql);
  }
}

std::vector<TRow> TSqliteDatabase::Query(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in " + sql);
  std::vector<TRow> rows;
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    TRow row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      switch (sqlite3_column_type(statement, i)) {
        case SQLITE_NULL:
          row.push_back("NULL");
          break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
          row.push_back(ShowNumber(sqlite3_column_double(statement, i)));
          break;
        default:
          row.push_back(ShowText(reinterpret_cast<const char*>(sqlite3_column_text(statement, i))));
          break;
      }
    }
    rows.push_back(std::move(row));
  }
  const std::string error = sqlite3_errmsg(db_);
  sqlite3_finalize(statement);
  if (step != SQLITE_DONE) throw std::runtime_error("SQLite: " + error + " in " + sql);
  return rows;
}

int TSqliteDatabase::Changes() const {
  return sqlite3_changes(db_);
}

}  // namespace quire::testing
