// SELECT result columns: "*" and table.* expansion, names with their
// counters, ORDER BY and GROUP BY items, and every message of preparing
// the select list.
#include <gtest/gtest.h>

#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

class SelectColumns : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Create("Song", {{"Code", ftype::String, 10},
                            {"Name", ftype::String, 40},
                            {"Year", ftype::Integer},
                            {"Price", ftype::Float}});
    folder_.Insert("Song", {{S("A1"), S("Rain"), I(1999), F(2.5)}});
    folder_.Create("List", {{"Code", ftype::String, 10}, {"Kind", ftype::SmallInt}});
    folder_.Insert("List", {{S("A1"), I(3)}});
  }

  std::vector<std::string> NamesOf(std::string_view text) {
    TSelectQuery query(folder_, text);
    query.Run();
    return query.ColumnNames();
  }

  std::string MessageOf(std::string_view text) {
    return SqlMessageOf([&] { TSelectQuery query(folder_, text); });
  }

  TSelectFolder folder_;
};

using Names = std::vector<std::string>;

TEST_F(SelectColumns, StarExpandsEveryTableInTheOrderTheStatementNamesThem) {
  EXPECT_EQ(NamesOf("SELECT * FROM Song"), (Names{"Code", "Name", "Year", "Price"}));
  // The right join puts List first in the source list; "*" still goes by
  // the order the tables are named in.
  EXPECT_EQ(NamesOf("SELECT * FROM Song RIGHT JOIN List ON Song.Code = List.Code"),
            (Names{"Code", "Name", "Year", "Price", "Code_1", "Kind"}));
  EXPECT_EQ(NamesOf("SELECT List.*, s.Year FROM Song s, List"), (Names{"Code", "Kind", "Year"}));
  TSelectQuery query(folder_, "SELECT * FROM Song RIGHT JOIN List ON Song.Code = List.Code");
  query.Run();
  EXPECT_EQ(query.Rows(), (Names{"A1|Rain|1999|2.5|A1|3"}));
}

TEST_F(SelectColumns, NamesComeFromAliasesColumnsAggregatesAndExpressions) {
  EXPECT_EQ(NamesOf("SELECT Code AS Song_Code, Year + 1, UPPER(Name) FROM Song"),
            (Names{"Song_Code", "Expression", "Expression_1"}));
  EXPECT_EQ(
      NamesOf("SELECT SUM(Year), MIN(Year), MAX(Price), AVG(Price), COUNT(Code) FROM Song"),
      (Names{"Sum Of Year", "Min Of Year", "Max Of Price", "Average Of Price", "Count Of Code"}));
  EXPECT_EQ(
      NamesOf("SELECT SUM(Year + 1), MIN(Year * 2), MAX(Year - 1), AVG(Price / 2), "
              "COUNT(Year + Year) FROM Song"),
      (Names{"Sum Of Expr", "Min Of Expr", "Max Of Expr", "Average Of Expr", "Count Of Expr"}));
  EXPECT_EQ(NamesOf("SELECT COUNT(*) FROM Song"), (Names{"Count Of *"}));
}

TEST_F(SelectColumns, RepeatedNamesGetACounterWithinThirtyCharacters) {
  EXPECT_EQ(NamesOf("SELECT s.Code, l.Code FROM Song s, List l"), (Names{"Code", "Code_1"}));
  // A column is named as its table names it, however the statement spells it.
  EXPECT_EQ(NamesOf("SELECT Code, code, CODE FROM Song"), (Names{"Code", "Code_1", "Code_2"}));
  const std::string alias(35, 'x');
  const Names names = NamesOf("SELECT Code AS " + alias + ", Name AS " + alias + " FROM Song");
  EXPECT_EQ(names, (Names{std::string(30, 'x'), std::string(28, 'x') + "_1"}));
  // A name written as another column's counted name is not taken twice.
  EXPECT_EQ(NamesOf("SELECT Code AS Code_1, Code, Code FROM Song"),
            (Names{"Code_1", "Code", "Code_2"}));
}

TEST_F(SelectColumns, OrderAndGroupItemsResolveByNameNumberAndCorrelationName) {
  folder_.Insert("List", {{S("B2"), I(1)}, {S("A0"), I(2)}});
  EXPECT_EQ(SelectRows(folder_, "SELECT Code, Kind FROM List ORDER BY 2"),
            (Names{"B2|1", "A0|2", "A1|3"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT Kind AS k, Code FROM List ORDER BY k DESC"),
            (Names{"3|A1", "2|A0", "1|B2"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT l.Kind, l.Code FROM List l ORDER BY l.Code"),
            (Names{"2|A0", "3|A1", "1|B2"}));
  EXPECT_EQ(SelectRows(folder_, "SELECT Code, COUNT(*) FROM List GROUP BY Code ORDER BY Code"),
            (Names{"A0|1", "A1|1", "B2|1"}));
}

TEST_F(SelectColumns, EveryMessageOfTheSelectList) {
  EXPECT_EQ(MessageOf("SELECT Code AS Row___No FROM Song"),
            "Invalid use of reserved field name 'Row___No'in source columns");
  EXPECT_EQ(MessageOf("SELECT * AS everything FROM Song"),
            "Invalid use of column correlation name 'everything' for '*' specified in source "
            "columns");
  EXPECT_EQ(MessageOf("SELECT Nothing FROM Song"),
            "Invalid column name 'Nothing' or table correlation name '' specified in source "
            "columns");
  EXPECT_EQ(MessageOf("SELECT x.* FROM Song"),
            "Invalid column name '*' or table correlation name 'x' specified in source columns");
  EXPECT_EQ(MessageOf("SELECT Code, SUM(Year) FROM Song"),
            "Invalid use of aggregate function for column 'SUM(Year)', the necessary GROUP BY "
            "clause is missing");
  EXPECT_EQ(MessageOf("SELECT Code FROM Song ORDER BY 2"),
            "Invalid column number '2' specified in ORDER BY clause");
  EXPECT_EQ(MessageOf("SELECT Code FROM Song ORDER BY 0"),
            "Invalid column number '0' specified in ORDER BY clause");
  EXPECT_EQ(MessageOf("SELECT Code FROM Song GROUP BY 3"),
            "Invalid column number '3' specified in GROUP BY clause");
  EXPECT_EQ(MessageOf("SELECT Code FROM Song ORDER BY Name"),
            "Invalid column name 'Name' or table correlation name '' specified in ORDER BY "
            "clause");
  EXPECT_EQ(MessageOf("SELECT Code FROM Song GROUP BY x.Code"),
            "Invalid column name 'Code' or table correlation name 'x' specified in GROUP BY "
            "clause");
  EXPECT_EQ(MessageOf("SELECT Code, COUNT(*) FROM Song GROUP BY 2"),
            "Invalid use of aggregate function for column 'COUNT(*)' specified in GROUP BY "
            "clause");
  EXPECT_EQ(MessageOf("SELECT SUM(Year) + 1 FROM Song"),
            "Invalid use of aggregate function for column 'SUM(Year) + 1', an aggregate "
            "function cannot stand inside an expression");
}

}  // namespace
}  // namespace quire::testing
