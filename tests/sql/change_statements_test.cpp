// DELETE, UPDATE and INSERT over real tables: what they change, which
// records they visit, progress and abort, locks, and their messages.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FieldTypes.h"
#include "index/IndexFile.h"
#include "sql/ChangeStatements.h"
#include "sql/DataFileStatementTable.h"
#include "sql/DataQuery.h"
#include "sql/OpenTables.h"
#include "support/EngineErrors.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

// A List-shaped table: ID auto-increment (primary), Code string(10),
// Detail string(40), Rank integer; "ByCode" on Code when asked for.
class ChangeStatements : public ::testing::Test {
 protected:
  void MakeTable(const std::string& name, bool codeIndex) {
    TTableCreateRequest request = Request(
        {Field("ID", ftype::Integer, 0, fsubtype::AutoInc), Field("Code", ftype::String, 10),
         Field("Detail", ftype::String, 40), Field("Rank", ftype::Integer)});
    request.Primary = Index("", {1}, true);
    if (codeIndex) request.Secondary.push_back(Index("ByCode", {2}));
    CreateTable(dir_.Path(name), request);
  }

  void Insert(const std::string& name, const std::vector<std::pair<std::string, int>>& rows) {
    TDataFile table;
    table.SetFileName(dir_.Path(name));
    table.Open();
    for (const auto& [code, rank] : rows) {
      std::vector<std::uint8_t> record = table.NewRecordBuffer();
      table.InitRecord(record);
      table.SetField(true, 2, record, code.c_str(), code.size() + 1);
      const std::string detail = "detail of " + code;
      table.SetField(true, 3, record, detail.c_str(), detail.size() + 1);
      table.SetField(true, 4, record, &rank, 4);
      table.InsertRecord(record);
    }
  }

  // The codes of the table's records in ID order, with their ranks.
  std::vector<std::string> Rows(const std::string& name) {
    TDataFile table;
    table.SetFileName(dir_.Path(name));
    table.Open();
    std::vector<std::string> rows;
    std::vector<std::uint8_t> record = table.NewRecordBuffer();
    table.First();
    while (table.GetNextRecord(record) == 0) {
      const TValue code = ReadValue(table.LogicalFields()[1], record);
      const TValue rank = ReadValue(table.LogicalFields()[3], record);
      rows.push_back((code.Null ? "<null>" : code.Text) + ":" +
                     (rank.Null ? "<null>" : std::to_string(rank.Integer)));
    }
    return rows;
  }

  // Parses `text` over the scratch folder's tables, opened writable.
  void Parse(const std::string& text) {
    query_.Settings().DatabaseDirectory = dir_.Path("");
    query_.ParseStatement(text, tables_);
  }
  TDataFileStatementTable& Target() {
    return static_cast<TDataFileStatementTable&>(
        tables_.Table(*query_.Statement().SourceTables.front()));
  }

  // Runs a parsed DELETE, recording the progress calls.
  std::int32_t Delete(const std::string& text, bool abortFirst = false) {
    Parse(text);
    steps_.clear();
    return RunDelete(query_.Statement(), Target(),
                     [&](std::int32_t step, std::int32_t percent, bool& abort) {
                       steps_.push_back({step, percent});
                       if (abortFirst) abort = true;
                     });
  }

  EngineScope engine_;
  ScratchDir dir_;
  TTableOpenSettings settings_{1, 10, false, {}};
  TDataFileTableOpener opener_{settings_};
  TDataQuery query_;
  TOpenTables tables_{opener_, [] { return true; }};
  std::vector<std::pair<std::int32_t, std::int32_t>> steps_;
};

TEST_F(ChangeStatements, DeleteByIndexedCodeVisitsOnlyTheMatchingRecords) {
  MakeTable("List", true);
  Insert("List", {{"A1", 1}, {"B2", 2}, {"A1", 3}, {"C3", 4}, {"A1", 5}, {"B2", 6}});
  EXPECT_EQ(Delete("delete from List where Code = 'A1'"), 3);
  ASSERT_NE(Target().ActiveFilter(), nullptr);
  EXPECT_EQ(Target().ActiveFilter()->Grade(), 0);
  // Only the three matching records were visited, none was tested.
  EXPECT_EQ(steps_.size(), 3u);
  EXPECT_EQ(Target().ActiveFilter()->Statistics().RecordsTested, 0u);
  query_.Statement().Clear();
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"B2:2", "C3:4", "B2:6"}));
}

TEST_F(ChangeStatements, DeleteWithoutAnIndexScansAndDeletesTheSameRecords) {
  MakeTable("List", false);
  Insert("List", {{"A1", 1}, {"B2", 2}, {"A1", 3}, {"C3", 4}, {"A1", 5}, {"B2", 6}});
  EXPECT_EQ(Delete("DELETE FROM List WHERE Code = 'A1'"), 3);
  EXPECT_EQ(Target().ActiveFilter(), nullptr);
  EXPECT_EQ(steps_.size(), 6u);  // every record was read and tested
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"B2:2", "C3:4", "B2:6"}));
}

TEST_F(ChangeStatements, DeleteMatchingNothingDeletesNothing) {
  MakeTable("List", true);
  Insert("List", {{"A1", 1}, {"B2", 2}});
  EXPECT_EQ(Delete("delete from List where Code = 'Z9'"), 0);
  EXPECT_TRUE(steps_.empty());
  tables_.CloseAll();
  EXPECT_EQ(Rows("List").size(), 2u);
}

