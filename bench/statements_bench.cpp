// SQL statements through the query engine (TDataQuery: prepare once, set
// the parameters, run), beside SQLite running the same statements in the
// same run. Tables of the catalogue's shape: List (ID auto-increment
// primary, Detail, Code, SongName, Singer, SearchBy, Key) with three rows
// per song, and Song (Code primary, Name, Singer) with one.
//
// DELETE FROM List WHERE Code = ? deletes one song's three rows; the rows
// are inserted again after each statement (outside the clock), so the table
// keeps its size. It runs on tables of 1k, 10k and 100k rows, with an index
// on Code (the time per statement should not grow with the table) and
// without one (a scan). Then SELECTs over the indexed tables: an indexed
// condition, Song joined with List on Code, a GROUP BY with COUNT, and a
// lone COUNT(*). The indexed DELETE also runs as the import runs it: the
// code in the statement's text, prepared, run and freed each time.
//
// The query opens its tables shared, so every change is written to the
// files at once (no caching of changes in the process), without syncing
// them to the disk; SQLite runs with WAL and synchronous=OFF, one statement
// per transaction, which is the same promise.
//
//   statements_bench [--only=indexed|scan|fresh|select] [ROWS...]
//                                (default all three, on 1k, 10k and 100k rows)

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSize.h"
#include "bench/SqliteConnection.h"
#include "engine/DataFile.h"
#include "engine/Engine.h"
#include "engine/FieldTypes.h"
#include "sql/DataQuery.h"

namespace {

using namespace quire;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

// --- The rows ---------------------------------------------------------------------

std::string Word(std::uint64_t seed, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    text += static_cast<char>('a' + (seed >> 33) % 26);
  }
  return text;
}

struct TSong {
  std::string code, name, singer, key;
};

TSong SongAt(std::size_t n) {
  char code[16];
  std::snprintf(code, sizeof code, "S%07zu", n);
  return {code, Word(n * 3 + 1, 12 + n % 30), Word(n * 3 + 2, 8 + n % 20), Word(n * 3 + 3, 4)};
}

std::string DetailOf(const TSong& song, int searchBy) {
  return searchBy == 1 ? song.name : searchBy == 2 ? song.singer : song.code;
}

// --- Quire ------------------------------------------------------------------------

TFieldDefinition Field(std::int16_t number, const char* name, std::uint8_t type, int size,
                       std::uint8_t subType = 0) {
  TFieldDefinition field;
  field.FieldNo = number;
  field.FieldName = name;
  field.FieldType = type;
  field.FieldSize = size;
  field.FieldSubType = subType;
  return field;
}

TTableCreateRequest ListRequest(bool codeIndex) {
  TTableCreateRequest request;
  request.Fields = {Field(1, "ID", ftype::Integer, 0, fsubtype::AutoInc),
                    Field(2, "Detail", ftype::String, 100),
                    Field(3, "Code", ftype::String, 10),
                    Field(4, "SongName", ftype::String, 100),
                    Field(5, "Singer", ftype::String, 100),
                    Field(6, "SearchBy", ftype::SmallInt, 0),
                    Field(7, "Key", ftype::String, 10)};
  request.Primary.FieldCount = 1;
  request.Primary.FieldNumbers[0] = 1;
  request.Primary.Unique = 1;
  if (codeIndex) {
    TIndexDefinition byCode;
    byCode.Name = "ByCode";
    byCode.FieldCount = 1;
    byCode.FieldNumbers[0] = 3;
    request.Secondary.push_back(byCode);
  }
  return request;
}

TTableCreateRequest SongRequest() {
  TTableCreateRequest request;
  request.Fields = {Field(1, "Code", ftype::String, 10), Field(2, "Name", ftype::String, 100),
                    Field(3, "Singer", ftype::String, 100)};
  request.Primary.FieldCount = 1;
  request.Primary.FieldNumbers[0] = 1;
  request.Primary.Unique = 1;
  return request;
}

void SetText(TDataFile& table, int field, std::vector<std::uint8_t>& record,
             const std::string& text) {
  table.SetField(true, field, record, text.data(), text.size());
}

void InsertListRows(TDataFile& table, std::vector<std::uint8_t>& record, const TSong& song) {
  for (std::int16_t by = 1; by <= 3; ++by) {
    table.InitRecord(record);
    SetText(table, 2, record, DetailOf(song, by));
    SetText(table, 3, record, song.code);
    SetText(table, 4, record, song.name);
    SetText(table, 5, record, song.singer);
    table.SetField(true, 6, record, &by, 2);
    SetText(table, 7, record, song.key);
    table.InsertRecord(record, false);
  }
}

