// Automatic session names that are refused, and the names the components
// of the owner take from an auto-named session.

#include <gtest/gtest.h>

#include <string>

#include "access/Database.h"
#include "access/Query.h"
#include "access/Session.h"
#include "access/Table.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;
using testing::UniqueName;

// The number part of an automatic name ("Clash_3" gives 3).
int NumberOf(const std::string& name) {
  return std::stoi(name.substr(name.rfind('_') + 1));
}

TEST(SessionAutoNameRefused, ATakenNameLeavesTheFlagOffAndTheNumberFree) {
  const std::string stem = UniqueName("Clash");
  int formX = 0, formY = 0, formZ = 0;
  // X keeps, as a name of its own, the automatic name the lowest free number
  // gives, and frees the number.
  TQuireSession x(stem, &formX);
  x.SetAutoSessionName(true);
  const std::string taken = x.SessionName();
  x.SetAutoSessionName(false);
  x.SetSessionName(taken);

  TQuireSession y(stem, &formY);
  EXPECT_EQ(DatabaseErrorOf([&] { y.SetAutoSessionName(true); }),
            "Session name " + taken + " already exists.");
  EXPECT_FALSE(y.AutoSessionName());
  EXPECT_EQ(y.SessionName(), "");
  // Y may still be named by hand, which an auto-named session may not.
  y.SetSessionName(UniqueName("ByHand"));

  // The number Y was refused is the one the next session takes.
  const std::string other = UniqueName("Other");
  TQuireSession z(other, &formZ);
  z.SetAutoSessionName(true);
  EXPECT_EQ(z.SessionName(), other + "_" + std::to_string(NumberOf(taken)));
}

TEST(SessionAutoNameRefused, ARenameOntoATakenNameKeepsTheComponentName) {
  const std::string stem = UniqueName("Free");
  const std::string busy = UniqueName("Busy");
  int form = 0;
  TQuireSession session(stem, &form);
  TQuireDatabase database(&session, &form);
  session.SetAutoSessionName(true);
  const std::string name = session.SessionName();
  TQuireSession blocker(busy);
  blocker.SetSessionName(busy + "_" + std::to_string(NumberOf(name)));

  EXPECT_EQ(DatabaseErrorOf([&] { session.SetComponentName(busy); }),
            "Session name " + blocker.SessionName() + " already exists.");
  EXPECT_EQ(session.ComponentName(), stem);
  EXPECT_EQ(session.SessionName(), name);
  EXPECT_EQ(database.SessionName(), name);
  EXPECT_TRUE(session.AutoSessionName());

  // An active session is not renamed either, and keeps its component name.
  session.SetActive(true);
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetComponentName("Later"); }),
            "Cannot perform this operation on an active session.");
  EXPECT_EQ(session.ComponentName(), stem);
  session.SetActive(false);
}

TEST(SessionAutoNameOwner, TheOwnersDatabasesAndDatasetsTakeTheName) {
  int form = 0, otherForm = 0;
  TQuireSession session(UniqueName("Search"), &form);
  // Made before the name: on the default session, by the same owner.
  TQuireDatabase database(nullptr, &form);
  TQuireTable table(&form);
  TQuireQuery query(&form);
  TQuireTable stranger(&otherForm);
  TQuireTable ownerless;
  EXPECT_EQ(database.SessionName(), "Default");
  EXPECT_EQ(table.SessionName(), "");

  session.SetAutoSessionName(true);
  const std::string name = session.SessionName();
  EXPECT_EQ(database.SessionName(), name);
  EXPECT_EQ(table.SessionName(), name);
  EXPECT_EQ(query.SessionName(), name);
  EXPECT_EQ(stranger.SessionName(), "");
  EXPECT_EQ(ownerless.SessionName(), "");

  // Made after it: placed on the owner, they take it at once.
  TQuireTable later(&form);
  TQuireDatabase laterDatabase(nullptr, &form);
  EXPECT_EQ(later.SessionName(), name);
  EXPECT_EQ(laterDatabase.SessionName(), name);
  TQuireTable elsewhere(&otherForm);
  EXPECT_EQ(elsewhere.SessionName(), "");

  // A rename of the component renames them all again.
  const std::string component = UniqueName("Reader");
  session.SetComponentName(component);
  const std::string renamed = session.SessionName();
  EXPECT_EQ(renamed.rfind(component + "_", 0), 0u);
  for (const TQuireDBDataSet* dataset :
       {static_cast<TQuireDBDataSet*>(&table), static_cast<TQuireDBDataSet*>(&query),
        static_cast<TQuireDBDataSet*>(&later)})
    EXPECT_EQ(dataset->SessionName(), renamed);
  EXPECT_EQ(database.SessionName(), renamed);
  EXPECT_EQ(laterDatabase.SessionName(), renamed);

  // Turned off, the names stay and new components get none of it.
  session.SetAutoSessionName(false);
  EXPECT_EQ(table.SessionName(), renamed);
  TQuireTable afterwards(&form);
  EXPECT_EQ(afterwards.SessionName(), "");
}

TEST(SessionAutoNameOwner, TheOwnersTableOpensThroughTheAutoNamedSession) {
  testing::TCatalogFolder folder;
  testing::CreateSongTable(folder.Path("Song.DAT"));
  int form = 0;
  TQuireSession session(UniqueName("Reader"), &form);
  session.SetAutoSessionName(true);
  TQuireDatabase database(&session, &form);
  database.SetDatabaseName(UniqueName("Songs"));
  database.SetDirectory(folder.Path(""));
  TQuireTable table(&form);
  table.SetDatabaseName(database.DatabaseName());
  table.SetTableName("Song.DAT");
  table.Open();
  EXPECT_EQ(table.Database(), &database);
  EXPECT_TRUE(session.Active());
  table.Close();
  database.SetConnected(false);
  session.SetActive(false);
}

TEST(SessionAutoNameOwner, AComponentInUseKeepsItsSession) {
  testing::TCatalogFolder folder;
  testing::CreateSongTable(folder.Path("Song.DAT"));
  int form = 0;
  // An open table of the owner, working through the default session.
  TQuireTable table(&form);
  table.SetDatabaseName(folder.Name());
  table.SetTableName("Song.DAT");
  table.Open();
  TQuireSession session(UniqueName("Late"), &form);
  session.SetAutoSessionName(true);
  EXPECT_EQ(table.SessionName(), "");
  EXPECT_TRUE(table.Active());
  table.Close();
}

}  // namespace
}  // namespace quire