TEST_F(ChangeStatements, DeleteWithoutWhereReportsEveryRecordInStepsOfOne) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}, {"B", 2}, {"C", 3}, {"D", 4}});
  EXPECT_EQ(Delete("delete from List"), 4);
  ASSERT_EQ(steps_.size(), 4u);
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    EXPECT_EQ(steps_[i].first, static_cast<std::int32_t>(i + 1));
    // The share of the whole table visited, never above 100.
    EXPECT_EQ(steps_[i].second, static_cast<std::int32_t>((i + 1) * 25));
  }
  tables_.CloseAll();
  EXPECT_TRUE(Rows("List").empty());
}

TEST_F(ChangeStatements, AbortInTheFirstProgressCallStopsAfterTheFirstRecord) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}, {"B", 2}, {"C", 3}});
  EXPECT_EQ(Delete("delete from List", /*abortFirst=*/true), 1);
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"B:2", "C:3"}));
}

TEST_F(ChangeStatements, QuotedCodesDeleteExactlyTheirOwnRows) {
  MakeTable("List", true);
  Insert("List", {{"O", 1}, {"O'Neil", 2}, {"ONeil", 3}, {"A\"B:C", 4}});
  EXPECT_EQ(Delete("delete from List where Code = 'O''Neil'"), 1);
  query_.Statement().Clear();
  EXPECT_EQ(Delete("delete from List where Code = ?"), 0);  // the marker has no value yet
  query_.Statement().Parameters[0]->Value = TValue::String("A\"B:C");
  EXPECT_EQ(RunDelete(query_.Statement(), Target(), {}), 1);
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"O:1", "ONeil:3"}));
}

TEST_F(ChangeStatements, ConditionsMixingIndexedAndOtherColumns) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}, {"A", 2}, {"B", 1}, {"B", 2}, {"C", 3}});
  // Only Code is indexed: AND uses the index for Code and tests Rank on
  // its candidates; OR must read everything.
  EXPECT_EQ(Delete("delete from List where Rank = 2 and Code = 'A'"), 1);
  EXPECT_EQ(Target().ActiveFilter()->Grade(), 1);
  EXPECT_EQ(Target().ActiveFilter()->Statistics().RecordsTested, 2u);
  query_.Statement().Clear();
  EXPECT_EQ(Delete("delete from List where Code = 'C' or Rank = 1"), 3);
  EXPECT_EQ(Target().ActiveFilter(), nullptr);
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"B:2"}));
}

TEST_F(ChangeStatements, AnotherUsersRecordLockMakesTheDeleteFailAfterItsRetries) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}, {"B", 2}});
  TDataFile other;
  other.SetFileName(dir_.Path("List"));
  other.Open();
  other.First();
  std::vector<std::uint8_t> record = other.NewRecordBuffer();
  ASSERT_EQ(other.GetNextRecord(record), 0);
  other.LockRecord();
  EXPECT_EQ(CodeOf([&] { Delete("delete from List"); }), 10241);
  // Nothing was deleted, and the statement let go of its lock: once the
  // other user is gone, the same statement runs.
  other.UnlockRecord();
  other.Close();
  EXPECT_EQ(RunDelete(query_.Statement(), Target(), {}), 2);
}

TEST_F(ChangeStatements, UpdateEvaluatesValuesOverEachRecord) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}, {"B", 2}, {"A", 3}});
  Parse("update List set Rank = Rank * 10 + 1, Code = Code || 'x' where Code = 'A'");
  const std::vector<int> targets = ResolveTargetColumns(query_.Statement(), Target());
  EXPECT_EQ(targets, (std::vector<int>{4, 2}));
  EXPECT_EQ(RunUpdate(query_.Statement(), Target(), targets, {}), 2);
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"Ax:11", "B:2", "Ax:31"}));
}

TEST_F(ChangeStatements, UpdateAndInsertMessages) {
  MakeTable("List", true);
  Insert("List", {{"A", 1}});
  const auto messageOf = [&](const std::string& text) {
    return Raised([&] {
             Parse(text);
             const auto targets = ResolveTargetColumns(query_.Statement(), Target());
             if (query_.Statement().Kind == skInsert)
               RunInsert(query_.Statement(), Target(), targets);
             else
               RunUpdate(query_.Statement(), Target(), targets, {});
           })
        .message;
  };
  EXPECT_EQ(messageOf("update List set Nope = 1"),
            "Quire Engine Error # 11949 SQL - Invalid column name 'Nope' or table correlation "
            "name '' specified in table columns");
  EXPECT_EQ(messageOf("insert into List (Code, Rank) values ('x')"),
            "Quire Engine Error # 11949 SQL - The number of values must match the number of "
            "table columns");
  EXPECT_EQ(messageOf("insert into List (Code, Rank) values ('x', 'many')"),
            "Quire Engine Error # 11949 SQL - Type mismatch between column Rank and constant "
            "value 'many' in INSERT statement");
  EXPECT_EQ(messageOf("update List set Rank = 2.5e30"),
            "Quire Engine Error # 11949 SQL - Type mismatch between column Rank and constant "
            "value 2.5e30 in UPDATE statement");
}

TEST_F(ChangeStatements, InsertWithAllColumnsAndWithAList) {
  MakeTable("List", true);
  Parse("insert into List values (0, 'K1', 'first', 7)");
  EXPECT_EQ(
      RunInsert(query_.Statement(), Target(), ResolveTargetColumns(query_.Statement(), Target())),
      1);
  query_.Statement().Clear();
  // A NULL value leaves its column empty; a text converts to a number.
  Parse("insert into List (Rank, Code) values ('12', NULL)");
  EXPECT_EQ(
      RunInsert(query_.Statement(), Target(), ResolveTargetColumns(query_.Statement(), Target())),
      1);
  tables_.CloseAll();
  EXPECT_EQ(Rows("List"), (std::vector<std::string>{"K1:7", "<null>:12"}));
}

}  // namespace
}  // namespace quire::testing
