// Blob values written and read through TBlobFile, beside SQLite storing the
// same values as BLOBs in the same run. Values of 1 KB, 64 KB and 4 MB; each
// side writes every value (one post, or one insert, each), flushes, then
// reads every value back. Prints MB/s for both (Quire plain and encrypted)
// and the ratio of plain Quire MB/s to SQLite MB/s (above 1: Quire faster).
//
// Usage: blob_bench [FOLDER]   (default: a fresh folder under /tmp)

#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSize.h"
#include "blob/BlobFile.h"
#include "engine/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* name;
  std::size_t size;
  int count;
};

// About 32 MB of values per case in a measuring run.
std::vector<Case> Cases() {
  return {{"1 KB", 1024, bench::Size(32000, 1000)},
          {"64 KB", 65536, bench::Size(500, 50)},
          {"4 MB", 4 << 20, bench::Size(8, 2)}};
}

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::uint8_t> Value(std::size_t size, int seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

struct Timing {
  double write = 0;
  double read = 0;
};

Timing RunQuire(const std::string& folder, const Case& c, bool encrypted) {
  quire::TBlobFile file;
  file.SetFileName(folder + "/quire_" + std::to_string(c.size) + (encrypted ? "e" : ""));
  file.SetExclusive(true);
  file.SetEncrypted(encrypted);
  file.SetBlockSize(512);
  file.Create();
  const auto value = Value(c.size, 1);
  std::vector<std::int32_t> references;
  Timing timing;
  timing.write = Seconds([&] {
    for (int i = 0; i < c.count; ++i) {
      quire::TBlobHandle handle = 0;
      Check(file.OpenValue(0, 1, static_cast<std::uint32_t>(i + 1), handle) == 0, "open");
      Check(file.WriteValue(handle, 0, static_cast<std::uint32_t>(value.size()), value.data()) == 0,
            "write");
      references.push_back(file.WriteModifiedValues().front().firstBlock);
      file.CloseAllValues();
    }
    file.FlushBlocks();
    file.WriteHeader();
    file.Flush();
  });
  file.Close();
  file.Open();  // a cold cache: every block comes from the file
  std::vector<std::uint8_t> out(c.size);
  timing.read = Seconds([&] {
    for (int i = 0; i < c.count; ++i) {
      quire::TBlobHandle handle = 0;
      Check(file.OpenValue(references[static_cast<std::size_t>(i)], 1,
                           static_cast<std::uint32_t>(i + 1), handle) == 0,
            "open");
      std::uint32_t copied = 0;
      Check(file.ReadValue(handle, 0, static_cast<std::uint32_t>(c.size), out.data(), copied) == 0,
            "read");
      std::int32_t ignored = 0;
      file.CloseValue(handle, ignored);
    }
  });
  Check(out == value, "read back differs");
  file.Close();
  return timing;
}

Timing RunSqlite(const std::string& folder, const Case& c) {
  sqlite3* db = nullptr;
  const std::string path = folder + "/sqlite_" + std::to_string(c.size) + ".db";
  Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite open");
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, v BLOB)", nullptr, nullptr, nullptr);
  const auto value = Value(c.size, 1);
  Timing timing;
  timing.write = Seconds([&] {
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(id, v) VALUES(?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < c.count; ++i) {
      // One transaction per value, as each post is one change.
      sqlite3_bind_int(insert, 1, i + 1);
      sqlite3_bind_blob(insert, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
      Check(sqlite3_step(insert) == SQLITE_DONE, "sqlite insert");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_wal_checkpoint(db, nullptr);
  });
  sqlite3_close(db);
  Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite reopen");
  std::vector<std::uint8_t> out(c.size);
  timing.read = Seconds([&] {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT v FROM t WHERE id = ?", -1, &select, nullptr);
    for (int i = 0; i < c.count; ++i) {
      sqlite3_bind_int(select, 1, i + 1);
      Check(sqlite3_step(select) == SQLITE_ROW, "sqlite select");
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(select, 0));
      out.assign(bytes, bytes + sqlite3_column_bytes(select, 0));
      sqlite3_reset(select);
    }
    sqlite3_finalize(select);
  });
  Check(out == value, "sqlite read back differs");
  sqlite3_close(db);
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  if (argc > 1) {
    folder = argv[1];
    std::filesystem::create_directories(folder);
  } else {
    char pattern[] = "/tmp/blob-bench-XXXXXX";
    Check(::mkdtemp(pattern) != nullptr, "mkdtemp");
    folder = pattern;
  }
  quire::StartEngine();
  std::printf("%-6s %-9s %12s %12s %12s %8s\n", "value", "operation", "Quire MB/s", "encr. MB/s",
              "SQLite MB/s", "ratio");
  for (const Case& c : Cases()) {
    const double megabytes = static_cast<double>(c.size) * c.count / (1024.0 * 1024.0);
    const Timing plain = RunQuire(folder, c, false);
    const Timing encrypted = RunQuire(folder, c, true);
    const Timing sqlite = RunSqlite(folder, c);
    const auto row = [&](const char* op, double q, double e, double s) {
      std::printf("%-6s %-9s %12.1f %12.1f %12.1f %8.2f\n", c.name, op, megabytes / q,
                  megabytes / e, megabytes / s, s / q);
    };
    row("write", plain.write, encrypted.write, sqlite.write);
    row("read", plain.read, encrypted.read, sqlite.read);
  }
  quire::StopEngine();
  if (argc <= 1) std::filesystem::remove_all(folder);
  return 0;
}
