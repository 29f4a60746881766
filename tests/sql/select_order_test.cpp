// SELECT ordering: ORDER BY with DESC and NOCASE through the result's index,
// an index of the source table giving the order itself, and live results
// that are the source table restricted to the condition.
#include <gtest/gtest.h>

#include "engine/FieldTypes.h"
#include "index/IndexFile.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;

class SelectOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Create("t", {{"s", ftype::String, 10}, {"n", ftype::Integer}},
                   IndexOn({2}, false, "", true),
                   {IndexOn({1}, true, "BySNoCase"), IndexOn({1}, false, "ByS"),
                    IndexOn({2}, false, "ByNDown", false, {true})});
    folder_.Insert(
        "t",
        {{S("beta"), I(2)}, {S("Alpha"), I(5)}, {S("alpha"), I(1)}, {S("Gamma"), I(4)}, {N, I(3)}});
  }

  TSelectFolder folder_;
};

TEST_F(SelectOrder, OrderByWithDescendingAndNocase) {
  // Byte order: capitals before small letters, NULL first.
  EXPECT_EQ(SelectRows(folder_, "SELECT s, n + 0 FROM t ORDER BY s"),
            (Rows{"NULL|3", "Alpha|5", "Gamma|4", "alpha|1", "beta|2"}));
  // NOCASE: letter case aside, equal keys in arrival order.
  EXPECT_EQ(SelectRows(folder_, "SELECT s, n + 0 FROM t ORDER BY s NOCASE"),
            (Rows{"NULL|3", "Alpha|5", "alpha|1", "beta|2", "Gamma|4"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT s, n + 0 FROM t ORDER BY s DESC NOCASE"),
            (Rows{"Gamma|4", "beta|2", "Alpha|5", "alpha|1", "NULL|3"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT n * 2, s FROM t ORDER BY 1 DESC"),
            (Rows{"10|Alpha", "8|Gamma", "6|NULL", "4|beta", "2|alpha"}));
  TSelectQuery query(folder_, "SELECT s, n + 0 FROM t ORDER BY s DESC NOCASE");
  query.Run();
  const TIndexDescriptor index = query.Result().IndexFile().Descriptor(0);
  EXPECT_EQ(index.CaseInsensitive, 1);
  EXPECT_EQ(index.FieldNumbers[0], 2);
  EXPECT_EQ(index.FieldDescending[0], 1);
}

TEST_F(SelectOrder, AnIndexOfTheSourceTableGivesTheOrder) {
  // Plain columns of one table: the source is read in the order of its
  // index, and the result needs none of its own.
  TSelectQuery down(folder_, "SELECT s, n FROM t ORDER BY n DESC");
  down.Run();
  EXPECT_EQ(down.Rows(), (Rows{"Alpha|5", "Gamma|4", "NULL|3", "beta|2", "alpha|1"}));
  EXPECT_FALSE(down.Result().IndexFile().HasPrimaryIndex());
  TSelectQuery nocase(folder_, "SELECT n, s FROM t WHERE n > 1 ORDER BY s NOCASE");
  nocase.Run();
  EXPECT_EQ(nocase.Rows(), (Rows{"3|NULL", "5|Alpha", "2|beta", "4|Gamma"}));
  EXPECT_FALSE(nocase.Result().IndexFile().HasPrimaryIndex());
}

TEST_F(SelectOrder, LiveResultIsTheSourceTableRestricted) {
  TSelectQuery live(folder_, "SELECT n, s FROM t WHERE n + 0 > 2 ORDER BY n", {.LiveResult = true});
  TDataFile& result = live.Run();
  EXPECT_EQ(&result, &live.Source("t"));
  // A condition no index answers still hides the records that fail it.
  EXPECT_EQ(live.Rows(), (Rows{"3|NULL", "4|Gamma", "5|Alpha"}));
  EXPECT_EQ(live.Execution().RowsAffected(), 3);
  EXPECT_EQ(live.Execution().VisibleFields(), (std::vector<int>{2, 1}));

  // A calculated column, or an order no index gives, needs a result table.
  TSelectQuery calculated(folder_, "SELECT n + 1 FROM t", {.LiveResult = true});
  EXPECT_NE(&calculated.Run(), &calculated.Source("t"));
  TSelectQuery unordered(folder_, "SELECT s, n FROM t ORDER BY s DESC", {.LiveResult = true});
  EXPECT_NE(&unordered.Run(), &unordered.Source("t"));
}

}  // namespace
}  // namespace quire::testing