// Creates List (and Song, with `songs`) in `folder`, filled exclusively.
void CreateQuireTables(const std::string& folder, std::size_t songs, bool codeIndex,
                       bool withSong) {
  std::filesystem::create_directories(folder);
  TDataFile list;
  list.SetFileName(folder + "/List");
  list.SetExclusive(true);
  list.CreateTable(ListRequest(codeIndex));
  list.Open();
  std::vector<std::uint8_t> record = list.NewRecordBuffer();
  for (std::size_t n = 0; n < songs; ++n) InsertListRows(list, record, SongAt(n));
  list.Close();
  if (!withSong) return;
  TDataFile song;
  song.SetFileName(folder + "/Song");
  song.SetExclusive(true);
  song.CreateTable(SongRequest());
  song.Open();
  record = song.NewRecordBuffer();
  for (std::size_t n = 0; n < songs; ++n) {
    const TSong row = SongAt(n);
    song.InitRecord(record);
    SetText(song, 1, record, row.code);
    SetText(song, 2, record, row.name);
    SetText(song, 3, record, row.singer);
    song.InsertRecord(record, false);
  }
  song.Close();
}

class TQuireSide {
 public:
  explicit TQuireSide(std::string folder) : folder_(std::move(folder)) {
    writer_.SetFileName(folder_ + "/List");
    writer_.Open();  // shared, as the query's own
    record_ = writer_.NewRecordBuffer();
  }
  ~TQuireSide() { writer_.Close(); }

  // Seconds spent in the statement alone, over the codes of `songs` until
  // `budget` seconds are spent; `done` counts the statements.
  // With `fresh`, each statement is the import's: its text with the code
  // in it, prepared on a query of its own, run and freed.
  double DeleteEach(const std::vector<std::size_t>& songs, double budget, std::size_t& done,
                    bool fresh = false) {
    TDataQuery query;
    query.Settings().DatabaseDirectory = folder_;
    if (!fresh) query.PrepareStatement("DELETE FROM List WHERE Code = ?");
    double seconds = 0;
    for (const std::size_t n : songs) {
      if (seconds > budget) break;
      ++done;
      const TSong song = SongAt(n);
      const TValue code = TValue::String(song.code);
      const auto start = Clock::now();
      if (fresh) {
        query.PrepareStatement("Delete from List where Code = '" + song.code + "'");
      } else {
        query.SetParamValues({&code, 1});
      }
      query.RunStatement();
      const std::int32_t deleted = query.RowsAffected();
      if (fresh) query.Free();
      seconds += Seconds(Clock::now() - start);
      if (deleted != 3)
        std::fprintf(stderr, "quire: %d rows deleted for %s\n", deleted, song.code.c_str());
      InsertListRows(writer_, record_, song);
    }
    return seconds;
  }

  // Runs `text` once with `parameter` (none when empty) and reads every
  // row of the result; returns the rows.
  long Select(TDataQuery& query, const std::string& parameter) {
    if (!parameter.empty()) {
      const TValue value = TValue::String(parameter);
      query.SetParamValues({&value, 1});
    }
    TDataFile* result = query.RunStatement();
    std::vector<std::uint8_t> buffer = result->NewRecordBuffer();
    long rows = 0;
    result->First();
    while (result->GetNextRecord(buffer) == 0) ++rows;
    return rows;
  }

  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  TDataFile writer_;
  std::vector<std::uint8_t> record_;
};

// --- SQLite -----------------------------------------------------------------------

class TSqliteSide {
 public:
  TSqliteSide(const std::string& path, std::size_t songs, bool codeIndex, bool withSong)
      : db_(path) {
    db_.Exec(
        "CREATE TABLE List(ID INTEGER PRIMARY KEY AUTOINCREMENT, Detail TEXT, "
        "Code TEXT, SongName TEXT, Singer TEXT, SearchBy INTEGER, Key TEXT);"
        "CREATE TABLE Song(Code TEXT PRIMARY KEY, Name TEXT, Singer TEXT);");
    if (codeIndex) db_.Exec("CREATE INDEX ByCode ON List(Code)");
    insert_ = Prepare(
        "INSERT INTO List(Detail, Code, SongName, Singer, SearchBy, Key) VALUES(?,?,?,?,?,?)");
    db_.Exec("BEGIN");
    for (std::size_t n = 0; n < songs; ++n) InsertListRows(SongAt(n));
    if (withSong) {
      sqlite3_stmt* song = Prepare("INSERT INTO Song VALUES(?,?,?)");
      for (std::size_t n = 0; n < songs; ++n) {
        const TSong row = SongAt(n);
        bench::BindText(song, 1, row.code);
        bench::BindText(song, 2, row.name);
        bench::BindText(song, 3, row.singer);
        db_.Step(song);
      }
      sqlite3_finalize(song);
    }
    db_.Exec("COMMIT");
  }
  ~TSqliteSide() { sqlite3_finalize(insert_); }

