// Positioning by ordinal and counting key ranges on indexes of 10,000,
// 100,000 and 1,000,000 integer keys, beside SQLite's equivalents in the
// same run: a jump to the n-th key against ORDER BY ... LIMIT 1 OFFSET n,
// a range count against COUNT(*) over an indexed BETWEEN. Both sides read
// the same keys from a file on disk, with warm caches.
//
// The index cursor finds a position, and both ends of a range, in one
// descent through the subtree counts of the node entries, so its time per
// operation should grow with the tree's height (log of the size), not with
// the position or the width of the range; the last column, Quire's time
// against SQLite's, shows what that is worth.
//
// Usage: cursor_bench [FOLDER]   (default: a fresh folder under /tmp)

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSize.h"
#include "engine/Engine.h"
#include "index/IndexCursor.h"
#include "index/IndexFile.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

// An index file with one integer primary index holding keys 1..size.
class QuireSide {
 public:
  QuireSide(const std::string& folder, std::uint32_t size) {
    quire::TIndexDefinition primary;
    primary.FieldCount = 1;
    primary.FieldNumbers[0] = 1;
    const quire::TIndexField fields[] = {quire::TIndexField{1, "Id", 6, 0, 4}};
    file_.SetFileName(folder + "/cursor" + std::to_string(size) + ".DAT");
    file_.SetExclusive(true);
    file_.Create();
    file_.DefinePrimaryIndex(primary, fields);
    const quire::TKeyField keyFields[] = {{1, 6, 0, 4, 9}};
    file_.SetKeyFields(keyFields);
    for (std::uint32_t n = 1; n <= size; ++n) file_.InsertKey(Key(n), n);
    // The cursor reads pages from the file.
    file_.Flush();
    file_.WriteHeader();
  }
  ~QuireSide() { file_.Close(); }

  std::vector<std::uint8_t> Key(std::uint32_t n) const {
    std::vector<std::uint8_t> record(9 + 1 + 4, 0);
    record[9] = 1;
    std::memcpy(record.data() + 10, &n, 4);
    std::vector<std::uint8_t> key(file_.KeySize());
    file_.BuildKey(record, key);
    return key;
  }

  std::uint32_t Jump(std::int32_t position) {
    Check(cursor_.JumpTo(position) == quire::TMoveResult::Ok, "jump");
    return cursor_.Record();
  }

  std::int32_t Count(std::uint32_t from, std::uint32_t to) {
    std::int32_t count = 0;
    Check(
        cursor_.CountBetween(Key(from), Key(to), file_.KeySize(), count) == quire::TMoveResult::Ok,
        "count");
    return count;
  }

 private:
  quire::TIndexFile file_;
  quire::TIndexCursor cursor_{file_, nullptr};
};

