#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "access/Database.h"
#include "access/Session.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::CreateSongTable;
using testing::TCatalogFolder;
using testing::UniqueName;

using testing::DatabaseErrorOf;

TEST(DatabaseConnect, BeforeConnectRunsOnceUntilDisconnected) {
  TQuireDatabase database;
  database.SetDatabaseName(UniqueName("Songs"));
  EXPECT_EQ(database.SessionName(), "Default");
  EXPECT_TRUE(database.KeepConnection());
  EXPECT_EQ(database.EngineVersion(), "1.21");
  int runs = 0;
  database.BeforeConnect = [&](TQuireDatabase& sender) {
    EXPECT_EQ(&sender, &database);
    EXPECT_FALSE(sender.Connected());
    // The event may still point the database at its folder.
    sender.SetDirectory("/tmp/songs");
    ++runs;
  };
  database.SetConnected(true);
  database.SetConnected(true);
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(database.Directory(), "/tmp/songs");
  database.SetConnected(false);
  database.SetConnected(true);
  EXPECT_EQ(runs, 2);
}

TEST(DatabaseConnect, SettingsOfAConnectedDatabaseAreRefused) {
  TQuireDatabase database;
  database.SetDatabaseName(UniqueName("Songs"));
  database.SetDirectory("/tmp/one");
  database.SetConnected(true);
  const std::string open = "Cannot perform this operation on an open database.";
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDirectory("/tmp/two"); }), open);
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("Other"); }), open);
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetSessionName("Default"); }), open);
  EXPECT_EQ(database.Directory(), "/tmp/one");
  database.SetConnected(false);
  database.SetDirectory("/tmp/two");
  EXPECT_EQ(database.Directory(), "/tmp/two");
}

TEST(DatabaseConnect, NameAndSessionChecksComeAfterBeforeConnect) {
  TQuireDatabase nameless;
  int runs = 0;
  nameless.BeforeConnect = [&](TQuireDatabase&) { ++runs; };
  EXPECT_EQ(DatabaseErrorOf([&] { nameless.SetConnected(true); }), "Database name is missing.");
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(nameless.Connected());

  TQuireDatabase lost;
  lost.SetDatabaseName(UniqueName("Lost"));
  lost.SetSessionName("Nowhere");
  EXPECT_EQ(DatabaseErrorOf([&] { lost.SetConnected(true); }),
            "Session name Nowhere is not valid.");
  EXPECT_FALSE(lost.Connected());
}

TEST(DatabaseConnect, ConnectingMovesTheDatabaseToItsNamedSessionAndActivatesIt) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Moved"));
  TQuireDatabase database;
  EXPECT_EQ(database.Session(), &TQuireSessionList::Instance().DefaultSession());
  database.SetDatabaseName(UniqueName("Songs"));
  database.SetSessionName(session.SessionName());
  database.SetConnected(true);
  EXPECT_EQ(database.Session(), &session);
  EXPECT_TRUE(session.Active());
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &database);
  const auto& defaults = TQuireSessionList::Instance().DefaultSession().Databases();
  EXPECT_EQ(std::count(defaults.begin(), defaults.end(), &database), 0);
}

TEST(DatabaseNames, FolderNamesAndDuplicatesAreRefused) {
  TQuireDatabase database;
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("C:Songs"); }),
            "Database name C:Songs is not valid.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("data/songs"); }),
            "Database name data/songs is not valid.");
  EXPECT_EQ(database.DatabaseName(), "");

  const std::string name = UniqueName("Shared");
  database.SetDatabaseName(name);
  TQuireDatabase second;
  EXPECT_EQ(DatabaseErrorOf([&] { second.SetDatabaseName(name); }),
            "Database name " + name + " already exists.");
  // The check ignores case.
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DatabaseErrorOf([&] { second.SetDatabaseName(lower); }),
            "Database name " + lower + " already exists.");
  // Two databases that both share handles may share the name.
  database.SetHandleShared(true);
  second.SetHandleShared(true);
  second.SetDatabaseName(name);
  EXPECT_EQ(second.DatabaseName(), name);
}

