// The result table of a SELECT: how it is created (exclusive, "Query Result
// Set", encrypted, in memory), where it lies (INTO, the private directory,
// a temporary name deleted when closed), runs that refill it, progress and
// abort, WITH LOCKS and blob columns.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/Engine.h"
#include "engine/FieldTypes.h"
#include "engine/FileSession.h"
#include "support/SelectTesting.h"
#include "tests/engine/support/EngineErrors.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;
namespace fs = std::filesystem;

class SelectResultTable : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Create("t", {{"s", ftype::String, 10}, {"n", ftype::Integer}});
    folder_.Insert("t", {{S("a"), I(1)}, {S("b"), I(2)}, {S("c"), I(3)}});
    CurrentSession().SetPrivateDir(folder_.Path("private"));
    fs::create_directory(folder_.Path("private"));
  }
  void TearDown() override { CurrentSession().SetPrivateDir(""); }

  static std::size_t DataFilesIn(const std::string& dir) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".DAT") ++count;
    return count;
  }

  TSelectFolder folder_;
};

TEST_F(SelectResultTable, TemporaryResultLiesInThePrivateDirectoryUntilClosed) {
  {
    TSelectQuery query(folder_, "SELECT s FROM t");
    TDataFile& result = query.Run();
    EXPECT_EQ(fs::path(result.FileName()).parent_path(), fs::path(folder_.Path("private")));
    EXPECT_EQ(DataFilesIn(folder_.Path("private")), 1u);
    EXPECT_EQ(result.Header().Description, "Query Result Set");
    EXPECT_EQ(result.Header().BlobBlockSize, 512u);
    EXPECT_TRUE(result.Exclusive());
    EXPECT_FALSE(result.Header().IsEncrypted());
  }
  EXPECT_EQ(DataFilesIn(folder_.Path("private")), 0u);
}

TEST_F(SelectResultTable, IntoNamesAFileThatStays) {
  {
    TSelectQuery query(folder_, "SELECT s, n INTO kept FROM t WHERE n > 1");
    query.Run();
    EXPECT_EQ(query.Result().FileName(), folder_.Path("private") + "/kept.DAT");
  }
  EXPECT_TRUE(fs::exists(folder_.Path("private/kept.DAT")));
  const std::string elsewhere = folder_.Path("here.DAT");
  {
    TSelectQuery query(folder_, "SELECT s INTO '" + elsewhere + "' FROM t");
    query.Run();
  }
  EXPECT_TRUE(fs::exists(elsewhere));
  // Without a private directory the current one takes the file.
  CurrentSession().SetPrivateDir("");
  const fs::path before = fs::current_path();
  fs::current_path(folder_.Dir());
  {
    TSelectQuery query(folder_, "SELECT s INTO current FROM t");
    query.Run();
  }
  fs::current_path(before);
  EXPECT_TRUE(fs::exists(folder_.Path("current.DAT")));
}

TEST_F(SelectResultTable, IntoMemoryAndEncrypted) {
  TSelectQuery memory(folder_, "SELECT s INTO MEMORY inmem FROM t");
  memory.Run();
  EXPECT_TRUE(memory.Result().InMemory());
  EXPECT_EQ(memory.Rows(), (Rows{"a", "b", "c"}));
  EXPECT_FALSE(fs::exists(folder_.Path("private/inmem.DAT")));

  TSelectQuery secret(folder_, "SELECT s FROM t ENCRYPTED WITH letmein");
  secret.Run();
  EXPECT_TRUE(secret.Result().Header().IsEncrypted());
  EXPECT_EQ(secret.Result().StoredPassword(), "letmein");
  EXPECT_EQ(secret.Rows(), (Rows{"a", "b", "c"}));
  // The password was there for the creation only.
  EXPECT_FALSE(CurrentSession().TestPassword("letmein"));
}

TEST_F(SelectResultTable, EveryRunRefillsTheResultAndReportsProgressPerRecord) {
  TSelectQuery query(folder_, "SELECT s FROM t WHERE n <> 2");
  std::vector<std::pair<int, int>> calls;
  const auto progress = [&](std::int32_t step, std::int32_t percent, bool&) {
    calls.emplace_back(step, percent);
  };
  query.Run(progress);
  folder_.Insert("t", {{S("d"), I(4)}});
  query.Run(progress);
  EXPECT_EQ(query.Rows(), (Rows{"a", "c", "d"}));
  EXPECT_EQ(query.Execution().RowsAffected(), 3);
  // The whole view of the first table is walked, the condition tested.
  const std::vector<std::pair<int, int>> expected{{1, 33}, {2, 66}, {3, 100}, {1, 25},
                                                  {2, 50}, {3, 75}, {4, 100}};
  EXPECT_EQ(calls, expected);
}