// A table with an index on k holding 1..size.
class SqliteSide {
 public:
  SqliteSide(const std::string& folder, std::uint32_t size) {
    const std::string path = folder + "/cursor" + std::to_string(size) + ".sqlite";
    Check(sqlite3_open(path.c_str(), &db_) == SQLITE_OK, "sqlite open");
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(db_, "CREATE TABLE t(id INTEGER PRIMARY KEY, k INTEGER)", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO t(k) VALUES(?)", -1, &insert, nullptr);
    for (std::uint32_t n = 1; n <= size; ++n) {
      sqlite3_bind_int64(insert, 1, n);
      Check(sqlite3_step(insert) == SQLITE_DONE, "sqlite insert");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db_, "COMMIT; CREATE INDEX tk ON t(k)", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, "SELECT k FROM t ORDER BY k LIMIT 1 OFFSET ?", -1, &jump_, nullptr);
    sqlite3_prepare_v2(db_, "SELECT count(*) FROM t WHERE k BETWEEN ? AND ?", -1, &count_, nullptr);
  }
  ~SqliteSide() {
    sqlite3_finalize(jump_);
    sqlite3_finalize(count_);
    sqlite3_close(db_);
  }

  std::int64_t Jump(std::int32_t position) {
    sqlite3_bind_int64(jump_, 1, position - 1);
    Check(sqlite3_step(jump_) == SQLITE_ROW, "sqlite jump");
    const std::int64_t k = sqlite3_column_int64(jump_, 0);
    sqlite3_reset(jump_);
    return k;
  }

  std::int64_t Count(std::uint32_t from, std::uint32_t to) {
    sqlite3_bind_int64(count_, 1, from);
    sqlite3_bind_int64(count_, 2, to);
    Check(sqlite3_step(count_) == SQLITE_ROW, "sqlite count");
    const std::int64_t n = sqlite3_column_int64(count_, 0);
    sqlite3_reset(count_);
    return n;
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* jump_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
};

struct Probe {
  std::int32_t position;
  std::uint32_t from;
  std::uint32_t to;
};

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  if (argc > 1) {
    folder = argv[1];
  } else {
    char pattern[] = "/tmp/quire-cursor-bench-XXXXXX";
    folder = mkdtemp(pattern);
  }
  quire::StartEngine();
  std::printf("%9s %-11s %13s %13s %8s\n", "keys", "operation", "Quire us/op", "SQLite us/op",
              "ratio");
  for (const std::uint32_t size : bench::Sizes({10000u, 100000u, 1000000u}, {1000u, 3000u})) {
    QuireSide quireSide(folder, size);
    SqliteSide sqliteSide(folder, size);
    std::mt19937 random(size);
    std::vector<Probe> probes(bench::Size(2000, 100));
    for (Probe& p : probes) {
      p.position = static_cast<std::int32_t>(random() % size) + 1;
      p.from = static_cast<std::uint32_t>(random() % size) + 1;
      p.to = p.from + static_cast<std::uint32_t>(random() % (size - p.from + 1));
    }
    // SQLite walks to an offset and over a range, so it gets fewer probes.
    std::size_t sqliteProbes = size >= 1000000u ? 40 : size >= 100000u ? 200 : 2000;
    sqliteProbes = std::min(sqliteProbes, probes.size());

    // Both sides must agree before their times mean anything.
    for (std::size_t i = 0; i < 20; ++i) {
      Check(quireSide.Jump(probes[i].position) == sqliteSide.Jump(probes[i].position),
            "jumps disagree");
      Check(quireSide.Count(probes[i].from, probes[i].to) ==
                sqliteSide.Count(probes[i].from, probes[i].to),
            "counts disagree");
    }
    std::uint64_t sink = 0;
    const double quireJump = Seconds([&] {
                               for (const Probe& p : probes) sink += quireSide.Jump(p.position);
                             }) /
                             static_cast<double>(probes.size());
    const double sqliteJump =
        Seconds([&] {
          for (std::size_t i = 0; i < sqliteProbes; ++i)
            sink += static_cast<std::uint64_t>(sqliteSide.Jump(probes[i].position));
        }) /
        static_cast<double>(sqliteProbes);
    const double quireCount = Seconds([&] {
                                for (const Probe& p : probes)
                                  sink += static_cast<std::uint64_t>(quireSide.Count(p.from, p.to));
                              }) /
                              static_cast<double>(probes.size());
    const double sqliteCount =
        Seconds([&] {
          for (std::size_t i = 0; i < sqliteProbes; ++i)
            sink += static_cast<std::uint64_t>(sqliteSide.Count(probes[i].from, probes[i].to));
        }) /
        static_cast<double>(sqliteProbes);
    std::printf("%9u %-11s %13.2f %13.2f %8.4f\n", size, "jump", quireJump * 1e6, sqliteJump * 1e6,
                quireJump / sqliteJump);
    std::printf("%9u %-11s %13.2f %13.2f %8.4f\n", size, "range count", quireCount * 1e6,
                sqliteCount * 1e6, quireCount / sqliteCount);
    if (sink == 0) std::printf("(no keys)\n");
  }
  quire::StopEngine();
  if (argc <= 1) std::filesystem::remove_all(folder);
  return 0;
}
