// What the statement parser makes of valid statements: kinds, clause lists,
// options, conditions, joins and parameters.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/JoinComparisons.h"
#include "support/StatementFixture.h"

namespace quire::testing {
namespace {

// The join kind of every comparison in the tree, by its text: "a.x = b.x:2".
void CollectComparisons(const TQueryExprNode* node, std::vector<std::string>& out) {
  if (node == nullptr) return;
  if (node->Kind == nkBinary && IsComparisonOp(node->OpCode))
    out.push_back(node->Left->Text + " " + node->Text + " " + node->Right->Text + ":" +
                  std::to_string(node->JoinKind));
  CollectComparisons(node->Left.get(), out);
  CollectComparisons(node->Right.get(), out);
  CollectComparisons(node->Next.get(), out);
}

// Over every join's ON in order, then WHERE.
std::vector<std::string> Comparisons(const TStatement& s) {
  std::vector<std::string> out;
  for (const TJoinClause& join : s.Joins) CollectComparisons(join.Condition.get(), out);
  CollectComparisons(s.Condition.get(), out);
  return out;
}

TEST_F(StatementTest, DeleteWithConditionInAnyLetterCase) {
  const TStatement& s = Parse("delete from Song where Code = 'A1';");
  EXPECT_EQ(s.Kind, skDelete);
  ASSERT_EQ(s.SourceTables.size(), 1u);
  EXPECT_EQ(s.SourceTables[0]->CorrelationName(), "Song");
  EXPECT_EQ(s.SourceTables[0]->TableName(), "/db/Song");
  EXPECT_EQ(s.SourceTables[0]->TableNumber(), 1);
  EXPECT_TRUE(s.HasCondition);
  ASSERT_TRUE(s.Condition);
  EXPECT_EQ(s.Condition->OpCode, op::Equal);
  EXPECT_EQ(s.Condition->Type(), ftype::Boolean);
  const TQueryExprNode& code = *s.Condition->Left;
  EXPECT_TRUE(code.IsColumn());
  EXPECT_EQ(code.FieldNo, 1);
  EXPECT_EQ(code.SourceTable, s.SourceTables[0].get());
  EXPECT_EQ(code.Type(), ftype::String);
  EXPECT_EQ(code.Value.Size, 11);
  EXPECT_TRUE(s.Condition->Right->IsConstant());
  EXPECT_EQ(s.Condition->Right->Value.Text, "A1");
  EXPECT_EQ(s.Condition->JoinKind, 0);
  EXPECT_FALSE(s.SeveralTables);

  EXPECT_EQ(Parse("DeLeTe FrOm Song").Kind, skDelete);
  EXPECT_FALSE(query.Statement().HasCondition);
  EXPECT_FALSE(query.Statement().Condition);
}

TEST_F(StatementTest, TargetAliasesOfDeleteAndUpdate) {
  const TStatement& del = Parse("DELETE FROM Song S WHERE S.Code = 'x'");
  EXPECT_EQ(del.SourceTables.at(0)->CorrelationName(), "S");
  EXPECT_EQ(del.Condition->Left->SourceTable, del.SourceTables[0].get());
  EXPECT_EQ(Parse("DELETE FROM Song AS T").SourceTables.at(0)->CorrelationName(), "T");
  EXPECT_EQ(Parse("DELETE FROM Song 'Q'").SourceTables.at(0)->CorrelationName(), "Q");
  EXPECT_EQ(Parse("UPDATE Song U SET Year = 1").SourceTables.at(0)->CorrelationName(), "U");
  EXPECT_EQ(Parse("UPDATE Song AS V SET Year = 1").SourceTables.at(0)->CorrelationName(), "V");
  EXPECT_EQ(Parse("UPDATE Song \"W\" SET Year = 1").SourceTables.at(0)->CorrelationName(), "W");
  EXPECT_EQ(Parse("INSERT INTO Song N VALUES ('x')").SourceTables.at(0)->CorrelationName(), "N");
}

TEST_F(StatementTest, CommentsAndBracketedKeywords) {
  EXPECT_EQ(Parse("/* remove */ DELETE FROM Song").Kind, skDelete);
  EXPECT_EQ(Parse("/* a lone * here */DELETE /**/ FROM Song").Kind, skDelete);
  // A keyword in brackets is still the keyword.
  const TStatement& s = Parse("[SELECT] x [FROM] a [WHERE] x = 1");
  EXPECT_EQ(s.Kind, skSelect);
  EXPECT_TRUE(s.HasCondition);
}

TEST_F(StatementTest, SelectItemsKeepTheirTextAndAlias) {
  const TStatement& s =
      Parse("SELECT ALL a.x, x + 1 AS total, y second, COUNT(*) 'n', x AS t.renamed FROM a");
  EXPECT_EQ(s.Kind, skSelect);
  EXPECT_FALSE(s.Distinct);
  ASSERT_EQ(s.ResultFields.size(), 5u);
  EXPECT_EQ(s.ResultFields[0].SourceText, "a.x");
  EXPECT_EQ(s.ResultFields[0].Alias, "");
  EXPECT_TRUE(s.ResultFields[0].Expression->IsColumn());
  EXPECT_EQ(s.ResultFields[0].Expression->TableName, "a");
  EXPECT_EQ(s.ResultFields[1].SourceText, "x + 1");
  EXPECT_EQ(s.ResultFields[1].Alias, "total");
  EXPECT_EQ(s.ResultFields[1].Expression->OpCode, op::Add);
  EXPECT_EQ(s.ResultFields[2].Alias, "second");
  EXPECT_EQ(s.ResultFields[3].SourceText, "COUNT(*)");
  EXPECT_EQ(s.ResultFields[3].Alias, "n");
  EXPECT_EQ(s.ResultFields[4].Alias, "renamed");
  // Select items are bound by the executor, not here.
  EXPECT_EQ(s.ResultFields[1].Expression->Left->SourceTable, nullptr);
  EXPECT_TRUE(schemas.asked.empty());

  EXPECT_TRUE(Parse("SELECT DISTINCT * FROM a").Distinct);
  EXPECT_TRUE(Parse("select all distinct x from a").Distinct);
  EXPECT_EQ(query.Statement().ResultFields.at(0).Expression->ColumnName, "x");
}

TEST_F(StatementTest, SelectOptionsInTheirOrder) {
  const TStatement& s =
      Parse("SELECT x FROM a WHERE x > 1 GROUP BY x ORDER BY x WITH LOCKS ENCRYPTED WITH secret;");
  EXPECT_TRUE(s.HasGroupBy);
  EXPECT_TRUE(s.HasOrderBy);
  EXPECT_FALSE(s.NoCase);
  EXPECT_TRUE(s.WithLocks);
  EXPECT_TRUE(s.Encrypted);
  EXPECT_EQ(s.Password, "secret");
  EXPECT_EQ(s.ResultTableName, "");

  const TStatement& plain = Parse("SELECT x FROM a");
  EXPECT_FALSE(plain.HasGroupBy || plain.HasOrderBy || plain.WithLocks || plain.Encrypted ||
               plain.HasCondition || plain.Distinct || plain.ResultInMemory);
}

TEST_F(StatementTest, EncryptedTakesTheNextTokenAsWritten) {
  EXPECT_EQ(Parse("SELECT x FROM a ENCRYPTED WITH 'it''s'").Password, "it''s");
  EXPECT_EQ(Parse("SELECT x FROM a ENCRYPTED WITH [pw]").Password, "pw");
  EXPECT_EQ(Parse("SELECT x FROM a ENCRYPTED WITH 1234").Password, "1234");
  EXPECT_EQ(Parse("SELECT x FROM a ENCRYPTED WITH FROM").Password, "FROM");
}

TEST_F(StatementTest, IntoNamesTheResultTable) {
  const TStatement& s = Parse("SELECT x INTO result FROM a");
  EXPECT_EQ(s.ResultTableName, "result");
  EXPECT_FALSE(s.ResultInMemory);
  const TStatement& m = Parse("SELECT x AS y INTO MEMORY 'Temp Result' FROM a");
  EXPECT_EQ(m.ResultTableName, "Temp Result");
  EXPECT_TRUE(m.ResultInMemory);
  EXPECT_EQ(m.ResultFields.at(0).Alias, "y");
}

TEST_F(StatementTest, OrderByItems) {
  const TStatement& s = Parse("SELECT x FROM a ORDER BY 1 DESC NOCASE");
  ASSERT_EQ(s.OrderByFields.size(), 1u);
  EXPECT_EQ(s.OrderByFields[0].ColumnNo, 1);
  EXPECT_EQ(s.OrderByFields[0].ColumnName, "");
  EXPECT_TRUE(s.OrderByFields[0].Descending);
  EXPECT_TRUE(s.NoCase);
  EXPECT_TRUE(s.HasOrderBy);

  const TStatement& t =
      Parse("SELECT x FROM a ORDER BY a.x ASC, y DESCENDING, 'z' ascending, 2, \"t\".\"w\" desc");
  ASSERT_EQ(t.OrderByFields.size(), 5u);
  EXPECT_EQ(t.OrderByFields[0].TableName, "a");
  EXPECT_EQ(t.OrderByFields[0].ColumnName, "x");
  EXPECT_EQ(t.OrderByFields[0].ColumnNo, 0);
  EXPECT_FALSE(t.OrderByFields[0].Descending);
  EXPECT_EQ(t.OrderByFields[1].ColumnName, "y");
  EXPECT_EQ(t.OrderByFields[1].TableName, "");
  EXPECT_TRUE(t.OrderByFields[1].Descending);
  EXPECT_EQ(t.OrderByFields[2].ColumnName, "z");
  EXPECT_FALSE(t.OrderByFields[2].Descending);
  EXPECT_EQ(t.OrderByFields[3].ColumnNo, 2);
  EXPECT_FALSE(t.OrderByFields[3].Descending);
  EXPECT_EQ(t.OrderByFields[4].TableName, "t");
  EXPECT_EQ(t.OrderByFields[4].ColumnName, "w");
  EXPECT_TRUE(t.OrderByFields[4].Descending);
  EXPECT_FALSE(t.NoCase);
  EXPECT_FALSE(t.HasGroupBy);
}

TEST_F(StatementTest, GroupByItems) {
  const TStatement& s = Parse("SELECT x, COUNT(*) FROM a GROUP BY a.x, 1, 'y' ORDER BY 2");
  ASSERT_EQ(s.GroupByFields.size(), 3u);
  EXPECT_EQ(s.GroupByFields[0].TableName, "a");
  EXPECT_EQ(s.GroupByFields[0].ColumnName, "x");
  EXPECT_EQ(s.GroupByFields[1].ColumnNo, 1);
  EXPECT_EQ(s.GroupByFields[1].ColumnName, "");
  EXPECT_EQ(s.GroupByFields[2].ColumnName, "y");
  EXPECT_TRUE(s.HasGroupBy);
  ASSERT_EQ(s.OrderByFields.size(), 1u);
  EXPECT_EQ(s.OrderByFields[0].ColumnNo, 2);
}

TEST_F(StatementTest, SeveralTablesComeFromACommaOrAJoin) {
  EXPECT_TRUE(Parse("SELECT * FROM a, b").SeveralTables);
  EXPECT_FALSE(query.Statement().HasCondition);
  EXPECT_FALSE(Parse("SELECT * FROM a").SeveralTables);
  EXPECT_TRUE(Parse("SELECT * FROM a JOIN b ON a.x = b.x").SeveralTables);
  EXPECT_TRUE(query.Statement().HasCondition);
}

TEST_F(StatementTest, JoinKinds) {
  const auto kindOf = [this](const std::string& join) {
    const TStatement& s = Parse("SELECT * FROM a " + join + " b ON a.x = b.x");
    if (s.Joins.size() != 1 || s.Joins[0].Condition->JoinKind != s.Joins[0].Kind) return -1;
    return int(s.Joins[0].Kind);
  };
  EXPECT_EQ(kindOf("JOIN"), jkInner);
  EXPECT_EQ(kindOf("INNER JOIN"), jkInner);
  EXPECT_EQ(kindOf("LEFT JOIN"), jkLeft);
  EXPECT_EQ(kindOf("left outer join"), jkLeft);
  EXPECT_EQ(kindOf("RIGHT JOIN"), jkRight);
  EXPECT_EQ(kindOf("RIGHT OUTER JOIN"), jkRight);
  EXPECT_EQ(jkInner, 1);
  EXPECT_EQ(jkLeft, 2);
  EXPECT_EQ(jkRight, 3);
}

TEST_F(StatementTest, JoinMarksComparisonsBetweenColumnsThroughAndOrAndNot) {
  const TStatement& s = Parse(
      "SELECT * FROM a LEFT JOIN b ON a.x = b.x AND a.y > 1 AND (b.y < a.y OR NOT (a.x <> b.y)) "
      "AND a.x + 1 >= b.bx AND a.x = a.y AND 2 <= b.y");
  EXPECT_EQ(Comparisons(s),
            (std::vector<std::string>{"a.x = b.x:2", "a.y > 1:0", "b.y < a.y:2", "a.x <> b.y:2",
                                      "+ >= b.bx:2", "a.x = a.y:2", "2 <= b.y:0"}));
}

TEST_F(StatementTest, JoinMarksNothingInsidePredicatesOrNestedComparisons) {
  const TStatement& s = Parse(
      "SELECT * FROM a JOIN b ON b.x IN (1, 2) AND (a.x = b.x) IN (TRUE) AND "
      "(a.x = b.x) = (a.y = b.y) AND b.bx IS NULL");
  EXPECT_EQ(Comparisons(s), (std::vector<std::string>{"a.x = b.x:0", "= = =:1", "a.x = b.x:0",
                                                      "a.y = b.y:0", "b.bx IS NULL NULL:0"}));
}

TEST_F(StatementTest, WhereComparisonsStayUnmarked) {
  const TStatement& s = Parse("SELECT * FROM a, b WHERE a.x = b.x");
  EXPECT_EQ(Comparisons(s), (std::vector<std::string>{"a.x = b.x:0"}));
}

TEST_F(StatementTest, EachOnIsKeptWithItsJoinApartFromWhere) {
  const TStatement& s =
      Parse("SELECT * FROM a JOIN b ON a.x = b.x RIGHT JOIN c ON b.y = c.y WHERE a.ax = 5");
  EXPECT_TRUE(s.HasCondition);
  ASSERT_TRUE(s.Condition);
  EXPECT_EQ(s.Condition->Left->Text, "a.ax");
  EXPECT_EQ(s.Condition->JoinKind, 0);
  ASSERT_EQ(s.Joins.size(), 2u);
  EXPECT_EQ(s.Joins[0].Kind, jkInner);
  EXPECT_EQ(s.Joins[0].Table->CorrelationName(), "b");
  EXPECT_EQ(s.Joins[0].Condition->Left->Text, "a.x");
  EXPECT_EQ(s.Joins[1].Kind, jkRight);
  EXPECT_EQ(s.Joins[1].Table->CorrelationName(), "c");
  EXPECT_EQ(s.Joins[1].Condition->Left->Text, "b.y");
  // The right join's table stands first; the FROM item keeps the order named.
  EXPECT_EQ(s.SourceTables[0]->CorrelationName(), "c");
  ASSERT_EQ(s.FromItems.size(), 1u);
  ASSERT_EQ(s.FromItems[0].size(), 3u);
  EXPECT_EQ(s.FromItems[0][0]->CorrelationName(), "a");
  EXPECT_EQ(s.FromItems[0][2]->CorrelationName(), "c");
}

TEST_F(StatementTest, ACommaStartsANewFromItem) {
  const TStatement& s =
      Parse("SELECT * FROM a LEFT JOIN b ON a.x = b.x, b d RIGHT JOIN c ON c.cx = d.bx");
  EXPECT_FALSE(s.Condition);
  ASSERT_EQ(s.FromItems.size(), 2u);
  EXPECT_EQ(s.FromItems[0].size(), 2u);
  ASSERT_EQ(s.FromItems[1].size(), 2u);
  EXPECT_EQ(s.FromItems[1][0]->CorrelationName(), "d");
  ASSERT_EQ(s.Joins.size(), 2u);
  EXPECT_EQ(s.Joins[0].FromItem, 0u);
  EXPECT_EQ(s.Joins[1].FromItem, 1u);
}

TEST_F(StatementTest, InsertWithoutColumnListTargetsAllColumns) {
  const TStatement& s = Parse("INSERT INTO Song VALUES (1, 'a')");
  EXPECT_EQ(s.Kind, skInsert);
  ASSERT_EQ(s.TargetFields.size(), 1u);
  EXPECT_TRUE(s.TargetFields[0].Column->IsColumn());
  EXPECT_EQ(s.TargetFields[0].Column->ColumnName, "*");
  ASSERT_EQ(s.Values.size(), 2u);
  EXPECT_EQ(s.Values[0].SourceText, "1");
  EXPECT_EQ(s.Values[0].Value->Type(), ftype::Integer);
  EXPECT_EQ(s.Values[1].SourceText, "'a'");
  EXPECT_EQ(s.Values[1].Value->Value.Text, "a");
  EXPECT_EQ(s.SourceTables.at(0)->TableName(), "/db/Song");
}

TEST_F(StatementTest, InsertColumnsPairWithValues) {
  const TStatement& s = Parse(
      "INSERT INTO Song (Code, 'Name', \"Year\") VALUES ('A1', 'It''s' + ' mine', 1999 + 1);");
  ASSERT_EQ(s.TargetFields.size(), 3u);
  ASSERT_EQ(s.Values.size(), 3u);
  const char* names[] = {"Code", "Name", "Year"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(s.TargetFields[i].Column->IsColumn()) << i;
    EXPECT_EQ(s.TargetFields[i].Column->ColumnName, names[i]);
  }
  EXPECT_EQ(s.Values[0].SourceText, "'A1'");
  EXPECT_EQ(s.Values[1].SourceText, "'It''s' + ' mine'");
  EXPECT_EQ(s.Values[1].Value->Type(), ftype::String);
  EXPECT_EQ(s.Values[2].SourceText, "1999 + 1");
  EXPECT_EQ(s.Values[2].Value->Type(), ftype::Integer);
}

TEST_F(StatementTest, UpdateAssignmentsPairColumnsWithValues) {
  const TStatement& s =
      Parse("UPDATE Song SET Name = 'x', 'Year' = Year + 1, Price = ? WHERE Code = 'A1'");
  EXPECT_EQ(s.Kind, skUpdate);
  ASSERT_EQ(s.TargetFields.size(), 3u);
  ASSERT_EQ(s.Values.size(), 3u);
  EXPECT_EQ(s.TargetFields[0].Column->ColumnName, "Name");
  EXPECT_EQ(s.TargetFields[1].Column->ColumnName, "Year");
  EXPECT_TRUE(s.TargetFields[1].Column->IsColumn());
  EXPECT_EQ(s.TargetFields[2].Column->ColumnName, "Price");
  EXPECT_EQ(s.Values[0].SourceText, "'x'");
  EXPECT_EQ(s.Values[1].SourceText, "Year + 1");
  // Values are bound to the target table.
  EXPECT_EQ(s.Values[1].Value->Left->FieldNo, 3);
  EXPECT_EQ(s.Values[1].Value->Left->SourceTable, s.SourceTables.at(0).get());
  EXPECT_EQ(s.Values[2].SourceText, "?");
  EXPECT_TRUE(s.HasCondition);
}

TEST_F(StatementTest, ParametersInOrderOfAppearanceAcrossClauses) {
  const TStatement& u = Parse("UPDATE a SET x = ?, y = ? + 1 WHERE ax = ? OR x > ?");
  ASSERT_EQ(u.Parameters.size(), 4u);
  EXPECT_EQ(u.Parameters[0], u.Values.at(0).Value.get());
  EXPECT_EQ(u.Parameters[1], u.Values.at(1).Value->Left.get());
  EXPECT_EQ(u.Parameters[2], u.Condition->Left->Right.get());
  EXPECT_EQ(u.Parameters[3], u.Condition->Right->Right.get());
  for (const TQueryExprNode* p : u.Parameters) EXPECT_TRUE(p->IsParameter);

  const TStatement& s = Parse("SELECT * FROM a JOIN b ON a.x = ? JOIN c ON c.y = ? WHERE b.bx = ?");
  ASSERT_EQ(s.Parameters.size(), 3u);
  ASSERT_EQ(s.Joins.size(), 2u);
  EXPECT_EQ(s.Parameters[0], s.Joins[0].Condition->Right.get());
  EXPECT_EQ(s.Parameters[1], s.Joins[1].Condition->Right.get());
  EXPECT_EQ(s.Parameters[2], s.Condition->Right.get());

  const TStatement& i = Parse("INSERT INTO a (x, y) VALUES (?, ?)");
  ASSERT_EQ(i.Parameters.size(), 2u);
  EXPECT_EQ(i.Parameters[0], i.Values.at(0).Value.get());
  EXPECT_EQ(i.Parameters[1], i.Values.at(1).Value.get());
}

TEST_F(StatementTest, EveryParseStartsFromAnEmptyStatement) {
  Parse(
      "SELECT DISTINCT x INTO MEMORY r FROM a JOIN b ON a.x = b.x WHERE a.y = ? GROUP BY x "
      "ORDER BY x NOCASE WITH LOCKS ENCRYPTED WITH pw");
  const TStatement& s = Parse("DELETE FROM Song");
  EXPECT_EQ(s.Kind, skDelete);
  EXPECT_FALSE(s.Distinct || s.ResultInMemory || s.HasCondition || s.SeveralTables ||
               s.HasOrderBy || s.HasGroupBy || s.NoCase || s.WithLocks || s.Encrypted);
  EXPECT_TRUE(s.ResultFields.empty() && s.OrderByFields.empty() && s.GroupByFields.empty() &&
              s.Parameters.empty() && s.TargetFields.empty() && s.Values.empty());
  EXPECT_EQ(s.ResultTableName, "");
  EXPECT_EQ(s.Password, "");
  EXPECT_EQ(s.SourceTables.size(), 1u);
}

TEST_F(StatementTest, AFailedParseKeepsNothing) {
  const auto expectEmpty = [](const TStatement& s) {
    EXPECT_EQ(s.Kind, skNone);
    EXPECT_FALSE(s.Distinct || s.ResultInMemory || s.HasCondition || s.SeveralTables ||
                 s.HasOrderBy || s.HasGroupBy || s.NoCase || s.WithLocks || s.Encrypted);
    EXPECT_TRUE(s.ResultFields.empty() && s.SourceTables.empty() && s.OrderByFields.empty() &&
                s.GroupByFields.empty() && s.Parameters.empty() && s.TargetFields.empty() &&
                s.Values.empty());
    EXPECT_FALSE(s.Condition);
    EXPECT_EQ(s.ResultTableName, "");
    EXPECT_EQ(s.Password, "");
  };
  // Each fails late, after most of the structure is built.
  for (const char* text :
       {"SELECT DISTINCT x INTO MEMORY r FROM a JOIN b ON a.x = ? WHERE a.y = ? GROUP BY x "
        "ORDER BY x NOCASE WITH LOCKS ENCRYPTED WITH pw HAVING",
        "UPDATE Song SET Name = ?, Year = ? WHERE Code = ? extra",
        "INSERT INTO Song (Code) VALUES (?, ?",
        "SELECT * FROM a JOIN b ON a.x = ? WHERE a.y = ? + 'text'"}) {
    EXPECT_NE(MessageOf(text), "(no error)") << text;
    expectEmpty(query.Statement());
  }
}

}  // namespace
}  // namespace quire::testing
