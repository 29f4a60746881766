// SELECT DISTINCT: equal rows once, the 16-column limit, and the DISTINCT
// index beside an ORDER BY index or as the ORDER BY index itself.
#include <gtest/gtest.h>

#include "engine/FieldTypes.h"
#include "index/IndexFile.h"
#include "support/ExpressionTesting.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;

class SelectDistinct : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<TColumnSpec> columns;
    for (int i = 1; i <= 17; ++i) columns.push_back({"c" + std::to_string(i), ftype::SmallInt});
    folder_.Create("wide", columns);
    std::vector<TValue> row;
    for (int i = 1; i <= 17; ++i) row.push_back(I(i));
    folder_.Insert("wide", {row, row});

    folder_.Create("t", {{"s", ftype::String, 10}, {"n", ftype::Integer}});
    folder_.Insert("t", {{S("b"), I(1)},
                         {S("a"), I(2)},
                         {S("b"), I(1)},
                         {S("B"), I(1)},
                         {N, N},
                         {N, N},
                         {S("a"), I(3)}});
  }

  static std::string Columns(int count) {
    std::string list;
    for (int i = 1; i <= count; ++i) list += (i > 1 ? ", c" : "c") + std::to_string(i);
    return list;
  }

  TSelectFolder folder_;
};

TEST_F(SelectDistinct, SixteenColumnsWorkAndSeventeenAreRefused) {
  EXPECT_EQ(SelectRows(folder_, "SELECT DISTINCT " + Columns(16) + " FROM wide"),
            (Rows{"1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16"}));
  EXPECT_EQ(SqlMessageOf([&] {
              TSelectQuery query(folder_, "SELECT DISTINCT " + Columns(17) + " FROM wide");
            }),
            "Maximum number of columns (16) in DISTINCT clause exceeded");
  EXPECT_EQ(SqlMessageOf([&] { TSelectQuery query(folder_, "SELECT DISTINCT * FROM wide"); }),
            "Maximum number of columns (16) in DISTINCT clause exceeded");
  // Under GROUP BY the DISTINCT is dropped, and its limit with it.
  EXPECT_EQ(
      SelectRows(folder_, "SELECT DISTINCT " + Columns(17) + " FROM wide GROUP BY " + Columns(16)),
      (Rows{"1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|17"}));
}

TEST_F(SelectDistinct, EqualRowsComeOnceInArrivalOrder) {
  EXPECT_EQ(SelectRows(folder_, "SELECT DISTINCT s, n FROM t"),
            (Rows{"b|1", "a|2", "B|1", "NULL|NULL", "a|3"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT DISTINCT n FROM t"), (Rows{"1", "2", "NULL", "3"}));
}

TEST_F(SelectDistinct, DistinctIndexBesideOrByTheOrderByIndex) {
  TSelectQuery beside(folder_, "SELECT DISTINCT s, n FROM t ORDER BY n DESC");
  beside.Run();
  EXPECT_EQ(beside.Rows(), (Rows{"a|3", "a|2", "b|1", "B|1", "NULL|NULL"}));
  ASSERT_EQ(beside.Result().IndexFile().SecondaryIndexCount(), 1u);
  EXPECT_EQ(beside.Result().IndexFile().Descriptor(1).Name, "Distinct");

  TSelectQuery same(folder_, "SELECT DISTINCT s, n FROM t ORDER BY s, n");
  same.Run();
  EXPECT_EQ(same.Rows(), (Rows{"NULL|NULL", "B|1", "a|2", "a|3", "b|1"}));
  EXPECT_EQ(same.Result().IndexFile().SecondaryIndexCount(), 0u);
}

}  // namespace
}  // namespace quire::testing
