// Automatic session names that are refused, and the names the components
// of the owner take from an auto-named session.

#include <gtest/gtest.h>

#include <string>

#include "access/Database.h"
#include "access/Session.h"
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

}  // namespace
}  // namespace quire
