// The table dataset's key buffers: key searches, ranges and master-detail
// links over the active index.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/DataSource.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "support/Catalog.h"
#include "support/StockTable.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;
using Keys_ = std::vector<std::string>;

TValue S(std::string_view text) {
  return TValue::String(text);
}
TValue I(int value) {
  return TValue::Int(value);
}

class TableKeyTest : public testing::StockTableTest {};

TEST_F(TableKeyTest, FindKeyFindsTheRecordOfAWholeOrLeadingKey) {
  EXPECT_TRUE(table_.FindKey({S("B"), I(2)}));
  EXPECT_EQ(Key(), "B2");
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "banana");
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_TRUE(table_.FindKey({S("B")}));  // the first of shelf B
  EXPECT_EQ(Key(), "B1");
  table_.Next();
  EXPECT_EQ(Key(), "B2");  // the engine stands on the record found
}

TEST_F(TableKeyTest, AKeyNotThereMovesNothing) {
  table_.Next();
  ASSERT_EQ(Key(), "A2");
  EXPECT_FALSE(table_.FindKey({S("A"), I(9)}));
  EXPECT_EQ(Key(), "A2");
  table_.Next();
  EXPECT_EQ(Key(), "A3");
  EXPECT_FALSE(table_.FindKey({S("AA")}));
  EXPECT_EQ(Key(), "A3");
}

TEST_F(TableKeyTest, FindNearestTakesTheFirstKeyAtOrAfterTheOneAsked) {
  table_.FindNearest({S("A"), I(9)});
  EXPECT_EQ(Key(), "B1");
  table_.FindNearest({S("B"), I(2)});
  EXPECT_EQ(Key(), "B2");
  table_.FindNearest({S("Zed")});  // after every key: the last record, at the end
  EXPECT_EQ(Key(), "C1");
  EXPECT_TRUE(table_.Eof());
}

TEST_F(TableKeyTest, KeyStateWritesOnlyIndexFieldsIntoTheKeyBuffer) {
  table_.SetKey();
  EXPECT_EQ(table_.State(), TDataSetState::SetKey);
  EXPECT_TRUE(table_.FieldByName("Shelf").IsNull());  // the key buffer, fresh
  table_.FieldByName("Shelf").SetAsString("C");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Name").SetAsString("x"); }),
            "Field 'Name' is not indexed and cannot be modified");
  EXPECT_EQ(table_.FieldByName("Shelf").AsString(), "C");
  EXPECT_TRUE(table_.GotoKey());
  EXPECT_EQ(Key(), "C1");
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "Date");  // the record again

  EXPECT_EQ(DatabaseErrorOf([&] {
              table_.FindKey({S("A"), I(1), S("apple")});
            }),
            "Field index out of range");
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.KeyFieldCount(); }), "Dataset not in edit or insert mode");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.IndexFields(2); }), "Field index out of range");
  EXPECT_EQ(table_.IndexFieldCount(), 2);
  EXPECT_EQ(table_.IndexFields(1).FieldName(), "Item");
}

TEST_F(TableKeyTest, EditKeyKeepsTheKeyAndCancelGivesTheOldOneBack) {
  table_.SetKey();
  table_.FieldByName("Shelf").SetAsString("A");
  table_.FieldByName("Item").SetAsInteger(3);
  ASSERT_TRUE(table_.GotoKey());
  EXPECT_EQ(Key(), "A3");
  table_.EditKey();
  EXPECT_EQ(table_.FieldByName("Shelf").AsString(), "A");
  table_.FieldByName("Item").SetAsInteger(1);
  EXPECT_TRUE(table_.GotoKey());
  EXPECT_EQ(Key(), "A1");

  table_.EditKey();
  table_.FieldByName("Shelf").SetAsString("B");
  table_.Cancel();
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  table_.Last();
  EXPECT_TRUE(table_.GotoKey());  // A 1 still
  EXPECT_EQ(Key(), "A1");

  // KeyFieldCount: only the shelf counts.
  table_.EditKey();
  table_.FieldByName("Item").SetAsInteger(7);
  table_.SetKeyFieldCount(1);
  EXPECT_EQ(table_.KeyFieldCount(), 1);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetKeyFieldCount(3); }), "Field index out of range");
  table_.FieldByName("Shelf").SetAsString("B");
  EXPECT_TRUE(table_.GotoKey());
  EXPECT_EQ(Key(), "B1");
}

