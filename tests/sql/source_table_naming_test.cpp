// How source tables are named: the database directory, the default
// correlation name, duplicates, table numbers and the right-join order.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/StatementFixture.h"

namespace quire::testing {
namespace {

std::unique_ptr<TSourceDataFile> Named(const TDataQuery& query, const std::string& name) {
  auto table = std::make_unique<TSourceDataFile>(query, 1, false);
  table->SetTableName(name);
  return table;
}

TEST(SourceTableNaming, NameWithoutDirectoryLiesInTheDatabaseDirectory) {
  TDataQuery query;
  query.Settings().DatabaseDirectory = "/data/catalogue";
  EXPECT_EQ(Named(query, "Song")->TableName(), "/data/catalogue/Song");
  EXPECT_EQ(Named(query, "Song.DAT")->TableName(), "/data/catalogue/Song.DAT");

  query.Settings().DatabaseDirectory = "/data/catalogue/";
  EXPECT_EQ(Named(query, "Song")->TableName(), "/data/catalogue/Song");

  query.Settings().DatabaseDirectory.clear();
  EXPECT_EQ(Named(query, "Song")->TableName(), "Song");
}

TEST(SourceTableNaming, NameWithDirectoryStandsAsWritten) {
  TDataQuery query;
  query.Settings().DatabaseDirectory = "/db";
  EXPECT_EQ(Named(query, "/other/Song.DAT")->TableName(), "/other/Song.DAT");
  EXPECT_EQ(Named(query, "sub/Song")->TableName(), "sub/Song");
}

TEST(SourceTableNaming, CorrelationNameIsTheFileNameWithoutDirectoryAndExtension) {
  TDataQuery query;
  query.Settings().DatabaseDirectory = "/db";
  EXPECT_EQ(Named(query, "Song")->CorrelationName(), "Song");
  EXPECT_EQ(Named(query, "/other/Song.DAT")->CorrelationName(), "Song");
  EXPECT_EQ(Named(query, "my.tables/songs")->CorrelationName(), "songs");
  EXPECT_EQ(Named(query, "archive.2024.DAT")->CorrelationName(), "archive.2024");
}

TEST(SourceTableNaming, GivenCorrelationNameIsKeptAndReplaced) {
  TDataQuery query;
  TSourceDataFile table(query, 4, true);
  table.SetCorrelationName("S");
  table.SetTableName("Song");
  EXPECT_EQ(table.CorrelationName(), "S");
  table.SetCorrelationName("T");
  EXPECT_EQ(table.CorrelationName(), "T");
  EXPECT_EQ(table.TableNumber(), 4);
  EXPECT_TRUE(table.InMemory());
}

TEST(SourceTableNaming, NamesAreCutTo255CharactersButTheDirectoryIsKept) {
  TDataQuery query;
  query.Settings().DatabaseDirectory = "/db";
  const std::string longName(300, 'n');
  auto table = Named(query, longName);
  EXPECT_EQ(table->TableName(), "/db/" + std::string(255, 'n'));
  EXPECT_EQ(table->CorrelationName(), std::string(255, 'n'));
  table->SetCorrelationName(std::string(256, 'c'));
  EXPECT_EQ(table->CorrelationName(), std::string(255, 'c'));
}

TEST_F(StatementTest, StatementTablesAreNamedAsWritten) {
  const TStatement& s = Parse("SELECT * FROM Song, 'My Songs.DAT' AS m, \"/x/List.DAT\" AS \"L\"");
  ASSERT_EQ(s.SourceTables.size(), 3u);
  EXPECT_EQ(s.SourceTables[0]->TableName(), "/db/Song");
  EXPECT_EQ(s.SourceTables[0]->CorrelationName(), "Song");
  EXPECT_EQ(s.SourceTables[1]->TableName(), "/db/My Songs.DAT");
  EXPECT_EQ(s.SourceTables[1]->CorrelationName(), "m");
  EXPECT_EQ(s.SourceTables[2]->TableName(), "/x/List.DAT");
  EXPECT_EQ(s.SourceTables[2]->CorrelationName(), "L");
}

TEST_F(StatementTest, MemoryMarksOnlyTheTableItPrecedes) {
  const TStatement& s = Parse("SELECT * FROM MEMORY a, b JOIN memory c ON b.x = c.x");
  ASSERT_EQ(s.SourceTables.size(), 3u);
  EXPECT_TRUE(s.SourceTables[0]->InMemory());
  EXPECT_FALSE(s.SourceTables[1]->InMemory());
  EXPECT_TRUE(s.SourceTables[2]->InMemory());
  EXPECT_EQ(s.SourceTables[2]->TableName(), "/db/c");

  EXPECT_TRUE(Parse("DELETE FROM MEMORY Song").SourceTables.at(0)->InMemory());
  EXPECT_TRUE(Parse("UPDATE MEMORY Song SET Year = 1").SourceTables.at(0)->InMemory());
  EXPECT_TRUE(Parse("INSERT INTO MEMORY Song VALUES ('x')").SourceTables.at(0)->InMemory());
  EXPECT_FALSE(Parse("INSERT INTO Song VALUES ('x')").SourceTables.at(0)->InMemory());
}

TEST_F(StatementTest, DuplicateCorrelationNamesAreRefusedIgnoringCase) {
  EXPECT_EQ(MessageOf("SELECT * FROM a a2, b a2"),
            "Duplicate table correlation name 'a2' found in source tables");
  EXPECT_EQ(MessageOf("SELECT * FROM a X, b x"),
            "Duplicate table correlation name 'x' found in source tables");
  EXPECT_EQ(MessageOf("SELECT * FROM Song, Song"),
            "Duplicate table correlation name 'Song' found in source tables");
  // The default name ignores the directory and the extension.
  EXPECT_EQ(MessageOf("SELECT * FROM Song, '/other/SONG.DAT'"),
            "Duplicate table correlation name 'SONG' found in source tables");
  EXPECT_EQ(MessageOf("SELECT * FROM a JOIN b a ON a.x = a.y"),
            "Duplicate table correlation name 'a' found in source tables");
  EXPECT_EQ(MessageOf("SELECT * FROM a LEFT JOIN b ON a.x = b.x, c B"),
            "Duplicate table correlation name 'B' found in source tables");

  const TStatement& s = Parse("SELECT * FROM Song s1, Song s2");
  ASSERT_EQ(s.SourceTables.size(), 2u);
  EXPECT_EQ(s.SourceTables[1]->TableName(), "/db/Song");
}

TEST_F(StatementTest, TablesAreNumberedInTheOrderNamedAndRightJoinsGoFirst) {
  const auto order = [](const TStatement& s) {
    std::vector<std::string> names;
    for (const auto& table : s.SourceTables)
      names.push_back(table->CorrelationName() + std::to_string(table->TableNumber()));
    return names;
  };
  EXPECT_EQ(order(Parse("SELECT * FROM a, b, c")), (std::vector<std::string>{"a1", "b2", "c3"}));
  EXPECT_EQ(order(Parse("SELECT * FROM a JOIN b ON a.x = b.x RIGHT JOIN c ON b.y = c.y")),
            (std::vector<std::string>{"c3", "a1", "b2"}));
  EXPECT_EQ(order(Parse("SELECT * FROM a RIGHT OUTER JOIN b ON a.x = b.x, c")),
            (std::vector<std::string>{"b2", "a1", "c3"}));
  EXPECT_EQ(order(Parse("SELECT * FROM a LEFT JOIN b ON a.x = b.x INNER JOIN c ON a.y = c.y")),
            (std::vector<std::string>{"a1", "b2", "c3"}));
}

TEST_F(StatementTest, UnqualifiedColumnsBindToTheFirstTableInListOrderThatHasThem) {
  // x is in every table: after a right join its table is the first.
  const TStatement& right = Parse("SELECT * FROM a RIGHT JOIN b ON x = ax");
  ASSERT_EQ(right.Joins.size(), 1u);
  const TQueryExprNode& on = *right.Joins[0].Condition;
  EXPECT_EQ(on.Left->SourceTable, right.SourceTables[0].get());
  EXPECT_EQ(right.SourceTables[0]->CorrelationName(), "b");
  EXPECT_EQ(on.Right->SourceTable->CorrelationName(), "a");

  const TStatement& plain = Parse("SELECT * FROM a, b WHERE x = bx");
  ASSERT_TRUE(plain.Condition);
  EXPECT_EQ(plain.Condition->Left->SourceTable->CorrelationName(), "a");
  EXPECT_EQ(plain.Condition->Right->SourceTable->CorrelationName(), "b");
  EXPECT_EQ(plain.Condition->Right->FieldNo, 3);
}

TEST_F(StatementTest, QualifiedColumnsBindByCorrelationNameIgnoringCase) {
  const TStatement& s = Parse("SELECT * FROM a First, b Second WHERE SECOND.X = first.y");
  ASSERT_TRUE(s.Condition);
  EXPECT_EQ(s.Condition->Left->SourceTable, s.SourceTables[1].get());
  EXPECT_EQ(s.Condition->Left->FieldNo, 1);
  EXPECT_EQ(s.Condition->Right->SourceTable, s.SourceTables[0].get());
  EXPECT_EQ(s.Condition->Right->FieldNo, 2);
  // The table's own name no longer names it once it has an alias.
  EXPECT_EQ(MessageOf("SELECT * FROM a First WHERE a.x = 1"),
            "Invalid column name 'x' or table correlation name 'a' specified in WHERE or JOIN "
            "clause");
}

TEST_F(StatementTest, AnOnConditionSeesOnlyTheTablesNamedBeforeIt) {
  EXPECT_EQ(MessageOf("SELECT * FROM a JOIN b ON a.x = c.x JOIN c ON b.y = c.y"),
            "Invalid column name 'x' or table correlation name 'c' specified in WHERE or JOIN "
            "clause");
  EXPECT_EQ(Parse("SELECT * FROM a JOIN b ON a.x = b.x JOIN c ON a.x = c.x").SourceTables.size(),
            3u);
}

TEST_F(StatementTest, TablesAreOpenedOnlyWhenAColumnMustBeBound) {
  Parse("DELETE FROM Missing");
  EXPECT_TRUE(schemas.asked.empty());

  // A table that cannot be opened fails the statement with its own error.
  try {
    query.ParseStatement("DELETE FROM Missing WHERE x = 1", schemas);
    ADD_FAILURE() << "no error";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), err::InvalidPath);
  }
  EXPECT_EQ(query.Statement().Kind, skNone);
  EXPECT_TRUE(query.Statement().SourceTables.empty());
}

}  // namespace
}  // namespace quire::testing