TEST(DatabaseAcquire, AFolderNameMakesADatabaseOfTheSessionForTheTable) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Temporary"));
  session.SetKeepConnections(false);

  TQuireTable table;
  table.SetSessionName(session.SessionName());
  const std::string directory = folder.Path("");
  table.SetDatabaseName(directory);  // a folder, not a database's name
  table.SetTableName("Song.DAT");
  table.Open();
  ASSERT_NE(table.Database(), nullptr);
  TQuireDatabase& made = *table.Database();
  EXPECT_TRUE(made.Temporary());
  EXPECT_TRUE(made.Connected());
  EXPECT_FALSE(made.KeepConnection());  // from the session's KeepConnections
  EXPECT_EQ(made.Directory(), directory);
  ASSERT_EQ(session.Databases().size(), 1u);

  // The last use given back frees a database the session made itself.
  table.Close();
  EXPECT_TRUE(session.Databases().empty());
}

TEST(DatabaseAcquire, AKeptDatabaseStaysConnectedAfterItsLastUse) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  TQuireTable table;
  table.SetDatabaseName(folder.Name());
  table.SetTableName("Song.DAT");
  table.Open();
  EXPECT_EQ(table.Database(), &folder.Database());
  EXPECT_TRUE(folder.Database().Connected());
  ASSERT_EQ(folder.Database().DataSets().size(), 1u);
  table.Close();
  EXPECT_TRUE(folder.Database().DataSets().empty());
  EXPECT_TRUE(folder.Database().Connected());

  // Without KeepConnection it disconnects instead.
  folder.Database().SetKeepConnection(false);
  table.Open();
  table.Close();
  EXPECT_FALSE(folder.Database().Connected());
}

TEST(DatabaseNames, AnUnusedDatabaseTheSessionMadeGivesWayToANewOne) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("GivesWay"));
  const std::string name = UniqueName("Songs");
  TQuireDatabase& made = session.AcquireDatabase(name, nullptr);
  session.ReleaseDatabase(made);  // kept connected, no longer used
  ASSERT_EQ(session.Databases().size(), 1u);

  TQuireDatabase database(&session);
  database.SetDatabaseName(name);
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &database);
  // Datasets asking for the name now get the new one.
  TQuireDatabase& acquired = session.AcquireDatabase(name, nullptr);
  EXPECT_EQ(&acquired, &database);
  session.ReleaseDatabase(acquired);

  // One that is in use does not.
  const std::string busyName = UniqueName("Busy");
  TQuireDatabase& busy = session.AcquireDatabase(busyName, nullptr);
  TQuireDatabase other(&session);
  EXPECT_EQ(DatabaseErrorOf([&] { other.SetDatabaseName(busyName); }),
            "Database name " + busyName + " already exists.");
  session.ReleaseDatabase(busy);
}

TEST(DatabaseDisconnect, DeactivatingTheSessionClosesTablesOfItsOwnDatabases) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Closing"));
  TQuireTable table;
  table.SetSessionName(session.SessionName());
  table.SetDatabaseName(folder.Path(""));
  table.SetTableName("Song.DAT");
  table.Open();
  TQuireTable second;
  second.SetSessionName(session.SessionName());
  second.SetDatabaseName(folder.Path(""));
  second.SetTableName("Song.DAT");
  second.Open();
  EXPECT_EQ(second.Database(), table.Database());
  session.SetActive(false);
  EXPECT_FALSE(table.Active());
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(table.Database(), nullptr);
  EXPECT_TRUE(session.Databases().empty());
}

TEST(DatabaseDisconnect, ClosesItsDatasetsLastFirst) {
  TCatalogFolder folder;
  CreateSongTable(folder.Path("Song.DAT"));
  CreateSongTable(folder.Path("List.DAT"));
  std::vector<std::string> closed;
  TQuireTable song;
  TQuireTable list;
  for (auto [table, name] : {std::pair{&song, "Song.DAT"}, std::pair{&list, "List.DAT"}}) {
    table->SetDatabaseName(folder.Name());
    table->SetTableName(name);
    table->AfterClose = [&closed, name = std::string(name)](TQuireDataSet&) {
      closed.push_back(name);
    };
    table->Open();
  }
  folder.Database().SetConnected(false);
  EXPECT_EQ(closed, (std::vector<std::string>{"List.DAT", "Song.DAT"}));
  EXPECT_FALSE(song.Active());
  EXPECT_FALSE(list.Active());
  EXPECT_TRUE(folder.Database().DataSets().empty());
}

}  // namespace
}  // namespace quire
