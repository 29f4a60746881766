#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "access/Database.h"
#include "access/Session.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::CreateSongTable;
using testing::DumpCodes;
using testing::DumpTable;
using testing::TCatalogFolder;

constexpr int kLyric = 4;  // the blob field's number

using testing::DatabaseErrorOf;

// A song table in a folder of its own, and a table dataset over it.
class TableTest : public ::testing::Test {
 protected:
  TableTest() {
    CreateSongTable(folder_.Path("Song.DAT"));
    Point(table_);
  }

  void Point(TQuireTable& table) {
    table.SetDatabaseName(folder_.Name());
    table.SetTableName("Song.DAT");
  }

  static void AppendSong(TQuireTable& table, std::string_view code, std::string_view name) {
    table.Append();
    table.FieldByName("Code").SetAsString(code);
    table.FieldByName("Name").SetAsString(name);
    table.Post();
  }

  // The codes in the dataset's current order, walking forward from the start.
  static std::vector<std::string> Codes(TQuireTable& table) {
    std::vector<std::string> codes;
    for (table.First(); !table.Eof(); table.Next())
      codes.push_back(table.FieldByName("Code").AsString());
    return codes;
  }

  // The bytes of the current record's blob, read through the engine from a
  // copy of the active buffer.
  static std::string BlobBytes(TQuireTable& table) {
    TDataFile& engine = *table.EngineTable();
    std::vector<std::uint8_t> buffer(table.ActiveBuffer().begin(), table.ActiveBuffer().end());
    EXPECT_EQ(engine.OpenBlob(kLyric, buffer), 0);
    std::uint32_t size = 99;
    EXPECT_EQ(engine.BlobSize(kLyric, buffer, size), 0);
    std::string bytes(size, '\0');
    std::uint32_t copied = 0;
    if (size > 0) {
      EXPECT_EQ(engine.ReadBlob(kLyric, buffer, 0, size, bytes.data(), copied), 0);
    }
    EXPECT_EQ(engine.CloseBlob(kLyric, buffer), 0);
    return bytes;
  }

  // Writes `bytes` into the blob of the record being inserted or edited.
  static void WriteBlob(TQuireTable& table, std::string_view bytes) {
    TDataFile& engine = *table.EngineTable();
    ASSERT_EQ(engine.OpenBlob(kLyric, table.ActiveBuffer()), 0);
    ASSERT_EQ(engine.WriteBlob(kLyric, table.ActiveBuffer(), 0,
                               static_cast<std::uint32_t>(bytes.size()), bytes.data()),
              0);
  }

  TCatalogFolder folder_;
  TQuireTable table_;
};

TEST_F(TableTest, AnEmptyTableNameFailsAndLeavesTheTableClosed) {
  table_.SetTableName("");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Open(); }), "Missing table name.");
  EXPECT_FALSE(table_.Active());
  EXPECT_EQ(table_.Database(), nullptr);
  EXPECT_TRUE(folder_.Database().DataSets().empty());
}

TEST_F(TableTest, AFailedOpenGivesTheDatabaseBackAndLeavesTheTableClosed) {
  table_.SetIndexName("NoSuchIndex");
  EXPECT_EQ(CodeOf([&] { table_.Open(); }), 10022);
  EXPECT_FALSE(table_.Active());
  EXPECT_EQ(table_.Database(), nullptr);
  EXPECT_TRUE(folder_.Database().DataSets().empty());
  // The table file is not left open: an exclusive open works.
  table_.SetIndexName("");
  table_.SetExclusive(true);
  table_.Open();
  EXPECT_TRUE(table_.Active());
}

TEST_F(TableTest, EngineErrorsCarryTheCodeAndATextOfAtMost127Characters) {
  table_.SetTableName(std::string(180, 'x') + ".DAT");  // no such file
  try {
    table_.Open();
    FAIL() << "opened a missing table";
  } catch (const EQuireEngineError& e) {
    ASSERT_EQ(e.ErrorList().size(), 1u);
    const TQuireError& entry = e.ErrorList().front();
    EXPECT_EQ(entry.EngineCode, 11010);
    EXPECT_EQ(entry.EngineText.size(), 127u);
    EXPECT_EQ(entry.EngineText.rfind("Invalid path or file name for data file ", 0), 0u);
    EXPECT_EQ(e.Message(), "Quire Engine Error # 11010 " + entry.EngineText);
    EXPECT_STREQ(e.what(), e.Message().c_str());
  }
  EXPECT_FALSE(table_.Active());
}