TEST_F(TableKeyTest, ASecondaryIndexFindsByItsOwnFieldsAndCase) {
  table_.SetIndexName("ByName");  // case-insensitive
  EXPECT_TRUE(table_.FindKey({S("BANANA")}));
  EXPECT_EQ(Key(), "A2");  // the first of the equal keys
  EXPECT_TRUE(table_.FindKey({S("date")}));
  EXPECT_EQ(Key(), "C1");
  EXPECT_FALSE(table_.FindKey({S("dat")}));
  table_.FindNearest({S("dat")});
  EXPECT_EQ(Key(), "C1");
}

TEST_F(TableKeyTest, ARangeShowsTheKeysFromItsStartToItsEnd) {
  table_.SetRange({S("A")}, {S("A")});
  EXPECT_EQ(Keys(), (Keys_{"A1", "A2", "A3"}));
  EXPECT_EQ(table_.RecordCount(), 3);
  table_.Last();
  EXPECT_EQ(Key(), "A3");

  table_.SetRange({S("A"), I(2)}, {S("B"), I(1)});
  EXPECT_EQ(Key(), "A2");  // moved to the first record of the range
  EXPECT_EQ(Keys(), (Keys_{"A2", "A3", "B1"}));
  EXPECT_EQ(QuireKeys({"--from", R"(["A",2])", "--to", R"(["B",1])"}), (Keys_{"A2", "A3", "B1"}));

  // A start alone runs to the end of the index.
  table_.SetRangeStart();
  table_.FieldByName("Shelf").SetAsString("B");
  table_.SetRangeEnd();
  table_.ApplyRange();
  EXPECT_EQ(Keys(), (Keys_{"B1", "B2", "C1"}));
  EXPECT_EQ(QuireKeys({"--from", R"(["B"])"}), (Keys_{"B1", "B2", "C1"}));
  // EditRangeEnd keeps the start.
  table_.EditRangeEnd();
  table_.FieldByName("Shelf").SetAsString("B");
  table_.ApplyRange();
  EXPECT_EQ(Keys(), (Keys_{"B1", "B2"}));
}

TEST_F(TableKeyTest, CancelRangeShowsEveryRecordAndKeepsTheCurrentOne) {
  table_.SetRange({S("B")}, {S("B")});
  table_.Next();
  ASSERT_EQ(Key(), "B2");
  table_.CancelRange();
  EXPECT_EQ(Key(), "B2");
  EXPECT_EQ(table_.RecordCount(), 6);
  table_.Next();
  EXPECT_EQ(Key(), "C1");
  // The range buffers are cleared: applying them again limits nothing.
  table_.ApplyRange();
  EXPECT_EQ(table_.RecordCount(), 6);
}

TEST_F(TableKeyTest, AStartAfterTheEndIsAnEmptyRange) {
  table_.SetRange({S("C")}, {S("A")});
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(table_.Eof());
  EXPECT_TRUE(table_.Bof());
  table_.CancelRange();
  EXPECT_EQ(Key(), "A1");
}

TEST_F(TableKeyTest, TheRangeAlreadyAppliedIsNotAppliedAgain) {
  table_.SetRange({S("A")}, {S("B")});
  table_.Next();
  table_.Next();
  ASSERT_EQ(Key(), "A3");
  table_.ApplyRange();  // the same range: the table stays where it is
  EXPECT_EQ(Key(), "A3");
  table_.EditRangeEnd();
  table_.FieldByName("Shelf").SetAsString("A");
  table_.ApplyRange();
  EXPECT_EQ(Key(), "A1");
}

