#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "access/Database.h"
#include "access/PasswordDialog.h"
#include "access/Query.h"
#include "access/Session.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::CreateSongTable;
using testing::DumpCodes;
using testing::Raised;
using testing::TCatalogFolder;
using Codes = std::vector<std::string>;

using testing::DatabaseErrorOf;

// A song table with the given codes and a query over its folder.
class QueryTest : public ::testing::Test {
 protected:
  QueryTest() {
    Fill({"A1", "A2", "A3", "10:01"});
    query_.SetDatabaseName(folder_.Name());
  }

  void Fill(const Codes& codes) {
    CreateSongTable(SongPath());
    TQuireTable table;
    table.SetDatabaseName(folder_.Name());
    table.SetTableName("Song.DAT");
    table.Open();
    for (const std::string& code : codes) {
      table.Append();
      table.FieldByName("Code").SetAsString(code);
      table.FieldByName("Name").SetAsString("Song " + code);
      table.Post();
    }
  }

  // As the program runs one statement: close, clear, add the line, run.
  void Run(const std::string& statement) {
    query_.Close();
    query_.ClearSQL();
    query_.AddSQL(statement);
    query_.RunSQL();
  }

  std::string SongPath() const { return folder_.Path("Song.DAT"); }

  TCatalogFolder folder_;
  TQuireQuery query_;
};

TEST_F(QueryTest, TheTextIsTheLinesEachEndedByCrLf) {
  query_.SetSQL({"Delete from Song", "where Code = 'A1'"});
  EXPECT_EQ(query_.EngineText(), "Delete from Song\r\nwhere Code = 'A1'\r\n");
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"10:01", "A2", "A3"}));
}

TEST_F(QueryTest, AQuotedCodeHoldingAColonIsNoParameter) {
  Run("Delete from Song where Code = '10:01'");
  EXPECT_TRUE(query_.Params().empty());
  EXPECT_EQ(query_.EngineText(), "Delete from Song where Code = '10:01'\r\n");
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"A1", "A2", "A3"}));
}

TEST_F(QueryTest, AReferenceBecomesOneParameterAndAMarkerForTheEngine) {
  query_.AddSQL("SELECT * FROM Song WHERE Code = :c");
  ASSERT_EQ(query_.Params().size(), 1u);
  EXPECT_EQ(query_.Params()[0].Name, "c");
  EXPECT_FALSE(query_.Params()[0].Bound);
  EXPECT_EQ(query_.EngineText(), "SELECT * FROM Song WHERE Code = ?\r\n");

  TQuireParam& code = query_.ParamByName("C");
  code.Value = TValue::String("A2");
  code.Bound = true;
  query_.Open();
  EXPECT_TRUE(query_.Active());
  EXPECT_NE(query_.FindField("Name"), nullptr);
}

TEST_F(QueryTest, RunSqlWithAParameterDeletesExactlyTheMatchingRows) {
  query_.AddSQL("DELETE FROM Song WHERE Code = :c");
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No value for parameter 'c'");
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"10:01", "A1", "A2", "A3"}));

  query_.ParamByName("c").SetAsString("A2");
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"10:01", "A1", "A3"}));

  // The value survives a change of the text that keeps the name.
  query_.SetSQL({"DELETE FROM Song", "WHERE Code = :c OR Code = 'A3'"});
  ASSERT_EQ(query_.Params().size(), 1u);
  EXPECT_TRUE(query_.Params()[0].Bound);
  query_.ParamByName("c").Value = TValue::String("A1");
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 2);
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"10:01"}));
}

TEST_F(QueryTest, WithoutParamCheckTheParametersStayAsTheyWere) {
  query_.AddSQL("DELETE FROM Song WHERE Code = :c");
  query_.SetParamCheck(false);
  query_.SetSQL({"DELETE FROM Song WHERE Code = :first OR Code = :second"});
  ASSERT_EQ(query_.Params().size(), 1u);
  EXPECT_EQ(query_.Params()[0].Name, "c");
  // Nor is the text scanned: the engine gets the references as written.
  EXPECT_EQ(query_.EngineText(), "DELETE FROM Song WHERE Code = :first OR Code = :second\r\n");
  // Turned on again, the next change scans.
  query_.SetParamCheck(true);
  query_.SetSQL({"DELETE FROM Song WHERE Code = :first"});
  ASSERT_EQ(query_.Params().size(), 1u);
  EXPECT_EQ(query_.Params()[0].Name, "first");
  EXPECT_EQ(query_.EngineText(), "DELETE FROM Song WHERE Code = ?\r\n");
}

TEST_F(QueryTest, RunSqlOnAnOpenQueryFailsWithoutRunning) {
  query_.AddSQL("SELECT Code FROM Song WHERE Code >= 'A'");
  int progress = 0;
  query_.OnQueryProgress = [&](TQuireQuery&, std::int32_t, std::uint16_t, bool&) { ++progress; };
  query_.Open();
  const int progressAfterOpen = progress;
  ASSERT_EQ(query_.RecordCount(), 3);
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }),
            "Cannot perform this operation on an open dataset");
  EXPECT_EQ(progress, progressAfterOpen);
  // The open result is untouched.
  EXPECT_TRUE(query_.Active());
  query_.First();
  EXPECT_EQ(query_.FieldByName("Code").AsString(), "A1");
  query_.Next();
  EXPECT_EQ(query_.FieldByName("Code").AsString(), "A2");
  EXPECT_EQ(query_.Database(), &folder_.Database());
}

