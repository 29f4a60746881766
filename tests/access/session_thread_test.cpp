// Two threads, each with a session of its own, working on one table at once:
// the engine keeps the current session per thread, so each thread's errors
// and passwords stay in its own session.

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access/Database.h"
#include "access/PasswordDialog.h"
#include "access/Session.h"
#include "access/Table.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::CreateSongTable;
using testing::DumpCodes;
using testing::UniqueName;

// What one thread saw; checked by the main thread after both have ended,
// since gtest assertions from two threads at once would interleave.
struct TThreadReport {
  std::vector<std::string> failures;
  void Check(bool ok, const std::string& what) {
    if (!ok) failures.push_back(what);
  }
};

// One worker's session with a database over the shared folder.
struct TWorkerSession {
  explicit TWorkerSession(const std::string& folder) : session("Session1"), database(&session) {
    session.SetSessionName(UniqueName("Worker"));
    // The database took the session's name while it had none yet.
    database.SetSessionName(session.SessionName());
    database.SetDatabaseName(UniqueName("Shared"));
    database.SetDirectory(folder);
  }
  TQuireSession session;
  TQuireDatabase database;
};

class SessionThreads : public ::testing::Test {
 protected:
  SessionThreads() : first_(folder_.Path("")), second_(folder_.Path("")) {
    CreateSongTable(folder_.Path("Song.DAT"));
  }

  // Runs `work` for both sessions at once, each in a thread of its own, and
  // reports what either found wrong.
  void RunBoth(
      const std::function<void(TWorkerSession&, const std::string&, TThreadReport&)>& work) {
    TThreadReport reports[2];
    std::thread a([&] { work(first_, "A", reports[0]); });
    std::thread b([&] { work(second_, "B", reports[1]); });
    a.join();
    b.join();
    for (const TThreadReport& report : reports)
      for (const std::string& failure : report.failures) ADD_FAILURE() << failure;
  }

  testing::TCatalogFolder folder_;
  TWorkerSession first_;
  TWorkerSession second_;
};

constexpr int kRounds = 8;

TEST_F(SessionThreads, EachThreadsWorkAndErrorsStayInItsOwnSession) {
  const TErrorContext defaultBefore = [] {
    const TEngineCall call(TQuireSessionList::Instance().DefaultSession());
    return CurrentSession().LastError();
  }();
  std::barrier sync(2);
  TFileSession* engineSessions[2] = {nullptr, nullptr};
  const std::string songPath = folder_.Path("Song.DAT");
  const std::string missingName = folder_.Path("Nosuch.DAT");

  RunBoth([&](TWorkerSession& mine, const std::string& tag, TThreadReport& report) {
    const bool isA = tag == "A";
    TQuireTable table;
    table.SetSessionName(mine.session.SessionName());
    table.SetDatabaseName(mine.database.DatabaseName());
    table.SetTableName("Song.DAT");
    // Each reads what the other has just written: the change check before
    // every read.
    table.SetStrictChangeDetection(true);
    table.Open();  // makes the session current in this thread
    engineSessions[isA ? 0 : 1] = &CurrentSession();
    mine.session.RegisterPassword("only " + tag);

    for (int round = 0; round < kRounds; ++round) {
      // Both write at once: one row each per round.
      sync.arrive_and_wait();
      table.Append();
      table.FieldByName("Code").SetAsString(tag + std::to_string(round));
      table.FieldByName("Name").SetAsString("Song of " + tag);
      table.Post();
      sync.arrive_and_wait();

      // Both read the whole table at once; each sees the other's rows too.
      int rows = 0;
      for (table.First(); !table.Eof(); table.Next()) ++rows;
      report.Check(rows == 2 * (round + 1), tag + " read " + std::to_string(rows) +
                                                " rows in round " + std::to_string(round));

      // Both fail at once: A posts a key B wrote, B opens a table that is not
      // there. The context each finds afterwards must be its own, although
      // the other thread raised in between.
      sync.arrive_and_wait();
      TErrorCode raised = 0;
      std::string message;
      try {
        if (isA) {
          table.Append();
          table.FieldByName("Code").SetAsString("B" + std::to_string(round));
          table.Post();
        } else {
          TQuireTable missing;
          missing.SetSessionName(mine.session.SessionName());
          missing.SetDatabaseName(mine.database.DatabaseName());
          missing.SetTableName("Nosuch.DAT");
          missing.Open();
        }
      } catch (const EQuireEngineError& error) {
        raised = error.Code();
        message = error.Message();
      }
      if (isA) table.Cancel();
      sync.arrive_and_wait();

      const TErrorCode expected = isA ? err::DuplicateKey : err::InvalidPath;
      const std::string& path = isA ? songPath : missingName;
      report.Check(raised == expected, tag + " raised " + std::to_string(raised));
      report.Check(message.find(path) != std::string::npos, tag + " message: " + message);
      const TErrorContext context = CurrentSession().LastError();
      report.Check(context.code == expected,
                   tag + " found the context of code " + std::to_string(context.code));
      report.Check(context.fileName == path, tag + " found the context of " + context.fileName);
      sync.arrive_and_wait();  // nobody raises again before both have looked
    }

    // The passwords each registered are in its own session only.
    report.Check(CurrentSession().TestPassword("only " + tag), tag + " lost its password");
    report.Check(!CurrentSession().TestPassword(isA ? "only B" : "only A"),
                 tag + " holds the other's password");
    table.Close();
  });

  ASSERT_NE(engineSessions[0], nullptr);
  ASSERT_NE(engineSessions[1], nullptr);
  EXPECT_NE(engineSessions[0], engineSessions[1]);

  // Each session keeps the last error of its own thread; the default session,
  // which neither thread used, kept its own.
  {
    const TEngineCall call(first_.session);
    EXPECT_EQ(CurrentSession().LastError().code, err::DuplicateKey);
    EXPECT_EQ(CurrentSession().LastError().fileName, songPath);
  }
  {
    const TEngineCall call(second_.session);
    EXPECT_EQ(CurrentSession().LastError().code, err::InvalidPath);
    EXPECT_EQ(CurrentSession().LastError().fileName, missingName);
  }
  {
    const TEngineCall call(TQuireSessionList::Instance().DefaultSession());
    EXPECT_EQ(CurrentSession().LastError().code, defaultBefore.code);
    EXPECT_EQ(CurrentSession().LastError().fileName, defaultBefore.fileName);
  }
  EXPECT_TRUE(first_.session.HasPassword("only A"));
  EXPECT_FALSE(first_.session.HasPassword("only B"));
  EXPECT_TRUE(second_.session.HasPassword("only B"));
  EXPECT_FALSE(second_.session.HasPassword("only A"));

  // Every row posted, none twice, none of the refused duplicates.
  std::vector<std::string> expected;
  for (const char* tag : {"A", "B"})
    for (int round = 0; round < kRounds; ++round) expected.push_back(tag + std::to_string(round));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), expected);
}