TEST_F(TableTest, AppendingToAnEmptyTableAndPostingGivesOneRecord) {
  table_.Open();
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(table_.Eof());
  table_.Append();
  EXPECT_EQ(table_.State(), TDataSetState::Insert);
  table_.FieldByName("Code").SetAsString("10001");
  table_.FieldByName("Count").SetAsInteger(7);
  table_.Post();
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_EQ(table_.RecordCount(), 1);
  // Positioned on the new record.
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "10001");
  EXPECT_EQ(table_.FieldByName("Count").AsInteger(), 7);
  EXPECT_TRUE(table_.FieldByName("Name").IsNull());
}

TEST_F(TableTest, TextIsCutToTheFieldSizeAndAtAZeroByteAndStoredAsItsBytes) {
  table_.Open();
  const std::string text120 = std::string(60, 'a') + std::string(60, 'b');
  AppendSong(table_, "A1", text120);
  EXPECT_EQ(table_.FieldByName("Name").AsString(), text120.substr(0, 100));
  AppendSong(table_, std::string("A2\0tail", 7), "\xCA\xC7\xD1\xCA\xB4\xD5");  // Thai bytes
  table_.Close();

  const std::vector<nlohmann::json> rows = DumpTable(folder_.Path("Song.DAT"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Name"], text120.substr(0, 100));
  EXPECT_EQ(rows[1]["Code"], "A2");
  // latin1 dump: each byte one character, so no conversion took place.
  EXPECT_EQ(rows[1]["Name"], "\u00CA\u00C7\u00D1\u00CA\u00B4\u00D5");
}

TEST_F(TableTest, RowsAppendedThroughTheDatasetAreWhatQuireDumps) {
  table_.Open();
  AppendSong(table_, "10002", "Second");
  AppendSong(table_, "10001", "First");
  table_.Append();
  table_.FieldByName("Code").SetAsString("10003");
  table_.FieldByName("Count").SetAsInteger(-5);
  table_.Post();
  table_.Close();

  const std::vector<nlohmann::json> rows = DumpTable(folder_.Path("Song.DAT"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0],
            (nlohmann::json{
                {"Code", "10001"}, {"Name", "First"}, {"Count", nullptr}, {"Lyric", nullptr}}));
  EXPECT_EQ(rows[1]["Name"], "Second");
  EXPECT_EQ(rows[2]["Count"], -5);
  EXPECT_EQ(rows[2]["Name"], nullptr);
}

TEST_F(TableTest, ClearingABlobInInsertStateStoresAnEmptyBlob) {
  table_.Open();
  table_.Append();
  table_.FieldByName("Code").SetAsString("B1");
  WriteBlob(table_, "la la la");
  table_.FieldByName("Lyric").Clear();
  table_.Post();
  EXPECT_TRUE(table_.FieldByName("Lyric").IsNull());
  EXPECT_EQ(BlobBytes(table_), "");
  table_.Close();
  table_.Open();
  EXPECT_EQ(BlobBytes(table_), "");
}

TEST_F(TableTest, ClearingABlobInEditStateEmptiesTheStoredOne) {
  table_.Open();
  table_.Append();
  table_.FieldByName("Code").SetAsString("B1");
  WriteBlob(table_, "la la la");
  table_.Post();
  ASSERT_EQ(BlobBytes(table_), "la la la");

  table_.Edit();
  table_.FieldByName("Lyric").Clear();
  table_.Post();
  EXPECT_EQ(BlobBytes(table_), "");
  table_.Close();
  const std::vector<nlohmann::json> rows = DumpTable(folder_.Path("Song.DAT"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0]["Lyric"].is_null() || rows[0]["Lyric"] == "") << rows[0];
}

TEST_F(TableTest, ClearingABlobAndCancellingKeepsTheStoredOne) {
  table_.Open();
  table_.Append();
  table_.FieldByName("Code").SetAsString("B1");
  WriteBlob(table_, "keep me");
  table_.Post();
  table_.Edit();
  table_.FieldByName("Lyric").Clear();
  table_.Cancel();
  EXPECT_EQ(BlobBytes(table_), "keep me");
}

TEST_F(TableTest, ALockRetryCountOfZeroFailsARefusedLockAtTheFirstAttempt) {
  table_.Open();
  AppendSong(table_, "L1", "Locked");
  table_.Edit();  // holds the record lock

  TQuireTable second;
  Point(second);
  second.SetLockRetryCount(0);
  second.SetLockWaitTime(60000);  // would be a minute per retry
  second.Open();
  EXPECT_EQ(CodeOf([&] { second.Edit(); }), 10258);
  EXPECT_EQ(second.EngineTable()->Locks().LastAttempts(), 1);
  EXPECT_EQ(second.State(), TDataSetState::Browse);

  // Changed on the open table, the count applies at once.
  second.SetLockWaitTime(1);
  second.SetLockRetryCount(2);
  EXPECT_EQ(CodeOf([&] { second.Edit(); }), 10258);
  EXPECT_EQ(second.EngineTable()->Locks().LastAttempts(), 3);

  // Cancelling the first edit gives the lock back.
  table_.Cancel();
  second.Edit();
  EXPECT_EQ(second.State(), TDataSetState::Edit);
}

TEST_F(TableTest, EditPostCancelAndDeleteChangeTheTableAsTheySay) {
  table_.Open();
  for (const char* code : {"C3", "C1", "C2"}) AppendSong(table_, code, std::string("n") + code);
  EXPECT_EQ(Codes(table_), (std::vector<std::string>{"C1", "C2", "C3"}));

  table_.First();
  table_.Edit();
  table_.FieldByName("Name").SetAsString("changed");
  table_.Post();
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "changed");

  table_.Edit();
  table_.FieldByName("Name").SetAsString("dropped");
  table_.Cancel();
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "changed");

  table_.Next();
  ASSERT_EQ(table_.FieldByName("Code").AsString(), "C2");
  table_.Delete();
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "C3");  // the next one
  EXPECT_EQ(table_.RecordCount(), 2);
  table_.Close();
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), (std::vector<std::string>{"C1", "C3"}));
}

