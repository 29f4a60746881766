// Locate and Lookup on the table dataset: on its own index, on a second
// engine table with an index over the fields, or through a temporary filter.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"
#include "support/StockTable.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;

TValue S(std::string_view text) {
  return TValue::String(text);
}
TValue I(int value) {
  return TValue::Int(value);
}

class TableLocateTest : public testing::StockTableTest {};

TEST_F(TableLocateTest, LocateOnTheTablesOwnIndex) {
  EXPECT_TRUE(table_.Locate("Shelf;Item", {S("B"), I(2)}));
  EXPECT_EQ(Key(), "B2");
  EXPECT_TRUE(table_.Locate("Shelf", {S("C")}));  // the index starts with the field
  EXPECT_EQ(Key(), "C1");
  table_.Next();
  EXPECT_TRUE(table_.Eof());  // the engine stands on C1, the last record
  EXPECT_FALSE(table_.Locate("Shelf;Item", {S("A"), I(9)}));
  EXPECT_EQ(Key(), "C1");

  table_.SetIndexName("ByName");
  EXPECT_TRUE(table_.Locate("Name", {S("ch")}, lo::CaseInsensitive | lo::PartialKey));
  EXPECT_EQ(Key(), "A3");
  EXPECT_TRUE(table_.Locate("Name", {S("BANANA")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "A2");  // the first equal key
  EXPECT_FALSE(table_.Locate("Name", {S("zz")}, lo::CaseInsensitive | lo::PartialKey));
  EXPECT_FALSE(table_.Locate("Name", {S("Ban")}, lo::CaseInsensitive));  // whole values
  EXPECT_EQ(Key(), "A2");
  table_.Next();
  EXPECT_EQ(Key(), "B2");
}

TEST_F(TableLocateTest, LocateThroughAnIndexOverTheFieldsThatIsNotTheActiveOne) {
  // ByName folds case: it serves case-insensitive searches only.
  EXPECT_TRUE(table_.Locate("Name", {S("APRICOT")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "B1");
  table_.Next();
  EXPECT_EQ(Key(), "B2");  // the table's own order
  EXPECT_TRUE(table_.Locate("Name", {S("bAn")}, lo::CaseInsensitive | lo::PartialKey));
  EXPECT_EQ(Key(), "A2");
  EXPECT_TRUE(table_.Locate("Shelf;Name", {S("B"), S("banana")}));  // ByShelfName
  EXPECT_EQ(Key(), "B2");
  EXPECT_TRUE(table_.Locate("Shelf;Name", {S("A"), S("c")}, lo::PartialKey));
  EXPECT_EQ(Key(), "A3");
  EXPECT_FALSE(table_.Locate("Shelf;Name", {S("A"), S("d")}, lo::PartialKey));
  EXPECT_EQ(Key(), "A3");
  EXPECT_TRUE(table_.Locate("Qty", {I(7)}));  // ByQty
  EXPECT_EQ(Key(), "B2");
}

TEST_F(TableLocateTest, LocateWithoutAnIndexTestsEveryRecordThroughAFilter) {
  // No case-sensitive index over Name.
  EXPECT_TRUE(table_.Locate("Name", {S("banana")}));
  EXPECT_EQ(Key(), "B2");
  EXPECT_TRUE(table_.Locate("Name", {S("Ban")}, lo::PartialKey));
  EXPECT_EQ(Key(), "A2");
  EXPECT_FALSE(table_.Locate("Name", {S("BAN")}, lo::PartialKey));
  EXPECT_EQ(Key(), "A2");
  EXPECT_TRUE(table_.Locate("Active;Qty", {TValue::Boolean(false), I(3)}));
  EXPECT_EQ(Key(), "A2");
  EXPECT_TRUE(table_.Locate("Qty;Active", {I(3), TValue::Boolean(true)}) == false);
  // The temporary filter is gone again.
  EXPECT_EQ(table_.RecordCount(), 6);
  table_.Next();
  EXPECT_EQ(Key(), "A3");
}

TEST_F(TableLocateTest, AFilteredOrRangedTableFindsOnlyTheRecordsItShows) {
  table_.SetFilter("Active = True");
  table_.SetFiltered(true);
  EXPECT_FALSE(table_.Locate("Name", {S("date")}, lo::CaseInsensitive));
  EXPECT_FALSE(table_.Locate("Name", {S("Date")}));
  EXPECT_FALSE(table_.Locate("Shelf", {S("C")}));
  EXPECT_TRUE(table_.Locate("Name", {S("BANANA")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "B2");  // A2 is not active
  table_.SetFiltered(false);

  table_.SetRange({S("A")}, {S("A")});
  EXPECT_FALSE(table_.Locate("Name", {S("apricot")}, lo::CaseInsensitive));
  EXPECT_FALSE(table_.Locate("Shelf;Item", {S("B"), I(1)}));
  EXPECT_TRUE(table_.Locate("Name", {S("CHERRY")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "A3");
  EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(TableLocateTest, AnExclusiveTableLocatesThroughTheFilter) {
  table_.Close();
  table_.SetExclusive(true);
  table_.Open();
  EXPECT_TRUE(table_.Locate("Name", {S("APRICOT")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "B1");
}

TEST_F(TableLocateTest, LocateSeesRecordsAddedSinceTheLastSearch) {
  EXPECT_FALSE(table_.Locate("Name", {S("fig")}, lo::CaseInsensitive));
  Add("C", 2, "Fig", true, 1);
  table_.First();
  EXPECT_TRUE(table_.Locate("Name", {S("fig")}, lo::CaseInsensitive));
  EXPECT_EQ(Key(), "C2");
  table_.Edit();
  table_.FieldByName("Name").SetAsString("Grape");
  table_.Post();
  EXPECT_FALSE(table_.Locate("Name", {S("fig")}, lo::CaseInsensitive));
  EXPECT_TRUE(table_.Locate("Name", {S("GRAPE")}, lo::CaseInsensitive));
}

TEST_F(TableLocateTest, LookupGivesTheResultFieldsAndLeavesTheRecordAlone) {
  table_.Next();
  ASSERT_EQ(Key(), "A2");
  auto found = table_.Lookup("Shelf;Item", {S("B"), I(1)}, "Name;Qty");
  ASSERT_TRUE(found);
  ASSERT_EQ(found->size(), 2u);
  EXPECT_EQ((*found)[0].Text, "Apricot");
  EXPECT_EQ((*found)[1].Integer, 0);
  EXPECT_FALSE((*found)[1].Null);
  EXPECT_EQ(Key(), "A2");
  table_.Next();
  EXPECT_EQ(Key(), "A3");

  found = table_.Lookup("Name", {S("Date")}, "Shelf");  // through the filter
  ASSERT_TRUE(found);
  EXPECT_EQ((*found)[0].Text, "C");
  EXPECT_EQ(Key(), "A3");
  EXPECT_FALSE(table_.Lookup("Name", {S("date")}, "Shelf"));  // case-sensitive
  EXPECT_FALSE(table_.Lookup("Qty", {I(99)}, "Name"));
  EXPECT_EQ(Key(), "A3");
  table_.Prior();
  EXPECT_EQ(Key(), "A2");
}

TEST_F(TableLocateTest, WrongFieldsAndValueCounts) {
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Locate("Shelf;Item", {S("A")}); }),
            "Field index out of range");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Locate("Nope", {S("A")}); }), "Field 'Nope' not found");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Lookup("Shelf", {S("A")}, "Nope"); }),
            "Field 'Nope' not found");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Locate("Qty", {S("many")}); }),
            "Value of field 'Qty' is out of range");
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
}

