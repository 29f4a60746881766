// Binding a query's parameters: the descriptors and the value buffer with
// a presence byte in each slot, the refusals, and statements that run with
// what the buffer carries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/ParamBinding.h"
#include "access/Query.h"
#include "access/Table.h"
#include "engine/FieldTypes.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::CreateSongTable;
using testing::DatabaseErrorOf;
using testing::DumpCodes;
using testing::Raised;
using testing::TCatalogFolder;

TQuireParam Param(std::string name, TValue value) {
  TQuireParam param;
  param.Name = std::move(name);
  param.SetValue(std::move(value));
  return param;
}

TEST(ParamBinding, EachSlotIsAPresenceByteAndTheValueBytes) {
  const std::vector<TQuireParam> params = {
      Param("Code", TValue::String("A1")), Param("Count", TValue::Int(-7)),
      Param("Missing", TValue::NullOf(ftype::String)), Param("Small", TValue::Boolean(true))};
  const TParamBinding binding = BindParams(params);
  ASSERT_EQ(binding.Descriptors.size(), 4u);
  const auto& d = binding.Descriptors;
  EXPECT_EQ(d[0].Number, 1);
  EXPECT_EQ(d[3].Number, 4);
  EXPECT_EQ(d[0].Name, "Code");
  EXPECT_EQ(d[0].EngineType, ftype::String);
  EXPECT_EQ(d[1].EngineType, ftype::Integer);
  EXPECT_EQ(d[2].EngineType, ftype::String);
  EXPECT_EQ(d[3].EngineType, ftype::Boolean);
  // A text takes its bytes and the terminating zero; a NULL text one byte.
  EXPECT_EQ(d[0].Size, 3);
  EXPECT_EQ(d[1].Size, 4);
  EXPECT_EQ(d[2].Size, 1);
  // The slots follow each other: presence byte, then the value.
  EXPECT_EQ(d[0].Offset, 0u);
  EXPECT_EQ(d[1].Offset, 4u);
  EXPECT_EQ(d[2].Offset, 9u);
  EXPECT_EQ(d[3].Offset, 11u);
  ASSERT_EQ(binding.Buffer.size(), 11u + 1 + d[3].Size);
  const std::vector<std::uint8_t> code(binding.Buffer.begin(), binding.Buffer.begin() + 4);
  EXPECT_EQ(code, (std::vector<std::uint8_t>{1, 'A', '1', 0}));
  EXPECT_EQ(binding.Buffer[4], 1);
  EXPECT_EQ(binding.Buffer[9], 0);   // NULL
  EXPECT_EQ(binding.Buffer[10], 0);  // and no value bytes
  EXPECT_EQ(binding.Buffer[11], 1);
  const TValue count = DecodeValue(ftype::Integer, 0, std::span(binding.Buffer).subspan(5, 4));
  EXPECT_FALSE(count.Null);
  EXPECT_EQ(count.Integer, -7);
}

TEST(ParamBinding, NamesAreCutTo30CharactersAndTypesNeedAnEngineType) {
  const std::string longName(40, 'p');
  EXPECT_EQ(BindParams({Param(longName, TValue::Int(1))}).Descriptors[0].Name,
            longName.substr(0, 30));

  TQuireParam untyped;
  untyped.Name = "code";
  EXPECT_FALSE(untyped.DataType());
  EXPECT_EQ(DatabaseErrorOf([&] { BindParams({untyped}); }), "No value for parameter 'code'");
  // A declared type decides over the value's, and a blob type binds nothing.
  TQuireParam memo = Param("lyric", TValue::String("words"));
  memo.DeclaredType = TFieldType::Memo;
  EXPECT_EQ(memo.DataType(), TFieldType::Memo);
  EXPECT_EQ(DatabaseErrorOf([&] { BindParams({memo}); }), "No value for parameter 'lyric'");
  // A declared type the value converts to binds the converted value.
  TQuireParam count = Param("count", TValue::Int(12));
  count.DeclaredType = TFieldType::SmallInt;
  const TParamBinding binding = BindParams({count});
  EXPECT_EQ(binding.Descriptors[0].EngineType, ftype::SmallInt);
  EXPECT_EQ(DecodeValue(ftype::SmallInt, 0, std::span(binding.Buffer).subspan(1)).Integer, 12);

  // Clearing keeps the type and binds NULL.
  count.Clear();
  EXPECT_TRUE(count.IsNull());
  EXPECT_TRUE(count.Bound);
  EXPECT_EQ(BindParams({count}).Buffer[0], 0);
}

TEST(ParamBinding, TheStatementRefusesASlotPastTheBuffer) {
  TDataQuery statement;
  TParamDescriptor descriptor;
  descriptor.Number = 1;
  descriptor.EngineType = ftype::Integer;
  descriptor.Size = 4;
  descriptor.Offset = 0;
  const std::vector<std::uint8_t> shortBuffer = {1, 0, 0};
  const auto raised = Raised([&] { statement.SetParamBuffer({&descriptor, 1}, shortBuffer); });
  EXPECT_EQ(raised.code, 11949);
  EXPECT_NE(raised.message.find("Internal parameter error"), std::string::npos);
}

class ParamRunTest : public ::testing::Test {
 protected:
  ParamRunTest() {
    CreateSongTable(folder_.Path("Song.DAT"));
    TQuireTable table;
    table.SetDatabaseName(folder_.Name());
    table.SetTableName("Song.DAT");
    table.Open();
    int number = 0;
    for (const char* code : {"A1", "A2", "B1", "B2"}) {
      table.Append();
      table.FieldByName("Code").SetAsString(code);
      table.FieldByName("Name").SetAsString("Song " + std::to_string(++number));
      table.Post();
    }
    query_.SetDatabaseName(folder_.Name());
  }

  TCatalogFolder folder_;
  TQuireQuery query_;
};

TEST_F(ParamRunTest, TheStatementDeletesExactlyWhatTheBoundValuesSay) {
  query_.AddSQL("Delete from Song where Code = :c or Name = :n");
  query_.ParamByName("c").SetAsString("A2");
  query_.ParamByName("n").SetAsString("Song 4");
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 2);
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), (std::vector<std::string>{"A1", "B1"}));

  // NULL compares equal to nothing.
  query_.ParamByName("c").Clear();
  query_.ParamByName("n").Clear();
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 0);
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")).size(), 2u);

  // A new text keeps the value of a parameter of the same name.
  query_.ParamByName("n").SetAsString("Song 3");
  query_.SetSQL({"Delete from Song where Name = :n or Code = 'Z9'"});
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")), std::vector<std::string>{"A1"});
}

TEST_F(ParamRunTest, AParameterWithoutAValueFailsTheRun) {
  query_.AddSQL("Delete from Song where Code = :code");
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No value for parameter 'code'");
  EXPECT_EQ(DumpCodes(folder_.Path("Song.DAT")).size(), 4u);
  EXPECT_EQ(query_.Database(), nullptr);
}

}  // namespace
}  // namespace quire
