// The rest of the dataset contract: record numbers read and set, bookmark
// comparison, BeforeScroll, and the post, edit and delete error events.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/Table.h"
#include "engine/EngineError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::DumpCodes;
using testing::TCatalogFolder;

// Songs A1, A2, A3 named Z, Y, X, so that "ByName" orders them backwards.
class DataSetContractTest : public ::testing::Test {
 protected:
  DataSetContractTest() {
    testing::CreateSongTable(folder_.Path("Song.DAT"));
    Point(table_);
    table_.Open();
    for (const auto& [code, name] : {std::pair{"A1", "Z"}, {"A2", "Y"}, {"A3", "X"}}) {
      table_.Append();
      table_.FieldByName("Code").SetAsString(code);
      table_.FieldByName("Name").SetAsString(name);
      table_.Post();
    }
    table_.First();
  }

  void Point(TQuireTable& table) {
    table.SetDatabaseName(folder_.Name());
    table.SetTableName("Song.DAT");
  }

  std::string Code() { return table_.FieldByName("Code").AsString(); }

  TCatalogFolder folder_;
  TQuireTable table_;
};

TEST_F(DataSetContractTest, RecordNumbersFollowTheCurrentOrder) {
  EXPECT_EQ(table_.RecNo(), 1);
  table_.Next();
  EXPECT_EQ(table_.RecNo(), 2);
  table_.SetRecNo(3);
  EXPECT_EQ(Code(), "A3");
  EXPECT_EQ(table_.RecNo(), 3);
  table_.SetRecNo(1);
  EXPECT_EQ(Code(), "A1");

  table_.SetIndexName("ByName");
  table_.SetRecNo(1);
  EXPECT_EQ(Code(), "A3");
  EXPECT_EQ(table_.RecNo(), 1);
  table_.Next();
  EXPECT_EQ(Code(), "A2");
  EXPECT_EQ(table_.RecNo(), 2);

  table_.Append();
  EXPECT_EQ(table_.RecNo(), -1);
  table_.Cancel();

  // Past the last record: nothing is current.
  table_.SetRecNo(9);
  EXPECT_TRUE(table_.Eof());
  EXPECT_EQ(table_.RecNo(), -1);
}

TEST_F(DataSetContractTest, BookmarksCompareInTheCurrentOrderAndMissingOnesLast) {
  const std::uint32_t a1 = table_.Bookmark();
  table_.Last();
  const std::uint32_t a3 = table_.Bookmark();
  table_.Prior();
  const std::uint32_t a2 = table_.Bookmark();
  ASSERT_EQ(Code(), "A2");
  EXPECT_EQ(table_.CompareBookmarks(a1, a3), -1);
  EXPECT_EQ(table_.CompareBookmarks(a3, a1), 1);
  EXPECT_EQ(table_.CompareBookmarks(a2, a2), 0);
  EXPECT_EQ(table_.CompareBookmarks(0, a1), 1);
  EXPECT_EQ(table_.CompareBookmarks(a1, 0), -1);
  EXPECT_EQ(table_.CompareBookmarks(0, 0), 0);
  // The current record stays where it was.
  EXPECT_EQ(Code(), "A2");
  table_.Next();
  EXPECT_EQ(Code(), "A3");

  table_.SetIndexName("ByName");
  EXPECT_EQ(table_.CompareBookmarks(a1, a3), 1);
  // A record gone since cannot be placed: equal.
  table_.GotoBookmark(a2);
  table_.Delete();
  EXPECT_EQ(table_.CompareBookmarks(a2, a1), 0);
}

TEST_F(DataSetContractTest, BeforeScrollSeesTheRecordBeingLeft) {
  std::vector<std::string> seen;
  table_.BeforeScroll = [&](TQuireDataSet&) { seen.push_back("before " + Code()); };
  table_.AfterScroll = [&](TQuireDataSet&) { seen.push_back("after " + Code()); };
  const std::uint32_t a1 = table_.Bookmark();
  table_.Next();
  table_.Last();
  table_.Prior();
  table_.GotoBookmark(a1);
  table_.SetRecNo(3);
  table_.First();
  EXPECT_EQ(seen, (std::vector<std::string>{"before A1", "after A2", "before A2", "after A3",
                                            "before A3", "after A2", "before A2", "after A1",
                                            "before A1", "after A3", "before A3", "after A1"}));
}

TEST_F(DataSetContractTest, APostErrorHandlerFailsAbortsOrRetries) {
  std::vector<TErrorCode> codes;
  TDataAction decision = TDataAction::Fail;
  table_.OnPostError = [&](TQuireDataSet& dataset, const std::exception& error,
                           TDataAction& action) {
    EXPECT_EQ(&dataset, &table_);
    EXPECT_EQ(action, TDataAction::Fail);
    const auto* engine = dynamic_cast<const EQuireEngineError*>(&error);
    codes.push_back(engine != nullptr ? engine->Code() : 0);
    if (decision == TDataAction::Retry) table_.FieldByName("Code").SetAsString("A9");
    action = decision;
  };
  int afterPost = 0;
  table_.AfterPost = [&](TQuireDataSet&) { ++afterPost; };
  table_.Append();
  table_.FieldByName("Code").SetAsString("A1");  // the key is taken

  const TErrorCode failed = CodeOf([&] { table_.Post(); });
  EXPECT_NE(failed, 0);
  EXPECT_EQ(codes, std::vector<TErrorCode>{failed});
  EXPECT_EQ(table_.State(), TDataSetState::Insert);

  decision = TDataAction::Abort;
  EXPECT_EQ(CodeOf([&] { table_.Post(); }), 0);
  EXPECT_EQ(table_.State(), TDataSetState::Insert);
  EXPECT_EQ(afterPost, 0);
  EXPECT_EQ(Code(), "A1");

  // Retry: the handler gives another key, and the second try stores it.
  decision = TDataAction::Retry;
  table_.Post();
  EXPECT_EQ(codes.size(), 3u);
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_EQ(afterPost, 1);
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")),
            (std::vector<std::string>{"A1", "A2", "A3", "A9"}));
}

TEST_F(DataSetContractTest, EditAndDeleteErrorHandlersSeeTheRefusedLock) {
  TQuireTable other;
  Point(other);
  other.Open();
  other.Edit();  // A1 locked there
  table_.SetLockRetryCount(0);

  int editErrors = 0;
  table_.OnEditError = [&](TQuireDataSet&, const std::exception&, TDataAction& action) {
    ++editErrors;
    action = TDataAction::Abort;
  };
  table_.Edit();
  EXPECT_EQ(editErrors, 1);
  EXPECT_EQ(table_.State(), TDataSetState::Browse);

  int deleteErrors = 0;
  table_.OnDeleteError = [&](TQuireDataSet&, const std::exception& error, TDataAction& action) {
    ++deleteErrors;
    EXPECT_EQ(dynamic_cast<const EQuireEngineError&>(error).Code(), 10258);
    // The other table lets go: the delete goes through on the retry.
    other.Cancel();
    action = TDataAction::Retry;
  };
  int afterDelete = 0;
  table_.AfterDelete = [&](TQuireDataSet&) { ++afterDelete; };
  table_.Delete();
  EXPECT_EQ(deleteErrors, 1);
  EXPECT_EQ(afterDelete, 1);
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), (std::vector<std::string>{"A2", "A3"}));

  // Without a handler the refusal is raised.
  other.First();
  other.Edit();  // A2 now
  table_.OnEditError = nullptr;
  EXPECT_EQ(CodeOf([&] { table_.Edit(); }), 10258);
  other.Cancel();
}

}  // namespace
}  // namespace quire