// --- Definitions ---------------------------------------------------------------

class TableDefsTest : public testing::StockTableTest {
 protected:
  TableDefsTest() { table_.Close(); }
};

TEST_F(TableDefsTest, FieldAndIndexDefinitionsAreReadWhileTheTableIsClosed) {
  const std::vector<TFieldDef>& fields = table_.FieldDefs();
  EXPECT_FALSE(table_.Active());
  EXPECT_EQ(table_.Database(), nullptr);
  EXPECT_TRUE(folder_.Database().DataSets().empty());
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0], (TFieldDef{"Shelf", TFieldType::String, 10, 0, 1}));
  EXPECT_EQ(fields[1], (TFieldDef{"Item", TFieldType::Integer, 0, 0, 2}));
  EXPECT_EQ(fields[2], (TFieldDef{"Name", TFieldType::String, 40, 0, 3}));
  EXPECT_EQ(fields[3], (TFieldDef{"Active", TFieldType::Boolean, 0, 0, 4}));
  EXPECT_EQ(fields[4], (TFieldDef{"Qty", TFieldType::SmallInt, 0, 0, 5}));

  const std::vector<TIndexDef>& indexes = table_.IndexDefs();
  ASSERT_EQ(indexes.size(), 4u);
  EXPECT_EQ(indexes[0], (TIndexDef{"", "Shelf;Item", ixo::Primary | ixo::Unique}));
  EXPECT_EQ(indexes[1], (TIndexDef{"ByName", "Name", ixo::CaseInsensitive}));
  EXPECT_EQ(indexes[2], (TIndexDef{"ByQty", "Qty", 0}));
  EXPECT_EQ(indexes[3], (TIndexDef{"ByShelfName", "Shelf;Name", 0}));

  // The second engine table is closed again: an exclusive open works.
  table_.SetExclusive(true);
  table_.Open();
  EXPECT_EQ(table_.IndexDefs(), indexes);
}

