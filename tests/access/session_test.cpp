#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "access/Database.h"
#include "access/PasswordDialog.h"
#include "access/Session.h"
#include "engine/DatabaseError.h"
#include "engine/Engine.h"
#include "engine/FileSession.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;

// How many passwords the session's engine session holds.
std::size_t PasswordCount(TQuireSession& session) {
  const TEngineCall call(session);
  return CurrentSession().Passwords().Count();
}

using testing::UniqueName;

TQuireSessionList& List() {
  return TQuireSessionList::Instance();
}

TEST(SessionList, TheDefaultSessionExistsBeforeAnyComponent) {
  TQuireSession& session = List().DefaultSession();
  ASSERT_FALSE(List().Sessions().empty());
  EXPECT_EQ(List().Sessions().front(), &session);
  EXPECT_EQ(session.SessionName(), "Default");
  EXPECT_TRUE(session.IsDefault());
  EXPECT_EQ(List().FindSession(""), &session);
  EXPECT_EQ(List().FindSession("dEFAULT"), &session);
  EXPECT_EQ(&List().GetSession("DEFAULT"), &session);
  EXPECT_EQ(List().FindSession("Nowhere"), nullptr);
  EXPECT_EQ(DatabaseErrorOf([] { List().GetSession("Nowhere"); }),
            "Session name Nowhere is not valid.");
  EXPECT_EQ(session.EngineVersion(), "1.21");
}

TEST(SessionList, ANameIsUniqueIgnoringCaseAndSessionsSignOff) {
  {
    TQuireSession session("Session1");
    EXPECT_EQ(DatabaseErrorOf([&] { session.SetSessionName("default"); }),
              "Session name default already exists.");
    EXPECT_EQ(session.SessionName(), "");
    session.SetSessionName("Reader");
    TQuireSession other("Session2");
    EXPECT_EQ(DatabaseErrorOf([&] { other.SetSessionName("READER"); }),
              "Session name READER already exists.");
    EXPECT_EQ(List().FindSession("reader"), &session);
    EXPECT_EQ(List().Sessions().back(), &other);  // creation order
  }
  EXPECT_EQ(List().FindSession("Reader"), nullptr);
}

TEST(Session, ActivationNeedsANameAndRunsOnStartupEachTime) {
  TQuireSession session("Session1");
  int startups = 0;
  session.OnStartup = [&](TQuireSession& sender) {
    EXPECT_EQ(&sender, &session);
    ++startups;
  };
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetActive(true); }), "Session name is missing.");
  EXPECT_FALSE(session.Active());
  EXPECT_EQ(startups, 1);

  session.SetSessionName(UniqueName("Worker"));
  session.SetActive(true);
  EXPECT_TRUE(session.Active());
  EXPECT_TRUE(List().DefaultSession().Active());  // activated first
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetSessionName("Other"); }),
            "Cannot perform this operation on an active session.");
  session.SetActive(false);
  session.SetActive(true);
  EXPECT_EQ(startups, 3);
  session.SetActive(false);
  EXPECT_FALSE(session.Active());
}

TEST(Session, PrivateDirReadsBackInUpperCase) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Private"));
  session.SetPrivateDir("/tmp/Work");
  EXPECT_EQ(session.PrivateDir(), "/TMP/WORK");
  session.SetActive(true);  // handed to the engine session on activation
  {
    const TEngineCall call(session);
    EXPECT_EQ(CurrentSession().PrivateDir(), "/tmp/Work");
  }
  // A folder that does not fit the engine's slot fails the activation.
  TQuireSession tooLong("Session2");
  tooLong.SetSessionName(UniqueName("Private"));
  tooLong.SetPrivateDir(std::string(300, 'd'));
  EXPECT_THROW(tooLong.SetActive(true), EQuireEngineError);
  EXPECT_FALSE(tooLong.Active());
}

TEST(SessionPasswords, DuplicatesAndEmptyTextsAreNotAddedAndCaseCounts) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Passwords"));
  session.RegisterPassword("Secret");
  session.RegisterPassword("Secret");
  session.RegisterPassword("");
  EXPECT_EQ(PasswordCount(session), 1u);

  session.UnregisterPassword("secret");  // differs in case only: stays
  EXPECT_TRUE(session.HasPassword("Secret"));
  EXPECT_FALSE(session.HasPassword("SECRET"));
  session.UnregisterPassword("Secret");
  EXPECT_FALSE(session.HasPassword("Secret"));
  EXPECT_EQ(PasswordCount(session), 0u);

  // Only the first 255 characters are kept.
  const std::string longText = std::string(255, 'p') + "tail";
  session.RegisterPassword(longText);
  EXPECT_TRUE(session.HasPassword(std::string(255, 'p')));
  EXPECT_EQ(PasswordCount(session), 1u);

  session.RegisterPassword("one");
  session.RegisterPassword("two");
  session.ClearPasswords();
  EXPECT_EQ(PasswordCount(session), 0u);
}

TEST(SessionPasswords, EachSessionKeepsItsOwnList) {
  TQuireSession first("Session1");
  first.SetSessionName(UniqueName("First"));
  TQuireSession second("Session2");
  second.SetSessionName(UniqueName("Second"));
  first.RegisterPassword("alpha");
  EXPECT_TRUE(first.HasPassword("alpha"));
  EXPECT_FALSE(second.HasPassword("alpha"));
  EXPECT_FALSE(List().DefaultSession().HasPassword("alpha"));
}