TEST_F(SelectResultTable, ParametersTakeTheValuesTheyHoldWhenTheStatementRuns) {
  TSelectQuery query(folder_, "SELECT s FROM t WHERE n = ? OR n = ?");
  ASSERT_EQ(query.Statement().Parameters.size(), 2u);
  for (const auto& [first, second, rows] :
       {std::tuple{1, 3, Rows{"a", "c"}}, std::tuple{2, 9, Rows{"b"}}}) {
    query.Statement().Parameters[0]->Value = I(first);
    query.Statement().Parameters[1]->Value = I(second);
    query.Run();
    EXPECT_EQ(query.Rows(), rows);
  }
}

TEST_F(SelectResultTable, AnAbortStopsAfterTheCurrentRecord) {
  folder_.Create("u", {{"k", ftype::Integer}});
  folder_.Insert("u", {{I(7)}, {I(8)}});
  TSelectQuery query(folder_, "SELECT t.s, u.k FROM t, u");
  query.Run([](std::int32_t, std::int32_t, bool& abort) { abort = true; });
  EXPECT_EQ(query.Rows(), (Rows{"a|7", "a|8"}));
}

TEST_F(SelectResultTable, WithLocksHoldsEverySourceTablesRecordsForTheRun) {
  TDataFile other;
  other.SetFileName(folder_.Path("t"));
  other.SetLockRetryCount(0);
  other.SetLockWaitTime(1);
  other.Open();
  TSelectQuery query(folder_, "SELECT s FROM t WITH LOCKS");
  TErrorCode during = 0;
  query.Run([&](std::int32_t step, std::int32_t, bool&) {
    if (step == 1) during = CodeOf([&] { other.LockAllRecords(); });
  });
  EXPECT_NE(during, 0);
  EXPECT_EQ(CodeOf([&] { other.LockAllRecords(); }), 0);
  other.UnlockAllRecords();
  // Without WITH LOCKS the run takes none.
  TSelectQuery plain(folder_, "SELECT s FROM t");
  plain.Run([&](std::int32_t step, std::int32_t, bool&) {
    if (step == 1)
      during = CodeOf([&] {
        other.LockAllRecords();
        other.UnlockAllRecords();
      });
  });
  EXPECT_EQ(during, 0);
}

TEST_F(SelectResultTable, BlobColumnsAreCopiedAsBlobs) {
  folder_.Create("m", {{"k", ftype::Integer}, {"memo", ftype::Blob, 0, fsubtype::Memo}});
  {
    TDataFile table;
    table.SetFileName(folder_.Path("m"));
    table.Open();
    for (const std::string& text : {std::string("first lyric"), std::string()}) {
      std::vector<std::uint8_t> record = table.NewRecordBuffer();
      table.InitRecord(record);
      WriteValue(table.LogicalFields()[0], record, I(static_cast<int>(text.size())));
      if (!text.empty()) {
        ASSERT_EQ(table.OpenBlob(2, record), 0);
        ASSERT_EQ(
            table.WriteBlob(2, record, 0, static_cast<std::uint32_t>(text.size()), text.data()), 0);
      }
      table.InsertRecord(record, false);
    }
  }
  TSelectQuery query(folder_, "SELECT memo, k FROM m");
  TDataFile& result = query.Run();
  std::vector<std::uint8_t> record = result.NewRecordBuffer();
  result.First();
  ASSERT_EQ(result.GetNextRecord(record), 0);
  ASSERT_EQ(result.OpenBlob(2, record), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(result.BlobSize(2, record, size), 0);
  std::string text(size, '\0');
  std::uint32_t copied = 0;
  ASSERT_EQ(result.ReadBlob(2, record, 0, size, text.data(), copied), 0);
  EXPECT_EQ(text.substr(0, copied), "first lyric");
  result.CloseBlob(2, record);
  ASSERT_EQ(result.GetNextRecord(record), 0);
  EXPECT_TRUE(ReadValue(result.LogicalFields()[1], record).Null);
}

}  // namespace
}  // namespace quire::testing