TEST_F(QueryTest, OpeningADeleteRunsItThenFailsForWantOfAResult) {
  query_.AddSQL("Delete from Song where Code = 'A1'");
  EXPECT_EQ(DatabaseErrorOf([&] { query_.Open(); }), "Error creating table handle.");
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(query_.Database(), nullptr);
  EXPECT_TRUE(folder_.Database().DataSets().empty());
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"10:01", "A2", "A3"}));
}

TEST_F(QueryTest, EveryRunSqlPreparesTheStatementAfresh) {
  Run("Delete from Song where Code = 'A1'");
  // The statement let go of the table: it can be opened exclusively.
  {
    TQuireTable exclusive;
    exclusive.SetDatabaseName(folder_.Name());
    exclusive.SetTableName("Song.DAT");
    exclusive.SetExclusive(true);
    exclusive.Open();
    EXPECT_EQ(exclusive.RecordCount(), 3);
  }
  // A new table replaces the file; the same text, run again, must find it
  // rather than the table the first run prepared.
  for (const char* extension : {"Song.DAT", "Song.IDX", "Song.BLB"})
    std::filesystem::remove(folder_.Path(extension));
  Fill({"A1", "B1"});
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(DumpCodes(SongPath()), (Codes{"B1"}));
}

TEST_F(QueryTest, StatementErrorsComeFromTheEngineAndGiveTheDatabaseBack) {
  folder_.Database().SetKeepConnection(false);
  query_.AddSQL("Delete from Song where");
  const testing::TRaised raised = Raised([&] { query_.RunSQL(); });
  EXPECT_EQ(raised.code, 11949);
  EXPECT_EQ(raised.message.rfind("Quire Engine Error # 11949 SQL - ", 0), 0u) << raised.message;
  EXPECT_EQ(query_.Database(), nullptr);
  EXPECT_FALSE(folder_.Database().Connected());  // its last use given back

  query_.SetSQL({"Delete from Nosuch where Code = 'A1'"});
  EXPECT_NE(CodeOf([&] { query_.RunSQL(); }), 0);
  EXPECT_EQ(query_.Database(), nullptr);
}

TEST_F(QueryTest, NoLinesIsNoStatement) {
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No SQL statement available");
  EXPECT_EQ(DatabaseErrorOf([&] { query_.Open(); }), "No SQL statement available");
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(query_.Database(), nullptr);
}

TEST_F(QueryTest, AChangeOfTheTextClosesTheQuery) {
  query_.AddSQL("SELECT Code FROM Song");
  query_.Open();
  ASSERT_TRUE(query_.Active());
  query_.AddSQL("WHERE Code = 'A1'");
  EXPECT_FALSE(query_.Active());
  query_.Open();
  EXPECT_EQ(query_.RecordCount(), 1);
}

TEST_F(QueryTest, ProgressReportsReachOnQueryProgressAndAbortStopsTheStatement) {
  std::vector<std::int32_t> steps;
  query_.OnQueryProgress = [&](TQuireQuery& sender, std::int32_t current, std::uint16_t percent,
                               bool& abort) {
    EXPECT_EQ(&sender, &query_);
    EXPECT_LE(percent, 100);
    steps.push_back(current);
    abort = true;
  };
  Raised([&] { Run("Delete from Song where Name = 'Song A3'"); });  // an abort may raise
  ASSERT_FALSE(steps.empty());
  // Stopped at the first report: not every row was visited and deleted.
  EXPECT_EQ(steps.size(), 1u);
  EXPECT_EQ(query_.Database(), nullptr);
}

// A statement over an encrypted table asks its session for the password
// while it is prepared, through the dialog when there is no OnPassword.
TEST(QueryPassword, TheDialogComesBackAfterAWrongPasswordAndCancelFailsWith10498) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"), "Lyra");
  TQuireSession session("Session1");
  session.SetSessionName(testing::UniqueName("QueryLocked"));
  TQuireDatabase database(&session);
  database.SetDatabaseName(testing::UniqueName("Locked"));
  database.SetDirectory(folder.Path(""));
  TQuireQuery query;
  query.SetSessionName(session.SessionName());
  query.SetDatabaseName(database.DatabaseName());
  query.AddSQL("DELETE FROM Song WHERE Code = 'A1'");

  std::vector<std::pair<std::string, bool>> answers = {{"lyra", true}, {"Nope", false}};
  std::size_t shown = 0;
  const testing::TDialogHostScope host([&](TQuirePasswordDialog& dialog) {
    EXPECT_EQ(&dialog.Session(), &session);
    const auto& [typed, ok] = answers.at(shown++);
    dialog.TextChanged(typed);
    if (ok) dialog.Ok();
    return ok;
  });
  EXPECT_EQ(CodeOf([&] { query.RunSQL(); }), 10498);
  EXPECT_EQ(shown, 2u);  // wrong in letter case: asked again, then cancelled
  EXPECT_TRUE(session.HasPassword("lyra"));
  EXPECT_FALSE(session.HasPassword("Nope"));
  EXPECT_EQ(query.Database(), nullptr);

  answers = {{"Lyra", true}};
  shown = 0;
  query.RunSQL();
  EXPECT_EQ(shown, 1u);
  EXPECT_EQ(query.RowsAffected(), 0);
  query.RunSQL();  // prepared afresh, and the password is known now
  EXPECT_EQ(shown, 1u);
}

}  // namespace
}  // namespace quire
