// Lock retries of the table dataset, and the engine tables it opens beside
// its own (definitions while closed) asking for passwords like its own.

#include <gtest/gtest.h>

#include <string>

#include "access/Session.h"
#include "access/Table.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::DumpCodes;
using testing::TCatalogFolder;

class TableLockTest : public ::testing::Test {
 protected:
  TableLockTest() {
    testing::CreateSongTable(folder_.Path("Song.DAT"));
    Point(table_);
    Point(other_);
    table_.Open();
    for (const char* code : {"L1", "L2"}) {
      table_.Append();
      table_.FieldByName("Code").SetAsString(code);
      table_.Post();
    }
    table_.First();
    other_.Open();
  }

  void Point(TQuireTable& table) {
    table.SetDatabaseName(folder_.Name());
    table.SetTableName("Song.DAT");
  }

  TCatalogFolder folder_;
  TQuireTable table_;
  TQuireTable other_;
};

TEST_F(TableLockTest, ARecordHeldByAnotherTableIsTriedOncePerRetryAndThenRefused) {
  other_.Edit();  // L1 locked there
  table_.SetLockWaitTime(1);
  table_.SetLockRetryCount(4);
  EXPECT_EQ(CodeOf([&] { table_.Edit(); }), 10258);
  EXPECT_EQ(table_.EngineTable()->Locks().LastAttempts(), 5);
  EXPECT_EQ(CodeOf([&] { table_.Delete(); }), 10258);
  EXPECT_EQ(table_.EngineTable()->Locks().LastAttempts(), 5);
  EXPECT_EQ(table_.RecordCount(), 2);
  other_.Cancel();
  table_.Delete();
  table_.Close();
  other_.Close();
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), std::vector<std::string>{"L2"});
}

TEST_F(TableLockTest, TheAllRecordsLockOfAnotherTableRefusesEveryRecordLock) {
  other_.EngineTable()->LockAllRecords();
  table_.SetLockWaitTime(1);
  table_.SetLockRetryCount(0);
  EXPECT_EQ(CodeOf([&] { table_.Edit(); }), 10258);
  EXPECT_EQ(table_.EngineTable()->Locks().LastAttempts(), 1);
  table_.SetLockRetryCount(3);
  table_.Next();
  EXPECT_EQ(CodeOf([&] { table_.Edit(); }), 10258);
  EXPECT_EQ(table_.EngineTable()->Locks().LastAttempts(), 4);
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  // Ours, the other way round.
  other_.EngineTable()->UnlockAllRecords();
  table_.Edit();
  other_.SetLockWaitTime(1);
  other_.SetLockRetryCount(2);
  EXPECT_EQ(CodeOf([&] { other_.EngineTable()->LockAllRecords(); }), 10241);
  EXPECT_EQ(other_.EngineTable()->Locks().LastAttempts(), 3);
  table_.Cancel();
}

// Sets the default session's password event for the scope.
class TPasswordEventScope {
 public:
  explicit TPasswordEventScope(std::function<void(TQuireSession&, bool&)> event) {
    TQuireSessionList::Instance().DefaultSession().OnPassword = std::move(event);
  }
  ~TPasswordEventScope() { TQuireSessionList::Instance().DefaultSession().OnPassword = {}; }
  TPasswordEventScope(const TPasswordEventScope&) = delete;
  TPasswordEventScope& operator=(const TPasswordEventScope&) = delete;
};

TEST(TableDefsPassword, DefinitionsOfAClosedEncryptedTableAskTheSessionForThePassword) {
  TCatalogFolder folder;
  testing::CreateSongTable(folder.Path("Locked.DAT"), "lyra secret");
  TQuireTable table;
  table.SetDatabaseName(folder.Name());
  table.SetTableName("Locked.DAT");
  TQuireSession& session = TQuireSessionList::Instance().DefaultSession();
  session.UnregisterPassword("lyra secret");
  int asked = 0;
  {
    const TPasswordEventScope refuse([&](TQuireSession&, bool&) { ++asked; });
    EXPECT_EQ(CodeOf([&] { table.FieldDefs(); }), 10498);
  }
  EXPECT_EQ(asked, 1);
  {
    const TPasswordEventScope give([&](TQuireSession& sender, bool& go) {
      ++asked;
      sender.RegisterPassword("lyra secret");
      go = true;
    });
    ASSERT_EQ(table.FieldDefs().size(), 4u);
  }
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(table.FieldDefs()[1].Name, "Name");
  EXPECT_FALSE(table.Active());
  session.UnregisterPassword("lyra secret");
}

}  // namespace
}  // namespace quire
