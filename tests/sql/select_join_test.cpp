// SELECT over several tables: inner, left and right joins, cross products,
// conditions over several tables kept whole, links answered from an index
// or by testing, and the join messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;

class SelectJoin : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    // With the parameter the joined columns have indexes, so that links are
    // answered from them; without, every record is tested.
    const bool indexed = GetParam();
    const std::vector<TColumnSpec> columns{{"x", ftype::Integer}, {"y", ftype::Integer}};
    for (const char* name : {"a", "b", "c"})
      folder_.Create(
          name, columns, indexed ? IndexOn({1, 2}, false, "", true) : TIndexDefinition{},
          indexed ? std::vector{IndexOn({2}, false, "ByY")} : std::vector<TIndexDefinition>{});
    folder_.Insert("a", {{I(1), I(10)}, {I(2), I(20)}, {I(3), I(30)}});
    folder_.Insert("b", {{I(1), I(100)}, {I(1), I(101)}, {I(4), I(400)}, {I(9), I(20)}});
    folder_.Insert("c", {{I(100), I(7)}, {I(400), I(8)}});
  }

  Rows Sorted(std::string_view text) {
    Rows rows = SelectRows(folder_, text);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  TSelectFolder folder_;
};

TEST_P(SelectJoin, InnerJoinsGiveTheMatchingPairsWhereverTheComparisonIsWritten) {
  const Rows expected{"1|100", "1|101"};
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a JOIN b ON a.x = b.x"), expected);
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a INNER JOIN b ON b.x = a.x"), expected);
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a, b WHERE a.x = b.x"), expected);
  // The later table's column on the right: the operator is mirrored.
  EXPECT_EQ(Sorted("SELECT a.x, b.x FROM a, b WHERE a.x > b.x"),
            (Rows{"2|1", "2|1", "3|1", "3|1"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.x FROM a, b WHERE b.x < a.x AND b.y <> 101"),
            (Rows{"2|1", "3|1"}));
}

TEST_P(SelectJoin, LeftJoinKeepsEveryPreservedRowWithNullsWhereNothingMatches) {
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON a.x = b.x"),
            (Rows{"1|100", "1|101", "2|NULL", "3|NULL"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT OUTER JOIN b ON b.x = a.x AND b.y > 100"),
            (Rows{"1|101", "2|NULL", "3|NULL"}));
  // A condition on the preserved table alone restricts its rows.
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON a.x = b.x WHERE a.x > 1"),
            (Rows{"2|NULL", "3|NULL"}));
}

TEST_P(SelectJoin, RightJoinPreservesTheTableNamedOnTheRight) {
  EXPECT_EQ(Sorted("SELECT a.x, b.x, b.y FROM a RIGHT JOIN b ON a.x = b.x"),
            (Rows{"1|1|100", "1|1|101", "NULL|4|400", "NULL|9|20"}));
  EXPECT_EQ(Sorted("SELECT b.y, a.y FROM a RIGHT OUTER JOIN b ON b.y = a.y"),
            (Rows{"100|NULL", "101|NULL", "20|20", "400|NULL"}));
}

TEST_P(SelectJoin, AnOrAcrossTablesInALeftJoinsOnKeepsEveryPreservedRow) {
  EXPECT_EQ(Sorted("SELECT a.x, b.x FROM a LEFT JOIN b ON a.x = b.x OR a.y = b.y"),
            (Rows{"1|1", "1|1", "2|9", "3|NULL"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON (a.x = b.x OR a.y = b.y) AND b.y < 101"),
            (Rows{"1|100", "2|20", "3|NULL"}));
}

TEST_P(SelectJoin, AnOrAcrossTablesInWhereIsNotSplitIntoAnAnd) {
  // Split per table it would keep only a.x = 3 with b.x = 4.
  EXPECT_EQ(Sorted("SELECT a.x, b.x FROM a, b WHERE a.x = 3 OR b.x = 4"),
            (Rows{"1|4", "2|4", "3|1", "3|1", "3|4", "3|9"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.x FROM a, b WHERE (a.x = b.x OR a.y = b.y) AND a.x <> 1"),
            (Rows{"2|9"}));
}

TEST_P(SelectJoin, CrossProductsAndChainsOfJoins) {
  EXPECT_EQ(SelectRows(folder_, "SELECT a.x, c.x FROM a, c").size(), 6u);
  EXPECT_EQ(Sorted("SELECT a.x, b.y, c.y FROM a JOIN b ON a.x = b.x JOIN c ON c.x = b.y"),
            (Rows{"1|100|7"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.y, c.y FROM a LEFT JOIN b ON a.x = b.x "
                   "LEFT JOIN c ON b.y = c.x"),
            (Rows{"1|100|7", "1|101|NULL", "2|NULL|NULL", "3|NULL|NULL"}));
  // Single-table conditions of every table restrict its records.
  EXPECT_EQ(Sorted("SELECT a.x, c.y FROM a, c WHERE a.x >= 2 AND c.y = 8"), (Rows{"2|8", "3|8"}));
}

TEST_P(SelectJoin, ATableJoinedToItselfUnderTwoNames) {
  EXPECT_EQ(Sorted("SELECT p.x, q.x FROM b p JOIN b q ON p.x = q.x AND p.y < q.y"), (Rows{"1|1"}));
  EXPECT_EQ(Sorted("SELECT p.y, q.y FROM a p LEFT JOIN a q ON q.x = p.x + 1"),
            (Rows{"10|20", "20|30", "30|NULL"}));
}

TEST_P(SelectJoin, JoinMessages) {
  const auto message = [&](std::string_view text) {
    return SqlMessageOf([&] { TSelectQuery query(folder_, text); });
  };
  EXPECT_EQ(message("SELECT a.x FROM a, b, c WHERE a.x + b.x = c.x"),
            "The join condition cannot contain multiple table correlation names in either the "
            "left or right operand in WHERE or JOIN clause");
}

TEST_P(SelectJoin, OnDecidesThePairsAndWhereTheRowsOfAnOuterJoin) {
  // ON naming only the preserved table: a 1 fails it and is NULL-extended,
  // not dropped.
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON a.x = b.x AND a.x > 1"),
            (Rows{"1|NULL", "2|NULL", "3|NULL"}));
  // WHERE over the filled table tests the joined rows, NULLs included.
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON a.x = b.x WHERE b.y > 100"),
            (Rows{"1|101"}));
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM a LEFT JOIN b ON a.x = b.x WHERE b.y IS NULL"),
            (Rows{"2|NULL", "3|NULL"}));
  // NULL is a value that differs from 100 here, so a 2's filled row stays.
  EXPECT_EQ(Sorted("SELECT a.x, b.y FROM b RIGHT JOIN a ON a.x = b.x WHERE a.x < 3 AND b.y <> 100"),
            (Rows{"1|101", "2|NULL"}));
}

TEST_P(SelectJoin, ARightJoinFillsEveryTableJoinedBeforeIt) {
  // (a JOIN b) RIGHT JOIN c: c 400 pairs with no a-b row and comes out once,
  // not once per row of a.
  EXPECT_EQ(Sorted("SELECT a.x, b.y, c.x FROM a JOIN b ON a.x = b.x RIGHT JOIN c ON c.x = b.y"),
            (Rows{"1|100|100", "NULL|NULL|400"}));
  // (a LEFT JOIN b) RIGHT JOIN c: b 400 has no a, so it is not among the
  // left join's rows.
  EXPECT_EQ(Sorted("SELECT a.x, b.y, c.x FROM a LEFT JOIN b ON a.x = b.x "
                   "RIGHT JOIN c ON c.x = b.y"),
            (Rows{"1|100|100", "NULL|NULL|400"}));
  // A right join's ON naming only its own table: no pair for c 100.
  EXPECT_EQ(Sorted("SELECT a.x, c.x FROM a RIGHT JOIN c ON c.x = 400 AND a.x = 1"),
            (Rows{"1|400", "NULL|100"}));
}

TEST_P(SelectJoin, ARightJoinAfterACommaFillsOnlyItsOwnItem) {
  // a, ((p RIGHT JOIN c) RIGHT JOIN q): the joins of the second item do not
  // reach a.
  const std::string from = " FROM a, b p RIGHT JOIN c ON c.x = p.y RIGHT JOIN b q ON q.y = c.x";
  EXPECT_EQ(SelectRows(folder_, "SELECT a.x" + from).size(), 12u);
  EXPECT_EQ(Sorted("SELECT a.x, p.x, c.x, q.y" + from + " WHERE a.x = 1"),
            (Rows{"1|1|100|100", "1|4|400|400", "1|NULL|NULL|101", "1|NULL|NULL|20"}));
}

INSTANTIATE_TEST_SUITE_P(IndexedOrNot, SelectJoin, ::testing::Bool());

}  // namespace
}  // namespace quire::testing
