// Every message of the statement parser, word for word, each through a
// statement that a user could write. The messages quote the token found.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/StatementFixture.h"

namespace quire::testing {
namespace {

using Cases = std::vector<std::pair<std::string, std::string>>;  // statement, message

class StatementMessages : public StatementTest {
 protected:
  void ExpectMessages(const Cases& cases) {
    for (const auto& [text, message] : cases) EXPECT_EQ(MessageOf(text), message) << text;
  }
};

TEST_F(StatementMessages, FirstKeyword) {
  const std::string m = "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found '";
  ExpectMessages({{"", m + "'"},
                  {"   /* only a comment */ ", m + "'"},
                  {"CREATE TABLE Song", m + "CREATE'"},
                  {"'SELECT' x FROM a", m + "SELECT'"},
                  {"; DELETE FROM Song", m + ";'"}});
}

TEST_F(StatementMessages, SelectItemsAndAliases) {
  ExpectMessages({
      {"SELECT x AS , y FROM a", "Symbol or string expected after AS keyword, instead found ','"},
      {"SELECT x AS [y] FROM a", "Symbol or string expected after AS keyword, instead found 'y'"},
      {"SELECT x AS t.1 FROM a",
       "Symbol or string expected after table correlation name, instead found '1'"},
      {"SELECT x t.[u] FROM a",
       "Symbol or string expected after table correlation name, instead found 'u'"},
      {"SELECT FROM a", "Source column expression is empty"},
      {"SELECT", "Source column expression is empty"},
      {"SELECT , x FROM a", "Source column expression is empty"},
      {"SELECT x, FROM a", "Source column expression is empty"},
      {"SELECT x, INTO r FROM a", "Source column expression is empty"},
  });
}

TEST_F(StatementMessages, IntoAndFrom) {
  ExpectMessages({
      {"SELECT x INTO MEMORY [r] FROM a",
       "Result table name expected in INTO MEMORY clause, instead found 'r'"},
      {"SELECT x INTO 5 FROM a", "Result table name expected in INTO clause, instead found '5'"},
      {"SELECT x y WHERE x = 1", "FROM keyword expected, instead found 'WHERE'"},
      {"SELECT x, y;", "FROM keyword expected, instead found ';'"},
      {"SELECT x INTO r", "FROM keyword expected, instead found ''"},
      {"SELECT * FROM [a]", "Table name expected after FROM keyword, instead found 'a'"},
      {"SELECT * FROM MEMORY 5", "Table name expected after FROM keyword, instead found '5'"},
      {"SELECT * FROM a, ", "Table name expected after FROM keyword, instead found ''"},
      {"SELECT * FROM a AS 1", "Symbol or string expected after AS keyword, instead found '1'"},
  });
}

TEST_F(StatementMessages, Joins) {
  const std::string full =
      "Full outer joins are currently not supported in Quire SQL SELECT statements";
  ExpectMessages({
      {"SELECT * FROM a INNER b ON a.x = b.x",
       "JOIN keyword expected after INNER keyword, instead found 'b'"},
      {"SELECT * FROM a LEFT OUTER b ON a.x = b.x",
       "JOIN keyword expected after LEFT or OUTER keyword, instead found 'b'"},
      {"SELECT * FROM a LEFT b",
       "JOIN keyword expected after LEFT or OUTER keyword, instead found 'b'"},
      {"SELECT * FROM a RIGHT OUTER OUTER JOIN b ON a.x = b.x",
       "JOIN keyword expected after RIGHT or OUTER keyword, instead found 'OUTER'"},
      {"SELECT * FROM a RIGHT",
       "JOIN keyword expected after RIGHT or OUTER keyword, instead found ''"},
      {"SELECT * FROM a JOIN (b)", "Table name expected after JOIN keyword, instead found '('"},
      {"SELECT * FROM a JOIN MEMORY", "Table name expected after JOIN keyword, instead found ''"},
      {"SELECT * FROM a JOIN b AS bb WHERE a.x = bb.x",
       "ON keyword expected in JOIN clause, instead found 'WHERE'"},
      {"SELECT * FROM a JOIN b", "ON keyword expected in JOIN clause, instead found ''"},
      {"SELECT * FROM a FULL JOIN b ON a.x = b.x", full},
      {"SELECT * FROM a full outer join b ON a.x = b.x", full},
      {"SELECT * FROM a JOIN b ON a.x = b.x FULL JOIN c ON a.x = c.x", full},
      {"SELECT * FROM a, b FULL JOIN c ON b.x = c.x", full},
  });
}

TEST_F(StatementMessages, Conditions) {
  ExpectMessages({
      {"DELETE FROM Song WHERE", "Unknown or unexpected symbol '' found in WHERE or JOIN clause"},
      {"DELETE FROM Song WHERE Year + 1", "WHERE or JOIN clause must be a boolean expression"},
      {"SELECT * FROM a JOIN b ON a.x", "WHERE or JOIN clause must be a boolean expression"},
      {"SELECT * FROM a WHERE 'x'", "WHERE or JOIN clause must be a boolean expression"},
      {"UPDATE Song SET Year = 1 WHERE Name", "WHERE or JOIN clause must be a boolean expression"},
  });
}

TEST_F(StatementMessages, GroupAndOrderBy) {
  ExpectMessages({
      {"SELECT x FROM a GROUP x", "BY keyword expected after GROUP keyword, instead found 'x'"},
      {"SELECT x FROM a GROUP BY [x]",
       "Column name or column number expected in GROUP BY clause, instead found 'x'"},
      {"SELECT x FROM a GROUP BY 1.5",
       "Column name or column number expected in GROUP BY clause, instead found '1.5'"},
      {"SELECT x FROM a GROUP BY a.",
       "Column name or column number expected in GROUP BY clause, instead found ''"},
      {"SELECT x FROM a GROUP BY x,",
       "Column name or column number expected in GROUP BY clause, instead found ''"},
      {"SELECT x FROM a ORDER x", "BY keyword expected after ORDER keyword, instead found 'x'"},
      {"SELECT x FROM a ORDER BY [x]",
       "Column name or column number expected in ORDER BY clause, instead found 'x'"},
      {"SELECT x FROM a ORDER BY x, ;",
       "Column name or column number expected in ORDER BY clause, instead found ';'"},
      {"SELECT x FROM a ORDER BY a.[x]",
       "Column name or column number expected in ORDER BY clause, instead found 'x'"},
      {"SELECT x FROM a ORDER BY -1",
       "Column name or column number expected in ORDER BY clause, instead found '-'"},
      // A column number is a select item's position, at most 16 bits.
      {"SELECT x FROM a ORDER BY 70000",
       "Invalid column number '70000' specified in ORDER BY clause"},
      {"SELECT x FROM a GROUP BY 65536",
       "Invalid column number '65536' specified in GROUP BY clause"},
      {"SELECT x FROM a ORDER BY 99999999999", "'99999999999' is not a valid integer value"},
  });
  EXPECT_EQ(Parse("SELECT x FROM a ORDER BY 65535").OrderByFields.at(0).ColumnNo, 65535);
}

TEST_F(StatementMessages, LocksAndEncryption) {
  ExpectMessages({
      {"SELECT x FROM a WITH LOCK",
       "LOCKS keyword expected after WITH keyword, instead found 'LOCK'"},
      {"SELECT x FROM a WITH", "LOCKS keyword expected after WITH keyword, instead found ''"},
      {"SELECT x FROM a ENCRYPTED 'pw'",
       "WITH keyword expected after ENCRYPTED keyword, instead found 'pw'"},
  });
}

TEST_F(StatementMessages, EndOfSelect) {
  const std::string m = "End of SELECT statement expected, instead found '";
  ExpectMessages({
      {"SELECT a FROM t HAVING a > 1", m + "HAVING'"},
      {"SELECT x FROM a; x", m + "x'"},
      {"SELECT x FROM a;;", m + ";'"},
      // Clauses only in their order, NOCASE only after the ORDER BY list.
      {"SELECT x FROM a WITH LOCKS WHERE x = 1", m + "WHERE'"},
      {"SELECT x FROM a ORDER BY x GROUP BY x", m + "GROUP'"},
      {"SELECT x FROM a ENCRYPTED WITH pw WITH LOCKS", m + "WITH'"},
      {"SELECT x FROM a WHERE x = 1 NOCASE", m + "NOCASE'"},
      {"SELECT x FROM a GROUP BY x NOCASE", m + "NOCASE'"},
      {"SELECT x FROM a ORDER BY x NOCASE DESC", m + "DESC'"},
      {"SELECT x FROM a ORDER BY x NOCASE NOCASE", m + "NOCASE'"},
      {"SELECT x FROM a b c", m + "c'"},
  });
}

TEST_F(StatementMessages, Insert) {
  ExpectMessages({
      {"INSERT Song VALUES ('x')", "INTO keyword expected, instead found 'Song'"},
      {"INSERT INTO (Code) VALUES ('x')",
       "Table name expected after INTO clause, instead found '('"},
      {"INSERT INTO MEMORY (Code) VALUES ('x')",
       "Table name expected after INTO keyword, instead found '('"},
      {"INSERT INTO Song (Code Name) VALUES ('x')",
       "Right parentheses expected after list of table columns, instead found 'Name'"},
      {"INSERT INTO Song (Code) ('x')", "VALUES keyword expected, instead found '('"},
      {"INSERT INTO Song S T VALUES ('x')", "VALUES keyword expected, instead found 'T'"},
      {"INSERT INTO Song AS S VALUES ('x')", "VALUES keyword expected, instead found 'S'"},
      {"INSERT INTO Song VALUES 'x'",
       "Left parentheses expected after VALUES keyword, instead found 'x'"},
      {"INSERT INTO Song VALUES ('x' 'y')",
       "Right parentheses expected after list of values, instead found 'y'"},
      {"INSERT INTO Song VALUES ('x'",
       "Right parentheses expected after list of values, instead found ''"},
      {"INSERT INTO Song VALUES ('x') 'y'", "End of INSERT statement expected, instead found 'y'"},
      {"INSERT INTO Song VALUES ('x');;", "End of INSERT statement expected, instead found ';'"},
      {"INSERT INTO Song () VALUES ('x')", "Table column name is empty"},
      {"INSERT INTO Song (Code,) VALUES ('x')", "Table column name is empty"},
      {"INSERT INTO Song ('') VALUES ('x')", "Table column name is empty"},
      {"INSERT INTO Song VALUES ()", "Value expression is empty"},
      {"INSERT INTO Song VALUES ('x',)", "Value expression is empty"},
      {"INSERT INTO Song VALUES (, 'x')", "Value expression is empty"},
  });
}

TEST_F(StatementMessages, Update) {
  ExpectMessages({
      {"UPDATE (Song) SET Year = 1", "Table name expected, instead found '('"},
      {"UPDATE MEMORY 1 SET Year = 1", "Table name expected, instead found '1'"},
      {"UPDATE", "Table name expected, instead found ''"},
      {"UPDATE Song S Year = 1", "SET keyword expected, instead found 'Year'"},
      {"UPDATE Song AS SET Year = 1", "SET keyword expected, instead found 'Year'"},
      {"UPDATE Song SET Year 1",
       "Assignment (=) operator expected after column name, instead found '1'"},
      {"UPDATE Song SET Year <> 1",
       "Assignment (=) operator expected after column name, instead found '<'"},
      {"UPDATE Song SET Year + 1 = 2",
       "Assignment (=) operator expected after column name, instead found '+'"},
      {"UPDATE t SET a = 1 b = 2", "End of UPDATE statement expected, instead found 'b'"},
      {"UPDATE Song SET Year = 1 WHERE Year = 2 ORDER BY Year",
       "End of UPDATE statement expected, instead found 'ORDER'"},
      {"UPDATE Song SET = 1", "Table column name is empty"},
      {"UPDATE Song SET Year = 1, WHERE Year = 2", "Table column name is empty"},
      {"UPDATE Song SET '' = 1", "Table column name is empty"},
      {"UPDATE Song SET Year =", "Value expression is empty"},
      {"UPDATE Song SET Year = WHERE Year = 2", "Value expression is empty"},
      {"UPDATE Song SET Year = , Name = 'x'", "Value expression is empty"},
  });
}

TEST_F(StatementMessages, Delete) {
  ExpectMessages({
      {"DELETE Song", "FROM keyword expected, instead found 'Song'"},
      {"DELETE FROM ;", "Table name expected, instead found ';'"},
      {"DELETE FROM MEMORY", "Table name expected, instead found ''"},
      {"DELETE FROM [Song]", "Table name expected, instead found 'Song'"},
      {"DELETE FROM Song S T", "End of DELETE statement expected, instead found 'T'"},
      {"DELETE FROM Song;;", "End of DELETE statement expected, instead found ';'"},
      {"DELETE FROM Song WHERE Code = 'x' ORDER BY Code",
       "End of DELETE statement expected, instead found 'ORDER'"},
  });
}

TEST_F(StatementMessages, ValuesAreBoundToTheTargetTable) {
  ExpectMessages({
      {"UPDATE Song SET Name = Nope",
       "Invalid column name 'Nope' or table correlation name '' specified in values"},
      {"UPDATE a SET x = bx",
       "Invalid column name 'bx' or table correlation name '' specified in values"},
      {"INSERT INTO Song VALUES (1 + 'x')",
       "Type mismatch between constant '1' and constant 'x' in values"},
      {"INSERT INTO Song VALUES (Nope)",
       "Invalid column name 'Nope' or table correlation name '' specified in values"},
  });
  EXPECT_EQ(Parse("UPDATE Song S SET Year = S.Year").Values.at(0).Value->FieldNo, 3);
}

TEST_F(StatementMessages, AnUnendedCommentStopsTheStatement) {
  // A comment that never ends stops the statement in the tokenizer.
  EXPECT_EQ(MessageOf("/* no end DELETE FROM Song"),
            "Missing ending comment slash and asterisk in SQL statement");
  EXPECT_EQ(MessageOf("DELETE FROM Song /* WHERE Code = 'x'"),
            "Missing ending comment slash and asterisk in SQL statement");
}

}  // namespace
}  // namespace quire::testing