TEST_F(TableTest, DeletingTheLastRecordMakesThePriorOneCurrent) {
  table_.Open();
  AppendSong(table_, "G1", "One");
  AppendSong(table_, "G2", "Two");
  table_.Last();
  ASSERT_EQ(table_.FieldByName("Code").AsString(), "G2");
  table_.Delete();
  EXPECT_EQ(table_.RecordCount(), 1);
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "G1");
  EXPECT_EQ(Codes(table_), std::vector<std::string>{"G1"});

  table_.Delete();  // the only record: nothing is current
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(table_.Eof());
  EXPECT_TRUE(table_.Bof());
  EXPECT_TRUE(table_.FieldByName("Code").IsNull());
}

TEST_F(TableTest, AtEitherEndTheRecordShownStaysTheOneToEditAndDelete) {
  table_.Open();
  for (const char* code : {"H1", "H2", "H3"}) AppendSong(table_, code, code);
  table_.Last();
  table_.Next();
  EXPECT_TRUE(table_.Eof());
  table_.Edit();
  table_.FieldByName("Name").SetAsString("last");
  table_.Post();
  table_.First();
  table_.Prior();
  EXPECT_TRUE(table_.Bof());
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "H1");
  table_.Delete();
  table_.Close();
  const std::vector<nlohmann::json> rows = DumpTable(folder_.Path("Song.DAT"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Code"], "H2");
  EXPECT_EQ(rows[1]["Name"], "last");
}

TEST_F(TableTest, NavigationBookmarksAndTheActiveIndex) {
  table_.Open();
  AppendSong(table_, "D1", "Zulu");
  AppendSong(table_, "D2", "Alpha");
  AppendSong(table_, "D3", "Mike");
  table_.Last();
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "D3");
  EXPECT_TRUE(table_.Eof());
  table_.Prior();
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "D2");
  const std::uint32_t mark = table_.Bookmark();
  table_.First();
  table_.GotoBookmark(mark);
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "D2");

  table_.SetIndexName("ByName");
  EXPECT_EQ(Codes(table_), (std::vector<std::string>{"D2", "D3", "D1"}));
  table_.Close();
  table_.Open();  // the index stays the order after reopening
  EXPECT_EQ(table_.FieldByName("Code").AsString(), "D2");
}

