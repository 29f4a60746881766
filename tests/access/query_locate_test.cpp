// Locate, Lookup and filters on a query's result: the dataset base serves
// them without the table's second engine table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/Query.h"
#include "support/StockTable.h"

namespace quire {
namespace {

class QueryLocateTest : public testing::StockTableTest {
 protected:
  QueryLocateTest() {
    table_.Close();
    query_.SetDatabaseName(folder_.Name());
    query_.AddSQL("SELECT Shelf, Item, Name, Qty FROM Stock");
    query_.Open();
  }

  std::string Row() {
    return query_.FieldByName("Shelf").AsString() +
           std::to_string(query_.FieldByName("Item").AsInteger());
  }

  TQuireQuery query_;
};

TEST_F(QueryLocateTest, LocateAndLookupOnAResultSet) {
  ASSERT_EQ(query_.RecordCount(), 6);
  EXPECT_TRUE(query_.Locate("Name", {TValue::String("CHERRY")}, lo::CaseInsensitive));
  EXPECT_EQ(Row(), "A3");
  EXPECT_TRUE(query_.Locate("Shelf;Item", {TValue::String("B"), TValue::Int(2)}));
  EXPECT_EQ(Row(), "B2");
  EXPECT_TRUE(query_.Locate("Name", {TValue::String("ap")}, lo::CaseInsensitive | lo::PartialKey));
  EXPECT_EQ(Row(), "A1");
  EXPECT_TRUE(query_.Locate("Name", {TValue::String("Ap")}, lo::PartialKey));
  EXPECT_EQ(Row(), "B1");
  EXPECT_FALSE(query_.Locate("Name", {TValue::String("AP")}, lo::PartialKey));
  EXPECT_EQ(Row(), "B1");

  const auto found = query_.Lookup("Name", {TValue::String("Date")}, "Qty;Shelf");
  ASSERT_TRUE(found);
  EXPECT_EQ((*found)[0].Integer, 3);
  EXPECT_EQ((*found)[1].Text, "C");
  EXPECT_EQ(Row(), "B1");
  EXPECT_EQ(query_.RecordCount(), 6);  // the temporary filter is gone
}

TEST_F(QueryLocateTest, AFilteredResultSet) {
  query_.SetFilter("Qty >= 5");
  query_.SetFiltered(true);
  std::vector<std::string> rows;
  for (query_.First(); !query_.Eof(); query_.Next()) rows.push_back(Row());
  EXPECT_EQ(rows, (std::vector<std::string>{"A1", "A3", "B2"}));
  EXPECT_FALSE(query_.Locate("Name", {TValue::String("Date")}));
  query_.SetFiltered(false);
  EXPECT_TRUE(query_.FindFirst());
  EXPECT_EQ(Row(), "A1");
  EXPECT_TRUE(query_.FindLast());
  EXPECT_EQ(Row(), "B2");
}

}  // namespace
}  // namespace quire
