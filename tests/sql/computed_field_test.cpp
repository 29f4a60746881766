// Computed fields of a real table: their values after an insert, after a
// stored field changes, after the table is opened again, over NULL fields,
// and the refusal of a table whose expression does not check.

#include <gtest/gtest.h>

#include <string>

#include "engine/DataFile.h"
#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "engine/Value.h"
#include "support/EngineScope.h"
#include "support/ExpressionTesting.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

TFieldDefinition Computed(std::string name, std::uint8_t type, std::string expression, int size = 0,
                          std::uint8_t subType = 0) {
  TFieldDefinition field = Field(std::move(name), type, size, subType);
  field.ComputeExpression = std::move(expression);
  return field;
}

TTableCreateRequest SalesRequest() {
  TTableCreateRequest request = Request({
      Field("ID", ftype::Integer, 0, fsubtype::AutoInc),
      Field("Code", ftype::String, 10),
      Field("Name", ftype::String, 20),
      Field("Price", ftype::Bcd),
      Field("Qty", ftype::SmallInt),
      Field("Sold", ftype::Date),
      Computed("Total", ftype::Bcd, "Price * Qty"),
      Computed("Label", ftype::String, "UPPER(Code) || ' - ' || Name", 12),
      Computed("Due", ftype::Date, "Sold + 30"),
      Computed("Big", ftype::Boolean, "Qty > 10 AND Code LIKE 'a%'"),
      Computed("Year", ftype::Integer, "EXTRACT(YEAR FROM Sold)"),
      Computed("Half", ftype::Float, "Qty / 2"),
      Computed("Quarter", ftype::Integer, "Qty / 4"),
      Computed("Twice", ftype::Integer, "ID * 2"),
      Computed("Chain", ftype::Integer, "Qty - 3 - 2"),
  });
  request.Fields[3].FieldDecimals = 2;
  request.Fields[6].FieldDecimals = 2;
  request.Primary = Index("", {2});
  return request;
}

class ComputedFields : public ::testing::Test {
 protected:
  ComputedFields() {
    CreateTable(Path(), SalesRequest());
    Open();
  }

  std::string Path() const { return dir_.Path("sales"); }
  void Open() {
    table_ = std::make_unique<TDataFile>();
    table_->SetFileName(Path());
    table_->Open();
    buffer_ = table_->NewRecordBuffer();
    table_->InitRecord(buffer_);
  }

  const TFieldDescriptor& Descriptor(std::string_view name) const {
    const int number = table_->FieldNumber(name);
    EXPECT_NE(number, 0) << name;
    return table_->LogicalFields().at(number - 1);
  }
  // Sets a stored field of the buffer through the table (a null value
  // clears it).
  void Set(std::string_view name, const TValue& value) {
    const TFieldDescriptor& field = Descriptor(name);
    if (value.Null) {
      table_->SetField(true, table_->FieldNumber(name), buffer_, nullptr, 0);
      return;
    }
    const auto bytes = EncodeValue(value, field.FieldType, field.DataSize, field.DataDecimals);
    ASSERT_TRUE(bytes) << name;
    table_->SetField(true, table_->FieldNumber(name), buffer_, bytes->data(), bytes->size());
  }
  std::string Get(std::string_view name) const {
    return Describe(ReadValue(Descriptor(name), buffer_));
  }
  // Reads the record with primary key `code` into the buffer.
  void Load(const std::string& code) {
    std::vector<std::uint8_t> key = table_->NewRecordBuffer();
    const TFieldDescriptor& field = Descriptor("Code");
    const auto bytes = EncodeValue(TValue::String(code), ftype::String, field.DataSize, 0);
    table_->SetField(true, table_->FieldNumber("Code"), key, bytes->data(), bytes->size());
    ASSERT_TRUE(table_->FindKey(key, buffer_)) << code;
  }
  void FillSale() {
    Set("Code", TValue::String("ab1"));
    Set("Name", TValue::String("Song"));
    Set("Price", BcdValue(125000));  // 12.50
    Set("Qty", SmallValue(12));
    Set("Sold", DateValue(2024, 1, 15));
  }

  EngineScope engine_;
  ScratchDir dir_;
  std::unique_ptr<TDataFile> table_;
  std::vector<std::uint8_t> buffer_;
};

std::string Day(int year, int month, int day) {
  return "2:" + std::to_string(DayNumber(year, month, day));
}

TEST_F(ComputedFields, FollowEveryChangeOfAStoredField) {
  FillSale();
  EXPECT_EQ(Get("Total"), "8:1500000");  // 150.00
  EXPECT_EQ(Get("Label"), "1:'AB1 - Song'");
  EXPECT_EQ(Get("Due"), Day(2024, 2, 14));
  EXPECT_EQ(Get("Big"), "4:1");
  EXPECT_EQ(Get("Year"), "6:2024");
  EXPECT_EQ(Get("Half"), "7:6");
  EXPECT_EQ(Get("Quarter"), "6:3");
  EXPECT_EQ(Get("Chain"), "6:11");  // Qty - (3 - 2)
  // A boolean is stored as 1.
  EXPECT_EQ(buffer_.at(Descriptor("Big").FieldOffset + 1u), 1);

  Set("Qty", SmallValue(3));
  EXPECT_EQ(Get("Total"), "8:375000");
  EXPECT_EQ(Get("Big"), "4:0");
  EXPECT_EQ(Get("Half"), "7:1.5");
  EXPECT_EQ(Get("Quarter"), "6:0");
  EXPECT_EQ(Get("Chain"), "6:2");
  Set("Code", TValue::String("xy"));
  EXPECT_EQ(Get("Label"), "1:'XY - Song'");
  // Text longer than the field is cut to its size (and, as any stored
  // text, loses its trailing blanks).
  Set("Name", TValue::String("A Long Title"));
  EXPECT_EQ(Get("Label"), "1:'XY - A Long'");
}

