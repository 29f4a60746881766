// Disconnecting a database while its datasets are busy with it: a database
// the session made that the closing would free, and datasets that are in
// the database's list without being open.

#include <gtest/gtest.h>

#include <string>

#include "access/Database.h"
#include "access/Query.h"
#include "access/Session.h"
#include "access/Table.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::CreateSongTable;
using testing::DumpCodes;
using testing::TCatalogFolder;
using testing::UniqueName;

TEST(DatabaseDrop, DisconnectingADatabaseTheSessionMadeClosesItsTableWithoutFreeingIt) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Dropping"));
  session.SetKeepConnections(false);
  TQuireTable song;
  TQuireTable list;
  for (TQuireTable* table : {&song, &list}) {
    table->SetSessionName(session.SessionName());
    table->SetDatabaseName(folder.Path(""));
    table->SetTableName("Song.DAT");
    table->Open();
  }
  ASSERT_NE(song.Database(), nullptr);
  TQuireDatabase& made = *song.Database();
  ASSERT_TRUE(made.Temporary());
  ASSERT_FALSE(made.KeepConnection());
  ASSERT_EQ(made.DataSets().size(), 2u);

  // Closing the last table gives back the last use; the database stays
  // until the disconnect is over (the sanitiser reports a freed one).
  made.SetConnected(false);
  EXPECT_FALSE(song.Active());
  EXPECT_FALSE(list.Active());
  EXPECT_EQ(song.Database(), nullptr);
  EXPECT_FALSE(made.Connected());
  EXPECT_TRUE(made.DataSets().empty());
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &made);

  // The next table takes it again, and its last close frees it as usual.
  song.Open();
  EXPECT_EQ(song.Database(), &made);
  EXPECT_TRUE(made.Connected());
  song.Close();
  EXPECT_TRUE(session.Databases().empty());
}

TEST(DatabaseDrop, APasswordHandlerDisconnectingTheDatabaseFailsTheOpeningTable) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"), "secret");
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("DropInPrompt"));
  TQuireDatabase database(&session);
  database.SetDatabaseName(UniqueName("Songs"));
  database.SetDirectory(folder.Path(""));
  TQuireTable table;
  table.SetSessionName(session.SessionName());
  table.SetDatabaseName(database.DatabaseName());
  table.SetTableName("Song.DAT");
  int asked = 0;
  // The opening table is in the database's list without being open yet.
  session.OnPassword = [&](TQuireSession&, bool& again) {
    ++asked;
    EXPECT_EQ(database.DataSets().size(), 1u);
    database.SetConnected(false);
    again = false;
  };
  EXPECT_EQ(CodeOf([&] { table.Open(); }), 10498);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
  EXPECT_FALSE(database.Connected());
  EXPECT_TRUE(database.DataSets().empty());

  // A closed table reading its definitions lets go of it the same way.
  database.SetConnected(true);
  EXPECT_EQ(CodeOf([&] { table.FieldDefs(); }), 10498);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(database.Connected());
  EXPECT_TRUE(database.DataSets().empty());

  // With the password the table opens through the database again.
  session.OnPassword = nullptr;
  session.RegisterPassword("secret");
  table.Open();
  EXPECT_EQ(table.Database(), &database);
  EXPECT_TRUE(database.Connected());
}

TEST(DatabaseDrop, AProgressHandlerDisconnectingTheDatabaseLetsRunSqlFinish) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  {
    TQuireTable table;
    table.SetDatabaseName(folder.Name());
    table.SetTableName("Song.DAT");
    table.Open();
    for (const char* code : {"A1", "A2", "B1"}) {
      table.Append();
      table.FieldByName("Code").SetAsString(code);
      table.Post();
    }
  }
  TQuireQuery query;
  query.SetDatabaseName(folder.Name());
  query.AddSQL("Delete from Song where Code <> 'A2'");
  int reports = 0;
  query.OnQueryProgress = [&](TQuireQuery&, std::int32_t, std::uint16_t, bool&) {
    if (reports++ == 0) {
      EXPECT_EQ(folder.Database().DataSets().size(), 1u);
      folder.Database().SetConnected(false);
    }
  };
  query.RunSQL();
  EXPECT_GT(reports, 0);
  EXPECT_EQ(query.RowsAffected(), 2);
  EXPECT_EQ(query.Database(), nullptr);
  EXPECT_FALSE(folder.Database().Connected());
  EXPECT_TRUE(folder.Database().DataSets().empty());
  EXPECT_EQ(DumpCodes(folder.Path("Song.DAT")), std::vector<std::string>{"A2"});

  // The next run connects it again and gives its use back.
  query.OnQueryProgress = nullptr;
  query.ClearSQL();
  query.AddSQL("Delete from Song");
  query.RunSQL();
  EXPECT_TRUE(folder.Database().Connected());
  EXPECT_TRUE(folder.Database().DataSets().empty());
  EXPECT_TRUE(DumpCodes(folder.Path("Song.DAT")).empty());
}

}  // namespace
}  // namespace quire
