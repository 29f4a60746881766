// Connecting moves a database to the session its SessionName names; its
// name must be free there.

#include <gtest/gtest.h>

#include <string>

#include "access/Database.h"
#include "access/Session.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;
using testing::UniqueName;

TEST(DatabaseMove, ANameTakenInTheNamedSessionFailsTheConnect) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Target"));
  const std::string name = UniqueName("Songs");
  TQuireDatabase resident(&session);
  resident.SetDatabaseName(name);

  TQuireDatabase mover;  // on the default session
  mover.SetDatabaseName(name);
  mover.SetSessionName(session.SessionName());
  EXPECT_EQ(DatabaseErrorOf([&] { mover.SetConnected(true); }),
            "Database name " + name + " already exists.");
  EXPECT_FALSE(mover.Connected());
  // Refused before it moved: it is still the default session's.
  EXPECT_EQ(mover.Session(), &TQuireSessionList::Instance().DefaultSession());
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &resident);

  // Both sharing handles may have the name.
  resident.SetHandleShared(true);
  mover.SetHandleShared(true);
  mover.SetConnected(true);
  EXPECT_TRUE(mover.Connected());
  EXPECT_EQ(mover.Session(), &session);
  EXPECT_EQ(session.Databases().size(), 2u);
  mover.SetConnected(false);
}

TEST(DatabaseMove, AnUnusedDatabaseTheSessionMadeGivesWay) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Target"));
  const std::string name = UniqueName("Songs");
  TQuireDatabase& made = session.AcquireDatabase(name, nullptr);
  session.ReleaseDatabase(made);
  ASSERT_EQ(session.Databases().size(), 1u);

  TQuireDatabase mover;
  mover.SetDatabaseName(name);
  mover.SetSessionName(session.SessionName());
  mover.SetConnected(true);
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &mover);
  EXPECT_EQ(&session.AcquireDatabase(name, nullptr), &mover);
  session.ReleaseDatabase(mover);

  // One still in use does not.
  const std::string busyName = UniqueName("Busy");
  TQuireDatabase& busy = session.AcquireDatabase(busyName, nullptr);
  TQuireDatabase blocked;
  blocked.SetDatabaseName(busyName);
  blocked.SetSessionName(session.SessionName());
  EXPECT_EQ(DatabaseErrorOf([&] { blocked.SetConnected(true); }),
            "Database name " + busyName + " already exists.");
  EXPECT_FALSE(blocked.Connected());
  session.ReleaseDatabase(busy);
  mover.SetConnected(false);
}

}  // namespace
}  // namespace quire