TEST_F(TableTest, AFailedPostKeepsTheStateAndTheBuffer) {
  table_.Open();
  AppendSong(table_, "K1", "First");
  table_.Append();
  table_.FieldByName("Code").SetAsString("K1");
  table_.FieldByName("Name").SetAsString("Second");
  EXPECT_EQ(CodeOf([&] { table_.Post(); }), 9729);  // duplicate key
  EXPECT_EQ(table_.State(), TDataSetState::Insert);
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "Second");
  table_.FieldByName("Code").SetAsString("K2");
  table_.Post();
  EXPECT_EQ(table_.RecordCount(), 2);
}

TEST_F(TableTest, ComponentMisuseMessages) {
  EXPECT_EQ(DatabaseErrorOf([&] { table_.First(); }),
            "Cannot perform this operation on a closed dataset");
  table_.Open();
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetTableName("List.DAT"); }),
            "Cannot perform this operation on an open dataset");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetExclusive(true); }),
            "Cannot perform this operation on an open dataset");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Code").SetAsString("x"); }),
            "Dataset not in edit or insert mode");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Singer"); }), "Field 'Singer' not found");
  table_.Append();
  table_.FieldByName("Name").SetReadOnly(true);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Name").SetAsString("x"); }),
            "Field 'Name' cannot be modified");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Count").SetAsString("many"); }),
            "Value of field 'Count' is out of range");
  table_.Cancel();
  table_.Close();

  table_.SetReadOnly(true);
  table_.Open();
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Append(); }), "Cannot modify a read-only dataset");
}

TEST_F(TableTest, AReadOnlyFileMakesTheTableReadOnly) {
  ASSERT_EQ(::chmod(folder_.Path("Song.DAT").c_str(), 0444), 0);
  EXPECT_FALSE(table_.ReadOnly());
  table_.Open();
  EXPECT_TRUE(table_.ReadOnly());
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Edit(); }), "Cannot modify a read-only dataset");
}

TEST_F(TableTest, ControlsHearOfChangesUnlessDisabledAndDisablingNests) {
  table_.Open();
  std::vector<TDataEvent> events;
  table_.AttachControl([&](TDataEvent event, const TField*) { events.push_back(event); });
  table_.DisableControls();
  table_.DisableControls();
  AppendSong(table_, "E1", "One");
  table_.EnableControls();
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(table_.ControlsDisabled());
  table_.EnableControls();
  EXPECT_EQ(events, std::vector<TDataEvent>{TDataEvent::DataSetChange});  // one, for all

  events.clear();
  table_.Edit();
  table_.FieldByName("Name").SetAsString("Two");
  EXPECT_EQ(events, (std::vector<TDataEvent>{TDataEvent::RecordChange, TDataEvent::FieldChange}));
  table_.Cancel();
  table_.Close();  // the control goes with this test
}

TEST_F(TableTest, TheEventsRunAroundEachOperationInOrder) {
  std::vector<std::string> log;
  auto record = [&log](const char* name) {
    return [&log, name](TQuireDataSet&) { log.push_back(name); };
  };
  table_.BeforeOpen = record("BeforeOpen");
  table_.AfterOpen = record("AfterOpen");
  table_.BeforeInsert = record("BeforeInsert");
  table_.OnNewRecord = record("OnNewRecord");
  table_.AfterInsert = record("AfterInsert");
  table_.BeforePost = record("BeforePost");
  table_.AfterPost = record("AfterPost");
  table_.BeforeDelete = record("BeforeDelete");
  table_.AfterDelete = record("AfterDelete");
  table_.BeforeClose = record("BeforeClose");
  table_.AfterClose = record("AfterClose");
  table_.Open();
  log.clear();  // opening also scrolled to the first record
  table_.Append();
  table_.FieldByName("Code").SetAsString("F1");
  table_.Post();
  table_.Delete();
  table_.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "OnNewRecord", "AfterInsert",
                                           "BeforePost", "AfterPost", "BeforeDelete", "AfterDelete",
                                           "BeforeClose", "AfterClose"}));
}

TEST_F(TableTest, FieldsFollowTheTableDefinition) {
  table_.Open();
  ASSERT_EQ(table_.Fields().size(), 4u);
  const TField& name = table_.FieldByName("name");  // names ignore case
  EXPECT_EQ(name.FieldName(), "Name");
  EXPECT_EQ(name.FieldNo(), 2);
  EXPECT_EQ(name.DataType(), ftype::String);
  EXPECT_EQ(name.Size(), 100);
  EXPECT_EQ(table_.FieldByName("Lyric").DataType(), ftype::Blob);
  EXPECT_EQ(table_.EngineVersion(), "1.21");
}

}  // namespace
}  // namespace quire