TEST_F(SessionThreads, AThreadWorksAgainstTheSessionItLastMadeCurrent) {
  TFileSession* seen[2] = {nullptr, nullptr};
  TFileSession* defaultSeen[2] = {nullptr, nullptr};
  std::barrier sync(2);
  RunBoth([&](TWorkerSession& mine, const std::string& tag, TThreadReport&) {
    const int slot = tag == "A" ? 0 : 1;
    defaultSeen[slot] = &CurrentSession();  // a new thread starts on the default
    sync.arrive_and_wait();
    mine.session.MakeCurrent();
    sync.arrive_and_wait();  // both have switched: neither switch moved the other
    seen[slot] = &CurrentSession();
  });
  const TEngineCall call(TQuireSessionList::Instance().DefaultSession());
  EXPECT_EQ(defaultSeen[0], &DefaultSession());
  EXPECT_EQ(defaultSeen[1], &DefaultSession());
  ASSERT_NE(seen[0], nullptr);
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_NE(seen[0], &DefaultSession());
  EXPECT_NE(seen[1], &DefaultSession());
}

TEST_F(SessionThreads, ASessionCallFromAnotherThreadLeavesThatThreadOnItsOwnSession) {
  // The window's thread registers a password for the worker's session (as
  // the password dialog does) while its own session is current: its own
  // datasets go on working against its own session.
  first_.session.MakeCurrent();
  TFileSession* own = &CurrentSession();
  second_.session.RegisterPassword("for the worker");
  EXPECT_EQ(&CurrentSession(), own);
  EXPECT_FALSE(CurrentSession().TestPassword("for the worker"));
  EXPECT_TRUE(second_.session.HasPassword("for the worker"));
  EXPECT_EQ(&CurrentSession(), own);

  // Freeing a session that is current in a thread hands that thread back to
  // the default session.
  {
    TQuireSession passing("Session3");
    passing.SetSessionName(UniqueName("Passing"));
    passing.MakeCurrent();
    EXPECT_NE(&CurrentSession(), own);
  }
  EXPECT_EQ(&CurrentSession(), &DefaultSession());
  TQuireSessionList::Instance().DefaultSession().MakeCurrent();
}

TEST_F(SessionThreads, ThePromptRunsInTheOpeningThreadAndTheDialogMayAnswerFromAnother) {
  CreateSongTable(folder_.Path("Locked.DAT"), "Lyra");
  // As the program does: the prompt in the thread that opens the table makes
  // a blocking call into the window's thread, which shows the dialog there;
  // the window's thread works with a session of its own meanwhile.
  std::thread::id askedIn;
  TFileSession* windowSessionBefore = nullptr;
  TFileSession* windowSessionAfter = nullptr;
  std::vector<std::string> typed = {"wrong", "Lyra"};
  int shown = 0;
  const testing::TDialogHostScope host([&](TQuirePasswordDialog& dialog) {
    askedIn = std::this_thread::get_id();
    bool ok = false;
    std::thread window([&] {
      first_.session.MakeCurrent();
      windowSessionBefore = &CurrentSession();
      dialog.TextChanged(typed.at(shown++));
      dialog.Ok();
      ok = true;
      windowSessionAfter = &CurrentSession();
    });
    window.join();
    return ok;
  });
  std::thread::id worker;
  bool opened = false;
  std::thread thread([&] {
    worker = std::this_thread::get_id();
    TQuireTable table;
    table.SetSessionName(second_.session.SessionName());
    table.SetDatabaseName(second_.database.DatabaseName());
    table.SetTableName("Locked.DAT");
    table.Open();
    opened = table.Active();
  });
  thread.join();
  EXPECT_TRUE(opened);
  EXPECT_EQ(shown, 2);  // the wrong password brought the dialog back
  EXPECT_EQ(askedIn, worker);
  ASSERT_NE(windowSessionBefore, nullptr);
  EXPECT_EQ(windowSessionAfter, windowSessionBefore);  // registering left it alone
  EXPECT_TRUE(second_.session.HasPassword("Lyra"));
  EXPECT_TRUE(second_.session.HasPassword("wrong"));
  EXPECT_FALSE(first_.session.HasPassword("Lyra"));
  EXPECT_FALSE(TQuireSessionList::Instance().DefaultSession().HasPassword("Lyra"));
}

}  // namespace
}  // namespace quire