  double DeleteEach(const std::vector<std::size_t>& songs, bool fresh = false) {
    sqlite3_stmt* remove = Prepare("DELETE FROM List WHERE Code = ?");
    double seconds = 0;
    for (const std::size_t n : songs) {
      const TSong song = SongAt(n);
      const auto start = Clock::now();
      if (fresh) {
        sqlite3_stmt* once = Prepare("DELETE FROM List WHERE Code = '" + song.code + "'");
        db_.Step(once);
        sqlite3_finalize(once);
      } else {
        bench::BindText(remove, 1, song.code);
        db_.Step(remove);
      }
      seconds += Seconds(Clock::now() - start);
      if (sqlite3_changes(db_.Handle()) != 3)
        std::fprintf(stderr, "sqlite: %d rows deleted for %s\n", sqlite3_changes(db_.Handle()),
                     song.code.c_str());
      InsertListRows(song);
    }
    sqlite3_finalize(remove);
    return seconds;
  }

  // Steps through every row of `statement`, reading each column.
  long Select(sqlite3_stmt* statement, const std::string& parameter) {
    if (!parameter.empty()) bench::BindText(statement, 1, parameter);
    long rows = 0;
    int code = 0;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
      for (int column = 0; column < sqlite3_column_count(statement); ++column)
        sqlite3_column_text(statement, column);
      ++rows;
    }
    db_.Check(code);
    sqlite3_reset(statement);
    return rows;
  }

  sqlite3_stmt* Prepare(const std::string& sql) { return db_.Prepare(sql); }

 private:
  void InsertListRows(const TSong& song) {
    for (int by = 1; by <= 3; ++by) {
      bench::BindText(insert_, 1, DetailOf(song, by));
      bench::BindText(insert_, 2, song.code);
      bench::BindText(insert_, 3, song.name);
      bench::BindText(insert_, 4, song.singer);
      sqlite3_bind_int(insert_, 5, by);
      bench::BindText(insert_, 6, song.key);
      db_.Step(insert_);
    }
  }

  bench::TSqliteConnection db_;
  sqlite3_stmt* insert_ = nullptr;
};

// --- The runs ---------------------------------------------------------------------

std::vector<std::size_t> RandomSongs(std::size_t songs, std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::size_t> picked(count);
  for (std::size_t& n : picked) n = random() % songs;
  return picked;
}

void DeleteLine(std::size_t rows, std::size_t statements, double ours, double theirs) {
  const double n = static_cast<double>(statements);
  std::printf("%9zu %10zu %12.0f %12.0f %10.1f %10.1f %7.2f\n", rows, statements, n / ours,
              n / theirs, ours / n * 1e6, theirs / n * 1e6, theirs / ours);
}

void DeleteTable(const std::string& folder, const std::vector<std::size_t>& sizes, bool codeIndex,
                 bool fresh = false) {
  if (fresh) {
    std::printf(
        "\nDELETE as the import runs it: the code in the text, prepared, run and freed "
        "each time (3 rows each), index on Code\n");
  } else {
    std::printf("\nDELETE FROM List WHERE Code = ? (3 rows each), %s\n",
                codeIndex ? "index on Code" : "no index on Code: a scan");
  }
  std::printf("%9s %10s %12s %12s %10s %10s %7s\n", "rows", "statements", "quire st/s",
              "sqlite st/s", "quire us", "sqlite us", "ratio");
  for (const std::size_t rows : sizes) {
    const std::size_t songs = rows / 3;
    const std::string place =
        folder + "/" + std::to_string(rows) + (codeIndex ? "i" : "s") + (fresh ? "f" : "");
    CreateQuireTables(place, songs, codeIndex, false);
    TQuireSide quireSide(place);
    TSqliteSide sqliteSide(place + "/list.sqlite", songs, codeIndex, false);
    // A scan visits every row, so the unindexed runs get fewer statements.
    const std::size_t statements =
        codeIndex
            ? bench::Size<std::size_t>(2000, 50)
            : std::clamp<std::size_t>(bench::Size<std::size_t>(3000000, 3000) / rows, 5, 2000);
    std::vector<std::size_t> picked =
        RandomSongs(songs, statements, static_cast<std::uint32_t>(rows));
    // Both sides run the statements Quire finished within its budget.
    std::size_t done = 0;
    const double ours = quireSide.DeleteEach(picked, bench::Size(20.0, 1.0), done, fresh);
    picked.resize(done);
    const double theirs = sqliteSide.DeleteEach(picked, fresh);
    DeleteLine(rows, done, ours, theirs);
  }
}