TEST_F(ComputedFields, OverANullFieldAreNull) {
  FillSale();
  Set("Sold", TValue::NullOf(ftype::Date));
  EXPECT_EQ(Get("Due"), "2:NULL");
  EXPECT_EQ(Get("Year"), "6:NULL");
  Set("Price", TValue::NullOf(ftype::Bcd));
  EXPECT_EQ(Get("Total"), "8:NULL");
  Set("Name", TValue::NullOf(ftype::String));
  EXPECT_EQ(Get("Label"), "1:NULL");
  Set("Qty", TValue::NullOf(ftype::SmallInt));
  EXPECT_EQ(Get("Half"), "7:NULL");
  EXPECT_EQ(Get("Chain"), "6:NULL");
  // An ordering comparison with a NULL is false, not NULL.
  EXPECT_EQ(Get("Big"), "4:0");
  EXPECT_EQ(Get("Label"), "1:NULL");
}

TEST_F(ComputedFields, AreComputedForInsertedRecordsAndAfterReopen) {
  FillSale();
  table_->InsertRecord(buffer_);
  Set("Code", TValue::String("ab2"));
  Set("Qty", SmallValue(20));
  table_->InsertRecord(buffer_);

  const auto expectStored = [&] {
    Load("ab1");
    EXPECT_EQ(Get("Total"), "8:1500000");
    EXPECT_EQ(Get("Twice"), "6:2");  // the auto-increment value 1, assigned on insert
    EXPECT_EQ(Get("Big"), "4:1");
    Load("ab2");
    EXPECT_EQ(Get("Total"), "8:2500000");
    EXPECT_EQ(Get("Twice"), "6:4");
    EXPECT_EQ(Get("Label"), "1:'AB2 - Song'");
  };
  expectStored();
  table_->Close();
  Open();
  expectStored();

  // A modified record is computed again.
  Load("ab1");
  Set("Price", BcdValue(10000));  // 1.00
  table_->ModifyRecord(buffer_);
  std::fill(buffer_.begin(), buffer_.end(), 0);
  Load("ab1");
  EXPECT_EQ(Get("Total"), "8:120000");
  table_->Close();
  Open();
  Load("ab1");
  EXPECT_EQ(Get("Total"), "8:120000");
  EXPECT_EQ(Get("Due"), Day(2024, 2, 14));
}

TEST_F(ComputedFields, ComputedValuesAreNotStored) {
  // Only the stored fields take room in a record slot: prefix, Code, Name,
  // Price, Qty and Sold, each with its indicator.
  EXPECT_EQ(table_->Header().RecordSize, 9 + (1 + 11) + (1 + 21) + (1 + 8) + (1 + 2) + (1 + 4));
  // Computed fields cannot be set from outside.
  FillSale();
  const std::int32_t bogus = 99;
  table_->SetField(true, table_->FieldNumber("Year"), buffer_, &bogus, sizeof bogus);
  EXPECT_EQ(Get("Year"), "6:2024");
}

TEST(ComputedFieldCreation, RefusesAnExpressionThatDoesNotCheckBeforeAnyFileExists) {
  EngineScope engine;
  ScratchDir dir;
  struct TCase {
    const char* expression;
    std::uint8_t type;
    const char* message;
  };
  const TCase cases[] = {
      {"Price *", ftype::Bcd, "Unknown or unexpected symbol '' found in computed field"},
      {"Qty 1", ftype::Integer, "Unknown or unexpected symbol '1' found in computed field"},
      {"Nope + 1", ftype::Integer,
       "Invalid column name 'Nope' or table correlation name '' specified in computed field"},
      {"Code + 1", ftype::String,
       "Type mismatch between column 'Code' and constant '1' in computed field"},
      {"Qty + ?", ftype::Integer, "Parameters are not allowed in computed field"},
      {"SUM(Qty)", ftype::Integer, "Aggregate functions are not allowed in computed field"},
      {"Code = 'x", ftype::Boolean, "Missing single quote after 'x' in SQL statement"},
  };
  for (const TCase& c : cases) {
    TTableCreateRequest request = SalesRequest();
    request.Fields.push_back(
        Computed("Bad", c.type, c.expression, c.type == ftype::String ? 5 : 0));
    request.Fields.back().FieldNo = static_cast<std::int16_t>(request.Fields.size());
    const std::string path = dir.Path("bad");
    EXPECT_EQ(SqlMessageOf([&] { CreateTable(path, request); }), c.message) << c.expression;
    EXPECT_FALSE(FileExists(path + ".DAT")) << c.expression;
    EXPECT_FALSE(FileExists(path + ".IDX")) << c.expression;
  }
  // Predicates are allowed.
  TTableCreateRequest request = SalesRequest();
  request.Fields.push_back(Computed("Fine", ftype::Boolean, "Code IN ('a', 'b') OR Qty IS NULL"));
  request.Fields.back().FieldNo = static_cast<std::int16_t>(request.Fields.size());
  EXPECT_EQ(SqlMessageOf([&] { CreateTable(dir.Path("fine"), request); }), "(no error)");
  EXPECT_TRUE(FileExists(dir.Path("fine.DAT")));
}

}  // namespace
}  // namespace quire::testing
