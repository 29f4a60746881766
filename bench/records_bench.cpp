// The catalogue's pattern on a shared table, beside SQLite in the same run:
// 100,000 rows of the List shape (auto-increment ID, Detail, Code, SongName,
// Singer, SearchBy, Key) with a primary index (Code, SearchBy) and two
// secondary indexes (Detail, Singer). Every change is written through at
// once, as on a table other programs share. Three phases: insert every row,
// look each up by its key, delete each by its key.
//
// SQLite runs the same rows and lookups with WAL, synchronous=OFF, prepared
// statements, one statement per transaction and the same three indexes.
//
//   records_bench [ROWS]

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSize.h"
#include "engine/DataFile.h"
#include "engine/Engine.h"

namespace {

using namespace quire;
using Clock = std::chrono::steady_clock;

struct TRow {
  std::string detail, code, songName, singer, key;
  std::int16_t searchBy = 0;
};

std::string Word(std::mt19937& random, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + random() % 26);
  return text;
}

// Three rows per song (by name, by singer, by code), songs in random order.
std::vector<TRow> MakeRows(std::size_t count) {
  std::mt19937 random(20240229);
  std::vector<std::size_t> songs((count + 2) / 3);
  for (std::size_t i = 0; i < songs.size(); ++i) songs[i] = i;
  std::shuffle(songs.begin(), songs.end(), random);
  std::vector<TRow> rows;
  for (const std::size_t song : songs) {
    char code[16];
    std::snprintf(code, sizeof code, "S%07zu", song);
    const std::string name = Word(random, 12 + random() % 30);
    const std::string singer = Word(random, 8 + random() % 20);
    const std::string key = Word(random, 6);
    for (std::int16_t by = 1; by <= 3 && rows.size() < count; ++by) {
      const std::string detail = by == 1 ? name : by == 2 ? singer : std::string(code);
      rows.push_back({detail, code, name, singer, key, by});
    }
  }
  return rows;
}

double Rate(std::size_t count, Clock::duration elapsed) {
  return static_cast<double>(count) / std::chrono::duration<double>(elapsed).count();
}

struct TRates {
  double insert = 0, lookup = 0, remove = 0;
};

// --- Quire ------------------------------------------------------------------

TTableCreateRequest ListTable() {
  TTableCreateRequest request;
  const auto field = [&](const char* name, std::uint8_t type, int size, std::uint8_t sub = 0) {
    TFieldDefinition f;
    f.FieldNo = static_cast<std::int16_t>(request.Fields.size() + 1);
    f.FieldName = name;
    f.FieldType = type;
    f.FieldSize = size;
    f.FieldSubType = sub;
    request.Fields.push_back(f);
  };
  field("ID", ftype::Integer, 0, fsubtype::AutoInc);
  field("Detail", ftype::String, 100);
  field("Code", ftype::String, 10);
  field("SongName", ftype::String, 100);
  field("Singer", ftype::String, 100);
  field("SearchBy", ftype::SmallInt, 0);
  field("Key", ftype::String, 10);
  request.Primary.FieldCount = 2;
  request.Primary.FieldNumbers[0] = 3;
  request.Primary.FieldNumbers[1] = 6;
  TIndexDefinition detail;
  detail.Name = "ByDetail";
  detail.FieldCount = 1;
  detail.FieldNumbers[0] = 2;
  TIndexDefinition singer = detail;
  singer.Name = "BySinger";
  singer.FieldNumbers[0] = 5;
  request.Secondary = {detail, singer};
  return request;
}

void Fill(TDataFile& table, std::vector<std::uint8_t>& buffer, const TRow& row) {
  table.InitRecord(buffer);
  table.SetField(true, 2, buffer, row.detail.data(), row.detail.size());
  table.SetField(true, 3, buffer, row.code.data(), row.code.size());
  table.SetField(true, 4, buffer, row.songName.data(), row.songName.size());
  table.SetField(true, 5, buffer, row.singer.data(), row.singer.size());
  table.SetField(true, 6, buffer, &row.searchBy, 2);
  table.SetField(true, 7, buffer, row.key.data(), row.key.size());
}