// Repeats `run` until `budget` seconds have passed (at least once, at most
// `most` times) and returns the seconds per run.
double PerRun(const std::function<void()>& run, double budget, std::size_t most) {
  std::size_t runs = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    run();
    ++runs;
    elapsed = Seconds(Clock::now() - start);
  } while (runs < most && elapsed < budget);
  return elapsed / static_cast<double>(runs);
}

void SelectTable(const std::string& folder, std::size_t rows) {
  const std::size_t songs = rows / 3;
  const std::string place = folder + "/select";
  CreateQuireTables(place, songs, true, true);
  TQuireSide quireSide(place);
  TSqliteSide sqliteSide(place + "/select.sqlite", songs, true, true);
  std::printf("\nSELECT over List (%zu rows, index on Code) and Song (%zu rows, primary Code)\n",
              songs * 3, songs);
  std::printf("%-40s %9s %12s %12s %7s\n", "statement", "rows", "quire us", "sqlite us", "ratio");
  struct TCase {
    const char* name;
    std::string quireText, sqliteText;
    bool parameter;
  };
  const std::vector<TCase> cases = {
      {"indexed: List WHERE Code = ?", "SELECT * FROM List WHERE Code = ?",
       "SELECT * FROM List WHERE Code = ?", true},
      {"join: Song JOIN List ON Code",
       "SELECT Song.Code, Song.Name, List.Detail FROM Song JOIN List ON Song.Code = List.Code",
       "SELECT Song.Code, Song.Name, List.Detail FROM Song JOIN List ON Song.Code = List.Code",
       false},
      {"group: Code, COUNT(*) GROUP BY Code", "SELECT Code, COUNT(*) FROM List GROUP BY Code",
       "SELECT Code, COUNT(*) FROM List GROUP BY Code", false},
      {"lone COUNT(*) FROM List", "SELECT COUNT(*) FROM List", "SELECT COUNT(*) FROM List", false},
  };
  const double budget = bench::Size(1.0, 0.01);
  for (const TCase& test : cases) {
    const std::vector<std::size_t> picked = RandomSongs(songs, 4096, 7);
    std::size_t next = 0;
    const auto parameter = [&] {
      return test.parameter ? SongAt(picked[next++ % picked.size()]).code : std::string();
    };
    TDataQuery query;
    query.Settings().DatabaseDirectory = quireSide.Folder();
    query.PrepareStatement(test.quireText);
    long ourRows = 0, theirRows = 0;
    const double ours =
        PerRun([&] { ourRows = quireSide.Select(query, parameter()); }, budget, 4096);
    query.Free();
    next = 0;
    sqlite3_stmt* statement = sqliteSide.Prepare(test.sqliteText);
    const double theirs =
        PerRun([&] { theirRows = sqliteSide.Select(statement, parameter()); }, budget, 4096);
    sqlite3_finalize(statement);
    if (ourRows != theirRows)
      std::fprintf(stderr, "%s: quire %ld rows, sqlite %ld\n", test.name, ourRows, theirRows);
    std::printf("%-40s %9ld %12.1f %12.1f %7.2f\n", test.name, ourRows, ours * 1e6, theirs * 1e6,
                theirs / ours);
  }
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/statements-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  StartEngine();
  std::printf(
      "shared tables, every change written to the files at once; SQLite WAL, "
      "synchronous=OFF, one statement per transaction; ratio = quire speed / sqlite\n");
  std::vector<std::size_t> sizes = bench::Sizes<std::size_t>({1000, 10000, 100000}, {300, 900});
  // One part alone, for profiling it.
  std::string only;
  std::vector<std::size_t> given;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--only=", 0) == 0) {
      only = argument.substr(7);
    } else {
      given.push_back(std::strtoul(argv[i], nullptr, 10));
    }
  }
  if (!given.empty()) sizes = given;
  if (only.empty() || only == "indexed") DeleteTable(folder, sizes, true);
  if (only.empty() || only == "scan") DeleteTable(folder, sizes, false);
  // The import's way, on the middle size.
  if (only.empty() || only == "fresh")
    DeleteTable(folder, {std::min(sizes.back(), bench::Size<std::size_t>(10000, 900))}, true, true);
  // The join and the grouping of Quire grow faster than the table, so the
  // SELECTs run on the middle size.
  if (only.empty() || only == "select")
    SelectTable(folder, std::min(sizes.back(), bench::Size<std::size_t>(10000, 900)));
  StopEngine();
  std::filesystem::remove_all(folder);
  return 0;
}