TEST_F(TableKeyTest, RangesOnASecondaryIndexAndAChangeOfIndexDropsThem) {
  table_.SetIndexFieldNames("Qty");
  EXPECT_EQ(table_.IndexName(), "");
  table_.SetRange({I(3)}, {I(5)});
  EXPECT_EQ(table_.RecordCount(), 4);
  std::vector<int> quantities;
  for (table_.First(); !table_.Eof(); table_.Next())
    quantities.push_back(table_.FieldByName("Qty").AsInteger());
  EXPECT_EQ(quantities, (std::vector<int>{3, 3, 5, 5}));
  table_.SetIndexName("");
  EXPECT_EQ(table_.RecordCount(), 6);
  EXPECT_EQ(table_.IndexFieldNames(), "");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetIndexFieldNames("Qty;Name"); }),
            "No index for fields 'Qty;Name'");
}

TEST_F(TableKeyTest, IndexFieldNamesChooseTheOrderOfAClosedTableAtOpen) {
  table_.Close();
  table_.SetIndexFieldNames("shelf;name");  // names ignore case
  table_.Open();
  EXPECT_EQ(Keys(), (Keys_{"A2", "A1", "A3", "B1", "B2", "C1"}));
  table_.Close();
  table_.SetIndexFieldNames("Name;Shelf");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Open(); }), "No index for fields 'Name;Shelf'");
  EXPECT_FALSE(table_.Active());
  EXPECT_EQ(table_.Database(), nullptr);
  table_.SetIndexName("ByQty");
  table_.Open();
  EXPECT_EQ(table_.FieldByName("Qty").AsInteger(), 0);
}

TEST_F(TableKeyTest, ARangeAndAFilterTogetherShowWhatBothLetThrough) {
  table_.SetRange({S("A")}, {S("B")});
  // The filter's index work (ByName for a case-insensitive compare) keeps
  // the range.
  table_.SetFilter("Name = 'b*'");
  table_.SetFilterOptions(foCaseInsensitive);
  table_.SetFiltered(true);
  EXPECT_EQ(Keys(), (Keys_{"A2", "B2"}));
  table_.SetFilter("Qty = 3");
  EXPECT_EQ(Keys(), Keys_{"A2"});
  table_.SetFiltered(false);
  EXPECT_EQ(table_.RecordCount(), 5);
  EXPECT_TRUE(table_.FindFirst());
  EXPECT_EQ(Key(), "A2");
  EXPECT_FALSE(table_.FindNext());  // C1 lies outside the range
  table_.CancelRange();
  EXPECT_TRUE(table_.FindNext());
  EXPECT_EQ(Key(), "C1");
}

// A shelf table (the song table's Code as the shelf) as master of the stock.
class TableMasterTest : public testing::StockTableTest {
 protected:
  TableMasterTest() : source_(&master_) {
    testing::CreateSongTable(folder_.Path("Shelves.DAT"));
    master_.SetDatabaseName(folder_.Name());
    master_.SetTableName("Shelves.DAT");
    master_.Open();
    for (const char* code : {"A", "B", "D"}) {
      master_.Append();
      master_.FieldByName("Code").SetAsString(code);
      master_.Post();
    }
    master_.First();
  }

  TQuireTable master_;
  TDataSource source_;
};

TEST_F(TableMasterTest, TheDetailFollowsTheMastersCurrentRecord) {
  table_.SetMasterFields("Code");
  table_.SetMasterSource(&source_);
  EXPECT_EQ(Keys(), (Keys_{"A1", "A2", "A3"}));
  master_.Next();
  EXPECT_EQ(Key(), "B1");
  EXPECT_EQ(Keys(), (Keys_{"B1", "B2"}));
  master_.Next();  // D: no stock
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(table_.Eof());
  master_.First();
  EXPECT_EQ(table_.RecordCount(), 3);

  // Reopened, the detail starts in its master's range.
  table_.Close();
  master_.Next();
  table_.Open();
  EXPECT_EQ(Keys(), (Keys_{"B1", "B2"}));
}