TRates RunQuire(const std::vector<TRow>& rows, const std::string& folder) {
  StartEngine();
  const std::string path = folder + "/List";
  {
    TDataFile table;
    table.SetFileName(path);
    table.SetExclusive(true);
    table.CreateTable(ListTable());
  }
  TDataFile table;
  table.SetFileName(path);
  table.Open();  // shared: every change is written through
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  std::vector<std::uint8_t> found = table.NewRecordBuffer();
  TRates rates;

  auto start = Clock::now();
  for (const TRow& row : rows) {
    Fill(table, buffer, row);
    table.InsertRecord(buffer, false);
  }
  rates.insert = Rate(rows.size(), Clock::now() - start);

  std::size_t hits = 0;
  start = Clock::now();
  for (const TRow& row : rows) {
    Fill(table, buffer, row);
    hits += table.FindKey(buffer, found) ? 1 : 0;
  }
  rates.lookup = Rate(rows.size(), Clock::now() - start);
  if (hits != rows.size()) std::fprintf(stderr, "quire: %zu of %zu found\n", hits, rows.size());

  start = Clock::now();
  for (const TRow& row : rows) {
    Fill(table, buffer, row);
    if (table.FindKey(buffer, found)) table.DeleteRecord(false);
  }
  rates.remove = Rate(rows.size(), Clock::now() - start);
  if (table.RecordCount() != 0) std::fprintf(stderr, "quire: records left\n");
  table.Close();
  StopEngine();
  return rates;
}

// --- SQLite ---------------------------------------------------------------------

void Check(int code, sqlite3* db) {
  if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db);
  return statement;
}

void BindKey(sqlite3_stmt* statement, const TRow& row, int first) {
  sqlite3_bind_text(statement, first, row.code.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(statement, first + 1, row.searchBy);
}

TRates RunSqlite(const std::vector<TRow>& rows, const std::string& folder) {
  sqlite3* db = nullptr;
  Check(sqlite3_open((folder + "/list.sqlite").c_str(), &db), db);
  Check(sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;"
                     "CREATE TABLE List(ID INTEGER PRIMARY KEY AUTOINCREMENT, Detail TEXT, "
                     "Code TEXT, SongName TEXT, Singer TEXT, SearchBy INTEGER, Key TEXT);"
                     "CREATE UNIQUE INDEX ListPrimary ON List(Code, SearchBy);"
                     "CREATE INDEX ByDetail ON List(Detail);"
                     "CREATE INDEX BySinger ON List(Singer);",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* insert = Prepare(
      db, "INSERT INTO List(Detail, Code, SongName, Singer, SearchBy, Key) VALUES(?,?,?,?,?,?)");
  sqlite3_stmt* lookup = Prepare(db, "SELECT * FROM List WHERE Code = ? AND SearchBy = ?");
  sqlite3_stmt* remove = Prepare(db, "DELETE FROM List WHERE Code = ? AND SearchBy = ?");
  TRates rates;

  auto start = Clock::now();
  for (const TRow& row : rows) {
    sqlite3_bind_text(insert, 1, row.detail.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, row.code.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, row.songName.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 4, row.singer.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 5, row.searchBy);
    sqlite3_bind_text(insert, 6, row.key.c_str(), -1, SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  rates.insert = Rate(rows.size(), Clock::now() - start);

  std::size_t hits = 0;
  start = Clock::now();
  for (const TRow& row : rows) {
    BindKey(lookup, row, 1);
    if (sqlite3_step(lookup) == SQLITE_ROW) {
      // Read the row as the engine copies it out.
      for (int column = 0; column < 7; ++column) sqlite3_column_text(lookup, column);
      ++hits;
    }
    sqlite3_reset(lookup);
  }
  rates.lookup = Rate(rows.size(), Clock::now() - start);
  if (hits != rows.size()) std::fprintf(stderr, "sqlite: %zu of %zu found\n", hits, rows.size());

  start = Clock::now();
  for (const TRow& row : rows) {
    BindKey(remove, row, 1);
    Check(sqlite3_step(remove), db);
    sqlite3_reset(remove);
  }
  rates.remove = Rate(rows.size(), Clock::now() - start);
  for (sqlite3_stmt* statement : {insert, lookup, remove}) sqlite3_finalize(statement);
  sqlite3_close(db);
  return rates;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count =
      argc > 1 ? std::strtoul(argv[1], nullptr, 10) : bench::Size<std::size_t>(100000, 3000);
  const std::vector<TRow> rows = MakeRows(count);
  char pattern[] = "/tmp/records-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  const TRates quire = RunQuire(rows, folder);
  const TRates sqlite = RunSqlite(rows, folder);
  std::filesystem::remove_all(folder);

  std::printf("%zu rows of List, shared table written through after every change\n", count);
  std::printf("%-8s %14s %14s %8s\n", "phase", "quire ops/s", "sqlite ops/s", "ratio");
  const auto line = [](const char* phase, double ours, double theirs) {
    std::printf("%-8s %14.0f %14.0f %8.2f\n", phase, ours, theirs, ours / theirs);
  };
  line("insert", quire.insert, sqlite.insert);
  line("lookup", quire.lookup, sqlite.lookup);
  line("delete", quire.remove, sqlite.remove);
  return 0;
}