TEST_F(TableDefsTest, TheClosedReadingIsNeverExclusive) {
  TQuireTable other;
  Point(other);
  other.Open();  // shared
  table_.SetExclusive(true);
  EXPECT_EQ(table_.FieldDefs().size(), 5u);
  other.Close();
  other.SetExclusive(true);
  other.Open();
  table_.SetTableName("Shelves.DAT");
  testing::CreateSongTable(folder_.Path("Shelves.DAT"));
  // Another table's definitions after a change of the name.
  ASSERT_EQ(table_.FieldDefs().size(), 4u);
  EXPECT_EQ(table_.FieldDefs()[3], (TFieldDef{"Lyric", TFieldType::Memo, 0, 0, 4}));
  EXPECT_EQ(table_.IndexDefs()[1], (TIndexDef{"ByName", "Name", 0}));
  table_.SetTableName("Stock.DAT");
  EXPECT_EQ(testing::CodeOf([&] { table_.FieldDefs(); }), 11013);  // held exclusively
  table_.SetTableName("");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.IndexDefs(); }), "Missing table name.");
}

TEST_F(TableDefsTest, TypesTheDatasetDoesNotPresentAreLeftOut) {
  TTableCreateRequest request = testing::Request(
      {testing::Field("Amount", ftype::Bcd), testing::Field("Wide", ftype::Extended),
       testing::Field("Stamp", ftype::TimeStamp),
       testing::Field("Price", ftype::Float, 0, fsubtype::Money),
       testing::Field("ID", ftype::Integer, 0, fsubtype::AutoInc)});
  request.Fields[0].FieldDecimals = 2;
  testing::CreateTable(folder_.Path("Money.DAT"), request);
  table_.SetTableName("Money.DAT");
  const std::vector<TFieldDef>& defs = table_.FieldDefs();
  ASSERT_EQ(defs.size(), 4u);
  EXPECT_EQ(defs[0], (TFieldDef{"Amount", TFieldType::Bcd, 2, 20, 1}));
  EXPECT_EQ(defs[1], (TFieldDef{"Stamp", TFieldType::DateTime, 0, 0, 3}));
  EXPECT_EQ(defs[2], (TFieldDef{"Price", TFieldType::Currency, 0, 0, 4}));
  EXPECT_EQ(defs[3], (TFieldDef{"ID", TFieldType::AutoInc, 0, 0, 5}));
  EXPECT_TRUE(table_.IndexDefs().front().Fields.empty());  // no primary index
  table_.Open();
  EXPECT_EQ(table_.Fields().size(), 4u);
  EXPECT_EQ(table_.FindField("Wide"), nullptr);
  EXPECT_EQ(table_.FieldByName("Stamp").FieldNo(), 3);
}

TEST_F(TableDefsTest, DatasetTypesOfTheEngineTypes) {
  TFieldDescriptor field;
  const auto type = [&field](std::uint8_t engineType, std::uint8_t subType = 0) {
    field.FieldType = engineType;
    field.FieldSubType = subType;
    return DataSetTypeOf(field);
  };
  EXPECT_EQ(type(ftype::Integer, fsubtype::AutoInc), TFieldType::AutoInc);
  EXPECT_EQ(type(ftype::Float, fsubtype::Money), TFieldType::Currency);
  EXPECT_EQ(type(ftype::Float), TFieldType::Float);
  EXPECT_EQ(type(ftype::Blob, fsubtype::FormattedMemo), TFieldType::FmtMemo);
  EXPECT_EQ(type(ftype::Blob, fsubtype::Graphic), TFieldType::Graphic);
  EXPECT_EQ(type(ftype::Blob, fsubtype::Binary), TFieldType::Blob);
  EXPECT_EQ(type(ftype::TimeStamp), TFieldType::DateTime);
  EXPECT_EQ(type(ftype::UInt32), TFieldType::Integer);
  EXPECT_EQ(type(ftype::Extended), std::nullopt);
  EXPECT_EQ(type(16), std::nullopt);
}

}  // namespace
}  // namespace quire
