// Two programs changing one table at the same time: each inserts, modifies
// and deletes its own rows through the locks, and afterwards every index
// holds exactly one entry per live record and the table holds exactly the
// rows both programs say it should.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/FileBytes.h"
#include "index/IndexVerifier.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::Field;
using testing::Index;
using testing::Request;

constexpr int kOperations = 500;

std::vector<std::uint8_t> Row(TDataFile& table, std::int32_t code, std::int32_t value) {
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  table.InitRecord(buffer);
  table.SetField(true, 1, buffer, &code, 4);
  const std::string name = "n" + std::to_string(value % 37);
  table.SetField(true, 2, buffer, name.data(), name.size());
  table.SetField(true, 3, buffer, &value, 4);
  return buffer;
}

// One program's share of the work: codes worker*100000 + i. Returns the rows
// it left (code -> value) through `log`.
void Work(const std::string& path, int worker, const std::string& log) {
  TDataFile table;
  table.SetFileName(path);
  table.SetLockRetryCount(200);
  table.SetLockWaitTime(5);
  table.Open();
  std::mt19937 random(static_cast<unsigned>(worker * 7919));
  std::map<std::int32_t, std::int32_t> rows;
  std::int32_t next = worker * 100000;
  auto buffer = table.NewRecordBuffer();
  for (int op = 0; op < kOperations; ++op) {
    const int kind = rows.size() < 5 ? 0 : static_cast<int>(random() % 4);
    if (kind <= 1) {
      const std::int32_t value = static_cast<std::int32_t>(random() % 1000);
      auto row = Row(table, next, value);
      table.InsertRecord(row);
      rows[next++] = value;
      continue;
    }
    auto it = rows.begin();
    std::advance(it, static_cast<long>(random() % rows.size()));
    table.SelectIndex("");
    auto search = Row(table, it->first, 0);
    if (!table.FindKey(search, buffer)) throw std::runtime_error("row lost");
    if (kind == 2) {
      const std::int32_t value = static_cast<std::int32_t>(random() % 1000);
      table.SetField(true, 3, buffer, &value, 4);
      const std::string name = "n" + std::to_string(value % 37);
      table.SetField(true, 2, buffer, name.data(), name.size());
      table.ModifyRecord(buffer);
      it->second = value;
    } else {
      table.DeleteRecord();
      rows.erase(it);
    }
  }
  table.Close();
  std::ofstream out(log);
  for (const auto& [code, value] : rows) out << code << ' ' << value << '\n';
}

TEST(RecordSharing, TwoProcessesChangeOneTableAndEveryIndexStaysExact) {
  testing::EngineScope engine;
  testing::ScratchDir dir;
  auto request = Request({Field("Code", ftype::Integer), Field("Name", ftype::String, 8),
                          Field("Value", ftype::Integer)});
  request.Primary = Index("", {1});
  request.Secondary.push_back(Index("ByName", {2}));
  request.Secondary.push_back(Index("ByValue", {3, 1}, true));
  testing::CreateTable(dir.Path("t"), request);

  std::vector<pid_t> children;
  for (int worker = 1; worker <= 2; ++worker) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child opens the table itself, after the fork.
      int status = 0;
      try {
        Work(dir.Path("t"), worker, dir.Path("log" + std::to_string(worker)));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "worker %d: %s\n", worker, e.what());
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a worker failed";
  }

  std::map<std::int32_t, std::int32_t> expected;
  for (int worker = 1; worker <= 2; ++worker) {
    std::ifstream log(dir.Path("log" + std::to_string(worker)));
    std::int32_t code = 0, value = 0;
    while (log >> code >> value) expected[code] = value;
  }

  TDataFile table;
  table.SetFileName(dir.Path("t"));
  table.Open();
  std::map<std::int32_t, std::int32_t> found;
  std::set<std::uint32_t> live;
  table.SelectIndex(kPhysicalOrder);
  auto buffer = table.NewRecordBuffer();
  table.First();
  while (table.GetNextRecord(buffer) == 0) {
    std::uint8_t code[4], value[4];
    table.GetField(true, 1, buffer, code);
    table.GetField(true, 3, buffer, value);
    found[bytes::Get<std::int32_t>(code, 0)] = bytes::Get<std::int32_t>(value, 0);
    live.insert(table.CurrentRecordNumber());
  }
  EXPECT_EQ(found, expected);
  EXPECT_EQ(table.IndexFile().RecordCount(), static_cast<std::int32_t>(live.size()));
  const std::size_t slotCount = static_cast<std::size_t>(table.SlotCount());
  table.Close();

  TFileHandler file;
  file.SetFileName(dir.Path("t.IDX"));
  file.Open();
  TIndexVerifier verifier(file, false);
  const TIndexCheck whole = verifier.VerifyFile();
  for (const auto& fault : whole.faults) ADD_FAILURE() << fault.Line();
  for (const std::uint8_t index : {0, 1, 2}) {
    std::multiset<std::uint32_t> records;
    const TIndexCheck check = verifier.VerifyIndex(
        index,
        [&](std::span<const std::uint8_t>, std::uint32_t record) { records.insert(record); });
    for (const auto& fault : check.faults) ADD_FAILURE() << fault.Line();
    EXPECT_EQ(records, std::multiset<std::uint32_t>(live.begin(), live.end()))
        << "index " << int(index);
  }
  // "Sys Deleted": one entry per slot, live ones with flag 0.
  std::set<std::uint32_t> liveInSysDeleted;
  std::size_t slots = 0;
  verifier.VerifyIndex(31, [&](std::span<const std::uint8_t> key, std::uint32_t record) {
    ++slots;
    if (key[0] == 0) liveInSysDeleted.insert(record);
  });
  EXPECT_EQ(liveInSysDeleted, live);
  EXPECT_EQ(slots, slotCount);
}

}  // namespace
}  // namespace quire