TEST(SessionPrompt, OnPasswordStartsWithTheFlagFalseAndAnswersIt) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Prompt"));
  bool answer = false;
  int calls = 0;
  session.OnPassword = [&](TQuireSession& sender, bool& Continue) {
    EXPECT_EQ(&sender, &session);
    EXPECT_FALSE(Continue);
    ++calls;
    Continue = answer;
  };
  EXPECT_FALSE(session.PromptForPassword());
  answer = true;
  EXPECT_TRUE(session.PromptForPassword());
  EXPECT_EQ(calls, 2);

  // Without a handler the dialog is asked, when the program gave one.
  session.OnPassword = nullptr;
  EXPECT_FALSE(session.PromptForPassword());
  int shown = 0;
  const testing::TDialogHostScope host([&](TQuirePasswordDialog& dialog) {
    EXPECT_EQ(&dialog.Session(), &session);
    return ++shown == 2;
  });
  EXPECT_FALSE(session.PromptForPassword());
  EXPECT_TRUE(session.PromptForPassword());
}

TEST(SessionEngineLock, ASessionReentersItAndOtherThreadsWait) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Locking"));
  EXPECT_FALSE(session.Active());
  auto othersCanEnter = [] {
    bool entered = false;
    std::thread other([&] {
      entered = List().Section().try_lock();
      if (entered) List().Section().unlock();
    });
    other.join();
    return entered;
  };

  session.BeginEngineCall();
  EXPECT_TRUE(session.Active());  // the first call activates it
  session.RegisterPassword("mine");
  EXPECT_TRUE(CurrentSession().TestPassword("mine"));  // its session is current
  session.BeginEngineCall();
  session.EndEngineCall();
  EXPECT_FALSE(othersCanEnter());
  session.EndEngineCall();
  EXPECT_TRUE(othersCanEnter());

  // Another session's call makes that one current.
  List().DefaultSession().BeginEngineCall();
  EXPECT_FALSE(CurrentSession().TestPassword("mine"));
  List().DefaultSession().EndEngineCall();
  EXPECT_TRUE(othersCanEnter());
}

TEST(SessionAutoName, NamesFollowTheComponentAndReuseTheLowestFreeNumber) {
  int formA = 0, formB = 0, formC = 0;
  TQuireSession a("Session1", &formA);
  TQuireSession b("Session1", &formB);
  a.SetAutoSessionName(true);
  b.SetAutoSessionName(true);
  EXPECT_EQ(a.SessionName(), "Session1_1");
  EXPECT_EQ(b.SessionName(), "Session1_2");
  EXPECT_TRUE(a.AutoSessionName());

  EXPECT_EQ(DatabaseErrorOf([&] { a.SetSessionName("Manual"); }),
            "Cannot perform this operation on the active auto-session.");
  EXPECT_EQ(DatabaseErrorOf([&] { TQuireSession again("Session2", &formA); }),
            "This auto-session already exists.");

  a.SetComponentName("Reader");
  EXPECT_EQ(a.SessionName(), "Reader_1");

  a.SetAutoSessionName(false);
  TQuireSession c("Session3", &formC);
  c.SetAutoSessionName(true);
  EXPECT_EQ(c.SessionName(), "Session3_1");  // the number a gave back

  {
    // Freeing an auto-named session gives its number back too.
    int formD = 0;
    TQuireSession d("Session4", &formD);
    d.SetAutoSessionName(true);
    EXPECT_EQ(d.SessionName(), "Session4_3");
  }
  int formE = 0;
  TQuireSession e("Session5", &formE);
  e.SetAutoSessionName(true);
  EXPECT_EQ(e.SessionName(), "Session5_3");
}

TEST(SessionAutoName, RefusedWhileActiveOrBesideAnotherSessionOfTheOwner) {
  int form = 0;
  TQuireSession active("Session1", &form);
  active.SetSessionName(UniqueName("Active"));
  active.SetActive(true);
  EXPECT_EQ(DatabaseErrorOf([&] { active.SetAutoSessionName(true); }),
            "Cannot perform this operation on an active session.");
  active.SetActive(false);
  TQuireSession second("Session2", &form);
  EXPECT_EQ(DatabaseErrorOf([&] { second.SetAutoSessionName(true); }),
            "The active auto-session can be the only active session.");
  EXPECT_FALSE(second.AutoSessionName());
}

TEST(SessionAutoName, DatabasesOfTheSessionTakeItsName) {
  int form = 0;
  TQuireSession session("Session1", &form);
  TQuireDatabase database(&session, &form);
  session.SetAutoSessionName(true);
  EXPECT_EQ(database.SessionName(), session.SessionName());
  session.SetComponentName("Renamed");
  EXPECT_EQ(database.SessionName(), "Renamed_1");
}

TEST(SessionDeactivation, FreesItsOwnDatabasesAndDisconnectsTheOthers) {
  TQuireSession session("Session1");
  session.SetSessionName(UniqueName("Closing"));
  TQuireDatabase placed(&session);
  placed.SetDatabaseName(UniqueName("Placed"));
  placed.SetConnected(true);
  EXPECT_TRUE(session.Active());  // connecting activated it
  TQuireDatabase& made = session.AcquireDatabase(UniqueName("Made"), nullptr);
  EXPECT_TRUE(made.Temporary());
  EXPECT_EQ(session.Databases().size(), 2u);

  session.SetActive(false);
  EXPECT_FALSE(placed.Connected());
  ASSERT_EQ(session.Databases().size(), 1u);
  EXPECT_EQ(session.Databases().front(), &placed);
}

}  // namespace
}  // namespace quire