TEST_F(TableMasterTest, AnotherIndexOfTheDetailKeepsTheLink) {
  table_.SetMasterFields("Code");
  table_.SetMasterSource(&source_);
  master_.Next();
  table_.SetIndexName("ByShelfName");  // Shelf leads this index too
  EXPECT_EQ(table_.FieldByName("Name").AsString(), "Apricot");
  EXPECT_EQ(Keys(), (Keys_{"B1", "B2"}));
  master_.First();
  EXPECT_EQ(Keys(), (Keys_{"A2", "A1", "A3"}));  // by name, byte order
}

TEST_F(TableMasterTest, ANewDetailRecordTakesTheMastersValues) {
  table_.SetMasterFields("Code");
  table_.SetMasterSource(&source_);
  master_.Last();  // D
  std::string shelfSeen;
  table_.OnNewRecord = [&](TQuireDataSet& dataset) {
    shelfSeen = dataset.FieldByName("Shelf").AsString();
  };
  table_.Append();
  table_.FieldByName("Item").SetAsInteger(1);
  table_.FieldByName("Name").SetAsString("elder");
  table_.Post();
  EXPECT_EQ(shelfSeen, "D");  // before the new-record event
  EXPECT_EQ(Keys(), Keys_{"D1"});
  table_.Close();
  EXPECT_EQ(QuireKeys({}), (Keys_{"A1", "A2", "A3", "B1", "B2", "C1", "D1"}));
}

TEST_F(TableMasterTest, WithoutAMasterTheDetailShowsEveryRecord) {
  table_.SetMasterFields("Code");
  table_.SetMasterSource(&source_);
  master_.Next();
  ASSERT_EQ(table_.RecordCount(), 2);
  master_.Close();
  EXPECT_EQ(table_.RecordCount(), 6);
  master_.Open();
  EXPECT_EQ(table_.RecordCount(), 3);  // A again
  table_.SetMasterSource(nullptr);
  EXPECT_EQ(table_.RecordCount(), 6);

  TDataSource own(&table_);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetMasterSource(&own); }),
            "Circular datalinks are not allowed");
  table_.SetMasterSource(&source_);
  ASSERT_EQ(table_.RecordCount(), 3);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetMasterFields("Nope"); }), "Field 'Nope' not found");
  EXPECT_EQ(table_.MasterFields(), "Code");
  master_.Next();
  EXPECT_EQ(table_.RecordCount(), 2);
}

TEST_F(TableMasterTest, ASourceOrMasterThatEndsLeavesTheLinkWithoutIt) {
  auto source = std::make_unique<TDataSource>(&master_);
  table_.SetMasterFields("Code");
  table_.SetMasterSource(source.get());
  ASSERT_EQ(table_.RecordCount(), 3);
  source.reset();  // no master left: the whole table
  EXPECT_EQ(table_.MasterSource(), nullptr);
  EXPECT_EQ(table_.RecordCount(), 6);
  master_.Next();  // heard by nobody
  EXPECT_EQ(table_.RecordCount(), 6);

  auto master = std::make_unique<TQuireTable>();
  master->SetDatabaseName(folder_.Name());
  master->SetTableName("Shelves.DAT");
  master->Open();
  TDataSource second(master.get());
  table_.SetMasterSource(&second);
  ASSERT_EQ(table_.RecordCount(), 3);
  master.reset();
  EXPECT_EQ(second.DataSet(), nullptr);
  EXPECT_EQ(table_.RecordCount(), 6);
}

}  // namespace
}  // namespace quire
