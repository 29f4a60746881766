// GROUP BY with every aggregate and NULL arguments, the all-aggregate query
// and the lone COUNT(*) that takes the view's count without reading records.
#include <gtest/gtest.h>

#include "engine/FieldTypes.h"
#include "index/IndexFile.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;

class SelectGroup : public ::testing::Test {
 protected:
  void SetUp() override {
    // An index on g only: conditions on n and f are tested record by record.
    folder_.Create("t", {{"g", ftype::String, 10}, {"n", ftype::Integer}, {"f", ftype::Float}},
                   IndexOn({1, 2}, false, "", true), {IndexOn({1}, false, "ByG")});
    folder_.Insert("t", {{S("a"), I(1), F(1.5)},
                         {S("a"), N, F(2.5)},
                         {S("a"), I(5), N},
                         {S("b"), I(2), N},
                         {S("b"), I(-3), N},
                         {N, I(7), F(1)}});
  }

  TSelectFolder folder_;
};

TEST_F(SelectGroup, EveryAggregateSkipsNullArguments) {
  TSelectQuery query(
      folder_, "SELECT g, SUM(n), MIN(n), MAX(n), COUNT(n), COUNT(*), AVG(f) FROM t GROUP BY g");
  query.Run();
  // Groups in the order they first came.
  EXPECT_EQ(query.Rows(), (Rows{"a|6|1|5|2|3|2", "b|-1|-3|2|2|2|NULL", "NULL|7|7|7|1|1|1"}));
  EXPECT_EQ(query.Execution().RowsAffected(), 3);
  // The AVG column is a float with its hidden count after the columns.
  const auto& fields = query.Result().LogicalFields();
  ASSERT_EQ(fields.size(), 9u);
  EXPECT_EQ(fields[0].FieldName, "Row___No");
  EXPECT_EQ(fields[7].FieldType, ftype::Float);
  EXPECT_EQ(fields[8].FieldName, "Avg__Count8");
  EXPECT_EQ(fields[8].FieldType, ftype::Integer);
  EXPECT_EQ(query.Execution().VisibleFields(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(SelectGroup, GroupsOrderedByTheirColumnOrAnAggregate) {
  EXPECT_EQ(SelectRows(folder_, "SELECT g, COUNT(*) FROM t GROUP BY g ORDER BY g DESC"),
            (Rows{"b|2", "a|3", "NULL|1"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT g, MAX(f) FROM t GROUP BY g ORDER BY 2, 1"),
            (Rows{"b|NULL", "NULL|1", "a|2.5"}));
  // Grouping by a calculated column.
  EXPECT_EQ(SelectRows(folder_, "SELECT n * 0, COUNT(*), SUM(n) FROM t WHERE n > 0 GROUP BY 1"),
            (Rows{"0|4|15"}));
  // The group index sits beside the ORDER BY index under its own name.
  TSelectQuery query(folder_, "SELECT g, COUNT(*) FROM t GROUP BY g ORDER BY 2");
  query.Run();
  TIndexFile& indexes = query.Result().IndexFile();
  ASSERT_EQ(indexes.SecondaryIndexCount(), 1u);
  EXPECT_EQ(indexes.Descriptor(1).Name, "GroupBy");
}

TEST_F(SelectGroup, AnAllAggregateQueryGivesOneRowEvenOverNoRows) {
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(*), SUM(n), AVG(f), MIN(n) FROM t"),
            (Rows{"6|12|1.66667|-3"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(*), SUM(n), MAX(f) FROM t WHERE n > 100"),
            (Rows{"0|NULL|NULL"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(n) FROM t"), (Rows{"5"}));
}

TEST_F(SelectGroup, LoneCountTakesTheViewsCountWithoutReadingRecords) {
  TSelectQuery query(folder_, "SELECT COUNT(*) FROM t WHERE g = 'a'");
  std::vector<std::int32_t> percents;
  query.Run([&](std::int32_t, std::int32_t percent, bool&) { percents.push_back(percent); });
  EXPECT_EQ(query.Rows(), (Rows{"3"}));
  EXPECT_EQ(query.Reads("t"), 0);
  EXPECT_EQ(percents, (std::vector<std::int32_t>{100}));
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(*) FROM t"), (Rows{"6"}));
}

TEST_F(SelectGroup, LoneCountUnderAConditionNoIndexAnswersCountsOnlyMatchingRows) {
  TSelectQuery query(folder_, "SELECT COUNT(*) FROM t WHERE f > 1.2");
  query.Run();
  EXPECT_EQ(query.Rows(), (Rows{"2"}));
  EXPECT_EQ(query.Reads("t"), 6);
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(*) FROM t WHERE n + 0 = 5 OR g = 'b'"), (Rows{"3"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT COUNT(*) FROM t WHERE g = 'a' AND f IS NULL"), (Rows{"1"}));
}

TEST_F(SelectGroup, AggregatesOverAJoin) {
  folder_.Create("k", {{"g", ftype::String, 10}, {"w", ftype::Integer}});
  folder_.Insert("k", {{S("a"), I(10)}, {S("b"), I(20)}, {S("b"), I(30)}});
  EXPECT_EQ(SelectRows(folder_,
                       "SELECT t.g, SUM(k.w), COUNT(*) FROM t JOIN k ON t.g = k.g "
                       "GROUP BY 1 ORDER BY 1"),
            (Rows{"a|30|3", "b|100|4"}));
}

}  // namespace
}  // namespace quire::testing
