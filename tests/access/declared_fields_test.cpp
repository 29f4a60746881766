// Field objects declared before opening: bound by name at every open, or
// refused with the binding messages, leaving the table closed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/Database.h"
#include "access/FieldDefs.h"
#include "access/Table.h"
#include "support/Catalog.h"

namespace quire {
namespace {

using testing::CreateSongTable;
using testing::DatabaseErrorOf;
using testing::DumpTable;
using testing::TCatalogFolder;

// The song table (Code string 10, Name string 100, Count integer, Lyric
// memo) and a table over it with no field declared yet.
class DeclaredFieldsTest : public ::testing::Test {
 protected:
  DeclaredFieldsTest() {
    CreateSongTable(folder_.Path("Song.DAT"));
    table_.SetDatabaseName(folder_.Name());
    table_.SetTableName("Song.DAT");
  }

  // Opening fails with `message`, and the table is closed with the
  // database given back.
  void ExpectRefused(const std::string& message) {
    EXPECT_EQ(DatabaseErrorOf([&] { table_.Open(); }), message);
    EXPECT_FALSE(table_.Active());
    EXPECT_EQ(table_.EngineTable(), nullptr);
    EXPECT_EQ(table_.Database(), nullptr);
    EXPECT_TRUE(folder_.Database().DataSets().empty());
  }

  TCatalogFolder folder_;
  TQuireTable table_;
};

TEST_F(DeclaredFieldsTest, DeclaredFieldsAreTheOnlyOnesAndOutliveClosing) {
  TField& code = table_.DeclareField("code", TFieldType::String, 10);
  TField& count = table_.DeclareField("Count", TFieldType::Integer);
  table_.Open();
  ASSERT_EQ(table_.Fields().size(), 2u);
  EXPECT_EQ(&table_.FieldByName("Code"), &code);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.FieldByName("Name"); }), "Field 'Name' not found");
  EXPECT_EQ(code.FieldNo(), 1);
  EXPECT_EQ(count.FieldNo(), 3);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.DeclareField("Name", TFieldType::String, 100); }),
            "Cannot perform this operation on an open dataset");

  table_.Append();
  code.SetAsString("A1");
  count.SetAsInteger(7);
  table_.Post();
  EXPECT_EQ(code.AsString(), "A1");
  table_.Close();
  // The declared objects stay, unbound, and the next open binds them again.
  ASSERT_EQ(table_.Fields().size(), 2u);
  EXPECT_TRUE(code.IsNull());
  table_.Open();
  EXPECT_EQ(table_.Fields().front().get(), &code);
  EXPECT_EQ(code.AsString(), "A1");
  EXPECT_EQ(count.AsInteger(), 7);

  const auto rows = DumpTable(folder_.Path("Song.DAT"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Code"], "A1");
  EXPECT_EQ(rows[0]["Count"], 7);
}

TEST_F(DeclaredFieldsTest, WithoutDeclaredFieldsEveryFieldGetsADefaultObject) {
  table_.Open();
  ASSERT_EQ(table_.Fields().size(), 4u);
  EXPECT_FALSE(table_.Fields().front()->Declared());
  EXPECT_EQ(table_.FieldByName("Lyric").FieldType(), TFieldType::Memo);
  table_.Close();
  EXPECT_TRUE(table_.Fields().empty());
}

TEST_F(DeclaredFieldsTest, AFieldTheTableLacksFailsTheOpen) {
  table_.DeclareField("Code", TFieldType::String, 10);
  table_.DeclareField("Singer", TFieldType::String, 100);
  ExpectRefused("Field 'Singer' not found");
  EXPECT_EQ(table_.Fields().size(), 2u);
}

TEST_F(DeclaredFieldsTest, ATypeOtherThanTheTablesFailsTheOpen) {
  table_.DeclareField("Count", TFieldType::SmallInt);
  ExpectRefused("Type mismatch for field 'Count', expecting: SmallInt actual: Integer");

  // A memo is not a plain blob.
  TQuireTable lyric;
  lyric.SetDatabaseName(folder_.Name());
  lyric.SetTableName("Song.DAT");
  lyric.DeclareField("Lyric", TFieldType::Blob);
  EXPECT_EQ(DatabaseErrorOf([&] { lyric.Open(); }),
            "Type mismatch for field 'Lyric', expecting: Blob actual: Memo");
  EXPECT_FALSE(lyric.Active());
}

TEST_F(DeclaredFieldsTest, ASizeOtherThanTheTablesFailsTheOpen) {
  table_.DeclareField("Code", TFieldType::String, 10);
  table_.DeclareField("Name", TFieldType::String, 50);
  ExpectRefused("Size mismatch for field 'Name', expecting: 50 actual: 100");
  // The type is checked before the size.
  TQuireTable other;
  other.SetDatabaseName(folder_.Name());
  other.SetTableName("Song.DAT");
  other.DeclareField("Count", TFieldType::String, 4);
  EXPECT_EQ(DatabaseErrorOf([&] { other.Open(); }),
            "Type mismatch for field 'Count', expecting: String actual: Integer");
}

}  // namespace
}  // namespace quire
