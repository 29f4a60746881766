// Index trees at one million keys: inserts, exact finds and deletes in random
// order, reported as keys per second. Two key shapes: a 4-byte integer (K = 5,
// uncompressed) and a 20-character text (K = 22, both compressions). The file
// is on disk and opened exclusively, as a table opened for sole use would be;
// inserts and deletes include writing every page and the header at the end.
//
// Beside each, SQLite does the same work with the same key bytes in the same
// order: a WITHOUT ROWID table keyed by the key, prepared statements, one
// transaction for all inserts and one for all deletes (our exclusive file
// writes once at the end too), synchronous=OFF.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSize.h"
#include "index/IndexFile.h"

namespace {

using quire::TIndexFile;

const std::size_t kKeys = bench::Size<std::size_t>(1000000, 5000);

enum KeyShape { kInteger = 0, kText = 1 };

struct Bench {
  std::string dir;
  TIndexFile file;
  std::vector<std::vector<std::uint8_t>> keys;  // in insertion (random) order

  explicit Bench(KeyShape shape) {
    char pattern[] = "/tmp/quire-bench-XXXXXX";
    dir = mkdtemp(pattern);
    quire::TIndexDefinition primary;
    primary.FieldCount = 1;
    primary.FieldNumbers[0] = 1;
    primary.Compression = shape == kText ? 3 : 0;
    const quire::TIndexField fields[] = {shape == kText ? quire::TIndexField{1, "Name", 1, 0, 21}
                                                        : quire::TIndexField{1, "Id", 6, 0, 4}};
    file.SetFileName(dir + "/Bench.DAT");
    file.SetExclusive(true);
    file.Create();
    file.DefinePrimaryIndex(primary, fields);
    const quire::TKeyField keyFields[] = {{1, fields[0].FieldType, 0, fields[0].DataSize, 9}};
    file.SetKeyFields(keyFields);

    std::vector<std::uint32_t> order(kKeys);
    std::iota(order.begin(), order.end(), 1u);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    std::vector<std::uint8_t> record(9 + 1 + 21, 0);
    record[9] = 1;
    keys.reserve(kKeys);
    for (std::uint32_t n : order) {
      std::memset(record.data() + 10, 0, 21);
      if (shape == kText) {
        // Catalogue-like names: a common stem and a number.
        std::snprintf(reinterpret_cast<char*>(record.data() + 10), 21, "SONG %010u", n);
      } else {
        std::memcpy(record.data() + 10, &n, 4);
      }
      std::vector<std::uint8_t> key(file.KeySize());
      file.BuildKey(record, key);
      keys.push_back(std::move(key));
    }
  }
  ~Bench() {
    file.Close();
    std::filesystem::remove_all(dir);
  }
  void InsertAll() {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      file.InsertKey(keys[i], static_cast<std::uint32_t>(i + 1));
    }
    file.Flush();
    file.WriteHeader();
  }
};

void BM_Insert(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Bench bench(static_cast<KeyShape>(state.range(0)));
    state.ResumeTiming();
    bench.InsertAll();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

void BM_FindExact(benchmark::State& state) {
  Bench bench(static_cast<KeyShape>(state.range(0)));
  bench.InsertAll();
  std::vector<std::size_t> order(kKeys);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::size_t found = 0;
  for (auto _ : state) {
    for (std::size_t i : order) found += bench.file.FindExact(bench.keys[i]) ? 1 : 0;
  }
  if (found != state.iterations() * kKeys) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

void BM_Delete(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Bench bench(static_cast<KeyShape>(state.range(0)));
    bench.InsertAll();
    std::vector<std::size_t> order(kKeys);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(9));
    state.ResumeTiming();
    for (std::size_t i : order) bench.file.DeleteKey(bench.keys[i]);
    bench.file.Flush();
    bench.file.WriteHeader();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

// The same keys in a SQLite table of its own.
struct SqliteBench {
  Bench keysOnly;
  sqlite3* db = nullptr;

  explicit SqliteBench(KeyShape shape) : keysOnly(shape) {
    const std::string path = keysOnly.dir + "/bench.sqlite";
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
    Exec("CREATE TABLE t (k BLOB PRIMARY KEY, r INTEGER) WITHOUT ROWID;");
  }
  ~SqliteBench() { sqlite3_close(db); }
  void Exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) std::abort();
    return statement;
  }
  // Runs `statement` once per key in `order`: the key is ?1 and, where the
  // statement has one, the record number ?2.
  std::size_t RunPerKey(sqlite3_stmt* statement, const std::vector<std::size_t>& order,
                        int expected) {
    std::size_t matched = 0;
    for (std::size_t i : order) {
      const auto& key = keysOnly.keys[i];
      sqlite3_bind_blob(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      if (sqlite3_bind_parameter_count(statement) > 1)
        sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(i + 1));
      if (sqlite3_step(statement) == expected) ++matched;
      sqlite3_reset(statement);
    }
    return matched;
  }
  void InsertAll() {
    std::vector<std::size_t> order(kKeys);
    std::iota(order.begin(), order.end(), 0);
    sqlite3_stmt* insert = Prepare("INSERT INTO t VALUES (?1, ?2)");
    Exec("BEGIN");
    RunPerKey(insert, order, SQLITE_DONE);
    Exec("COMMIT");
    sqlite3_finalize(insert);
  }
};

std::vector<std::size_t> Shuffled(unsigned seed) {
  std::vector<std::size_t> order(kKeys);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  return order;
}

void BM_SqliteInsert(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    SqliteBench bench(static_cast<KeyShape>(state.range(0)));
    state.ResumeTiming();
    bench.InsertAll();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

void BM_SqliteFindExact(benchmark::State& state) {
  SqliteBench bench(static_cast<KeyShape>(state.range(0)));
  bench.InsertAll();
  const std::vector<std::size_t> order = Shuffled(7);
  sqlite3_stmt* find = bench.Prepare("SELECT r FROM t WHERE k = ?1");
  std::size_t found = 0;
  for (auto _ : state) found += bench.RunPerKey(find, order, SQLITE_ROW);
  sqlite3_finalize(find);
  if (found != state.iterations() * kKeys) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

void BM_SqliteDelete(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    SqliteBench bench(static_cast<KeyShape>(state.range(0)));
    bench.InsertAll();
    const std::vector<std::size_t> order = Shuffled(9);
    sqlite3_stmt* erase = bench.Prepare("DELETE FROM t WHERE k = ?1");
    state.ResumeTiming();
    bench.Exec("BEGIN");
    bench.RunPerKey(erase, order, SQLITE_DONE);
    bench.Exec("COMMIT");
    sqlite3_finalize(erase);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeys));
}

BENCHMARK(BM_Insert)->Arg(kInteger)->Arg(kText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindExact)->Arg(kInteger)->Arg(kText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delete)->Arg(kInteger)->Arg(kText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteInsert)->Arg(kInteger)->Arg(kText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteFindExact)
    ->Arg(kInteger)
    ->Arg(kText)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteDelete)->Arg(kInteger)->Arg(kText)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
