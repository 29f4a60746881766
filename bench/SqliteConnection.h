#pragma once
// The SQLite side of the benchmarks: one connection in WAL mode with
// synchronous=OFF, so that every statement reaches the file at once but is
// not synced (the promise Quire's shared tables make), and the calls the
// benchmarks share. A failure ends the program with SQLite's message: a
// benchmark whose peer failed has nothing left to measure.

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

class TSqliteConnection {
 public:
  explicit TSqliteConnection(const std::string& path) {
    Check(sqlite3_open(path.c_str(), &db_));
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  }
  // Statements still prepared keep the database open until they are
  // finalized.
  ~TSqliteConnection() { sqlite3_close_v2(db_); }
  TSqliteConnection(const TSqliteConnection&) = delete;
  TSqliteConnection& operator=(const TSqliteConnection&) = delete;

  sqlite3* Handle() const { return db_; }
  void Exec(const std::string& sql) {
    Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr));
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr));
    return statement;
  }
  // Runs `statement` once and resets it for the next values.
  void Step(sqlite3_stmt* statement) {
    Check(sqlite3_step(statement));
    sqlite3_reset(statement);
  }
  void Check(int code) const {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return;
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db_));
    std::exit(1);
  }

 private:
  sqlite3* db_ = nullptr;
};

// Binds `text` (copied) to parameter `index` of `statement`.
inline void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace bench
