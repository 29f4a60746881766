// Filter buffers byte for byte against buffers put together here from the
// layout (header; nodes of class, operator and 16-bit operands; literals),
// the engine's filter built from a buffer, and the dataset compares of
// such buffers answered from indexes and by testing records.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/FieldTypes.h"
#include "sql/ExprParser.h"
#include "sql/Filter.h"
#include "sql/FilterExpr.h"
#include "support/EngineErrors.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

// A filter buffer assembled from the layout: nodes are appended at the
// offsets their operands name, literals after them.
class TGoldenBuffer {
 public:
  TGoldenBuffer& Node(std::uint32_t nodeClass, std::uint32_t code,
                      std::initializer_list<std::uint16_t> operands) {
    Put(nodes_, nodeClass, 4);
    Put(nodes_, code, 4);
    for (const std::uint16_t operand : operands) Put(nodes_, operand, 2);
    return *this;
  }
  TGoldenBuffer& Literal(std::string_view bytes) {
    literals_.insert(literals_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  TGoldenBuffer& Literal(std::uint64_t value, int size) {
    Put(literals_, value, size);
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out;
    Put(out, 0, 2);                                      // version
    Put(out, 10 + nodes_.size() + literals_.size(), 2);  // total size
    Put(out, 0xFFFF, 2);                                 // node count
    Put(out, 10, 2);                                     // node area
    Put(out, 10 + nodes_.size(), 2);                     // literal area
    out.insert(out.end(), nodes_.begin(), nodes_.end());
    out.insert(out.end(), literals_.begin(), literals_.end());
    return out;
  }

 private:
  static void Put(std::vector<std::uint8_t>& to, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) to.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t> nodes_;
  std::vector<std::uint8_t> literals_;
};

std::uint64_t DoubleBits(double value) {
  return std::bit_cast<std::uint64_t>(value);
}

// Node classes and operators of the layout, by number.
constexpr std::uint32_t kUnary = 1, kBinary = 2, kCompare = 3, kField = 4, kConstant = 5;
constexpr std::uint32_t kFieldOp = 13, kConstantOp = 14;

// A table with every field type a filter compares:
//   1 ID autoinc (primary)  2 Code string(10)  3 Name string(20)  4 Qty smallint
//   5 Active boolean  6 Amount BCD(2)  7 Day date  8 Stamp timestamp
//   9 Price float  10 Wrd word  11 At time  12 Count integer
// `indexes`: secondary indexes to add.
class FilterBuffer : public ::testing::Test {
 protected:
  void Make(const std::vector<TIndexDefinition>& indexes = {}) {
    TTableCreateRequest request = Request(
        {Field("ID", ftype::Integer, 0, fsubtype::AutoInc), Field("Code", ftype::String, 10),
         Field("Name", ftype::String, 20), Field("Qty", ftype::SmallInt),
         Field("Active", ftype::Boolean), Field("Amount", ftype::Bcd), Field("Day", ftype::Date),
         Field("Stamp", ftype::TimeStamp), Field("Price", ftype::Float), Field("Wrd", ftype::Word),
         Field("At", ftype::Time), Field("Count", ftype::Integer)});
    request.Fields[5].FieldDecimals = 2;
    request.Primary = Index("", {1}, true);
    request.Secondary = indexes;
    CreateTable(dir_.Path("T"), request);
    table_.SetFileName(dir_.Path("T"));
    table_.Open();
  }

  std::vector<std::uint8_t> Compile(const std::string& text, TFilterOptions options = 0) {
    return TExprParser(table_.LogicalFields(), options, text, BuiltInFormatSettings()).FilterData();
  }

  // Appends rows of Name (null when nullptr) and Qty.
  void AddNames(std::initializer_list<const char*> names) {
    std::int16_t qty = 0;
    for (const char* name : names) {
      std::vector<std::uint8_t> record = table_.NewRecordBuffer();
      table_.InitRecord(record);
      if (name != nullptr) table_.SetField(true, 3, record, name, std::strlen(name) + 1);
      ++qty;
      table_.SetField(true, 4, record, &qty, 2);
      table_.InsertRecord(record);
    }
  }

  // The names of the records the buffer's filter lets through, in ID order
  // ("-" for a blank name), through the table's cursor with the filter on.
  std::multiset<std::string> Passing(const std::vector<std::uint8_t>& buffer) {
    TFilter filter(table_, buffer);
    filter.Activate();
    statistics_ = filter.Statistics();
    std::multiset<std::string> names;
    std::vector<std::uint8_t> record = table_.NewRecordBuffer();
    table_.First();
    while (table_.GetNextRecord(record) == 0) {
      const TValue name = ReadValue(table_.LogicalFields()[2], record);
      names.insert(name.Null ? "-" : name.Text);
    }
    return names;
  }

  EngineScope engine_;
  ScratchDir dir_;
  TDataFile table_;
  TFilter::TStatistics statistics_;
};

TEST_F(FilterBuffer, GoldenBuffersOfSingleComparisons) {
  Make();
  // Code = 'A': binary at 0, field at 12, constant at 24.
  EXPECT_EQ(Compile("Code = 'A'"), TGoldenBuffer()
                                       .Node(kBinary, 3, {12, 24})
                                       .Node(kField, kFieldOp, {2, 0})
                                       .Node(kConstant, kConstantOp, {1, 2, 5})
                                       .Literal(std::string_view("Code\0A\0", 7))
                                       .Bytes());
  // Active alone is Active = true, true being all bits set.
  EXPECT_EQ(Compile("Active"), TGoldenBuffer()
                                   .Node(kBinary, 3, {12, 24})
                                   .Node(kField, kFieldOp, {5, 0})
                                   .Node(kConstant, kConstantOp, {4, 2, 7})
                                   .Literal(std::string_view("Active\0", 7))
                                   .Literal(0xFFFF, 2)
                                   .Bytes());
  // A partial compare: case flag 0, partial length 3, field at 16, "Smi" at 28.
  EXPECT_EQ(Compile("Name = 'Smi*'"), TGoldenBuffer()
                                          .Node(kCompare, 3, {0, 3, 16, 28})
                                          .Node(kField, kFieldOp, {3, 0})
                                          .Node(kConstant, kConstantOp, {1, 4, 5})
                                          .Literal(std::string_view("Name\0Smi\0", 9))
                                          .Bytes());
  // Case-insensitive whole compare with <>.
  EXPECT_EQ(Compile("Name <> 'smith'", foCaseInsensitive),
            TGoldenBuffer()
                .Node(kCompare, 4, {1, 0, 16, 28})
                .Node(kField, kFieldOp, {3, 0})
                .Node(kConstant, kConstantOp, {1, 6, 5})
                .Literal(std::string_view("Name\0smith\0", 11))
                .Bytes());
  // An empty text is a one-byte string; -32768 as a small integer.
  EXPECT_EQ(Compile("Code = ''"), TGoldenBuffer()
                                      .Node(kBinary, 3, {12, 24})
                                      .Node(kField, kFieldOp, {2, 0})
                                      .Node(kConstant, kConstantOp, {1, 1, 5})
                                      .Literal(std::string_view("Code\0\0", 6))
                                      .Bytes());
  EXPECT_EQ(Compile("-32768 <= Qty"), TGoldenBuffer()
                                          .Node(kBinary, 7, {12, 24})
                                          .Node(kField, kFieldOp, {4, 0})
                                          .Node(kConstant, kConstantOp, {5, 2, 4})
                                          .Literal(std::string_view("Qty\0", 4))
                                          .Literal(0x8000, 2)
                                          .Bytes());
}

TEST_F(FilterBuffer, GoldenBuffersOfCompoundConditions) {
  Make();
  // AND at 0 (left 12, right 50); > at 12; Qty at 24; 5 at 36; NOT at 50;
  // IS NULL at 60; Code at 70. Literals: "Qty\0" 0, 5 at 4, "Code\0" 6.
  EXPECT_EQ(Compile("Qty > 5 AND NOT Code = NULL"), TGoldenBuffer()
                                                        .Node(kBinary, 10, {12, 50})
                                                        .Node(kBinary, 5, {24, 36})
                                                        .Node(kField, kFieldOp, {4, 0})
                                                        .Node(kConstant, kConstantOp, {5, 2, 4})
                                                        .Node(kUnary, 9, {60})
                                                        .Node(kUnary, 1, {70})
                                                        .Node(kField, kFieldOp, {2, 6})
                                                        .Literal(std::string_view("Qty\0", 4))
                                                        .Literal(5, 2)
                                                        .Literal(std::string_view("Code\0", 5))
                                                        .Bytes());

  // (Stamp < t OR Amount <> 12.35) OR Day <= d: a timestamp in milliseconds,
  // BCD as 1/10000 units rounded to two decimals, a date as its day number.
  const double stamp = 730121.0 * 86400000 + 37800000;  // 2 Jan 2000 10:30
  EXPECT_EQ(Compile("'1/2/2000 10:30:00' > Stamp OR Amount <> 12.345 OR Day <= '3/15/2024'"),
            TGoldenBuffer()
                .Node(kBinary, 11, {12, 100})              // 0
                .Node(kBinary, 11, {24, 62})               // 12
                .Node(kBinary, 6, {36, 48})                // 24
                .Node(kField, kFieldOp, {8, 0})            // 36
                .Node(kConstant, kConstantOp, {11, 8, 6})  // 48
                .Node(kBinary, 4, {74, 86})                // 62
                .Node(kField, kFieldOp, {6, 14})           // 74
                .Node(kConstant, kConstantOp, {8, 8, 21})  // 86
                .Node(kBinary, 8, {112, 124})              // 100
                .Node(kField, kFieldOp, {7, 29})           // 112
                .Node(kConstant, kConstantOp, {2, 4, 33})  // 124
                .Literal(std::string_view("Stamp\0", 6))
                .Literal(DoubleBits(stamp), 8)
                .Literal(std::string_view("Amount\0", 7))
                .Literal(123500, 8)
                .Literal(std::string_view("Day\0", 4))
                .Literal(738960, 4)
                .Bytes());

  // ((Wrd AND At) AND Price) AND Count: word, time, float and integer.
  EXPECT_EQ(Compile("Wrd = 65535 AND At = '10:30:15' AND Price = 2.5 AND Count = -2"),
            TGoldenBuffer()
                .Node(kBinary, 10, {12, 150})              // 0
                .Node(kBinary, 10, {24, 112})              // 12
                .Node(kBinary, 10, {36, 74})               // 24
                .Node(kBinary, 3, {48, 60})                // 36
                .Node(kField, kFieldOp, {10, 0})           // 48
                .Node(kConstant, kConstantOp, {12, 2, 4})  // 60
                .Node(kBinary, 3, {86, 98})                // 74
                .Node(kField, kFieldOp, {11, 6})           // 86
                .Node(kConstant, kConstantOp, {10, 4, 9})  // 98
                .Node(kBinary, 3, {124, 136})              // 112
                .Node(kField, kFieldOp, {9, 13})           // 124
                .Node(kConstant, kConstantOp, {7, 8, 19})  // 136
                .Node(kBinary, 3, {162, 174})              // 150
                .Node(kField, kFieldOp, {12, 27})          // 162
                .Node(kConstant, kConstantOp, {6, 4, 33})  // 174
                .Literal(std::string_view("Wrd\0", 4))
                .Literal(0xFFFF, 2)
                .Literal(std::string_view("At\0", 3))
                .Literal(37815000, 4)
                .Literal(std::string_view("Price\0", 6))
                .Literal(DoubleBits(2.5), 8)
                .Literal(std::string_view("Count\0", 6))
                .Literal(0xFFFFFFFEu, 4)
                .Bytes());
}

TEST_F(FilterBuffer, GoldenLocateBuffer) {
  Make();
  // Code = 'AB' AND Name = 'Sm', case-insensitive, with a partial key: both
  // compares fold case, the last one over its whole length.
  const TLocateValue values[] = {{"Code", TValue::String("AB")}, {"Name", TValue::String("Sm")}};
  EXPECT_EQ(BuildLocateFilter(table_.LogicalFields(), values, true, true),
            TGoldenBuffer()
                .Node(kBinary, 10, {12, 54})               // 0
                .Node(kCompare, 3, {1, 0, 28, 40})         // 12
                .Node(kField, kFieldOp, {2, 0})            // 28
                .Node(kConstant, kConstantOp, {1, 3, 5})   // 40
                .Node(kCompare, 3, {1, 2, 70, 82})         // 54
                .Node(kField, kFieldOp, {3, 8})            // 70
                .Node(kConstant, kConstantOp, {1, 3, 13})  // 82
                .Literal(std::string_view("Code\0AB\0Name\0Sm\0", 16))
                .Bytes());
  // Without options "*" is text and nothing is partial.
  const TLocateValue star[] = {{"Qty", TValue::Int(5)}, {"Code", TValue::String("X*")}};
  EXPECT_EQ(BuildLocateFilter(table_.LogicalFields(), star, false, false),
            TGoldenBuffer()
                .Node(kBinary, 10, {12, 50})               // 0
                .Node(kBinary, 3, {24, 36})                // 12
                .Node(kField, kFieldOp, {4, 0})            // 24
                .Node(kConstant, kConstantOp, {5, 2, 4})   // 36
                .Node(kBinary, 3, {62, 74})                // 50
                .Node(kField, kFieldOp, {2, 6})            // 62
                .Node(kConstant, kConstantOp, {1, 3, 11})  // 74
                .Literal(std::string_view("Qty\0", 4))
                .Literal(5, 2)
                .Literal(std::string_view("Code\0X*\0", 8))
                .Bytes());
}

TEST_F(FilterBuffer, DecodingEveryClass) {
  Make();
  // The field is found by its name in any case; the stored number is not used.
  TFilter byName(table_, TGoldenBuffer()
                             .Node(kBinary, 5, {12, 24})
                             .Node(kField, kFieldOp, {99, 0})
                             .Node(kConstant, kConstantOp, {5, 2, 4})
                             .Literal(std::string_view("qty\0", 4))
                             .Literal(0xFFFE, 2)
                             .Bytes());
  const TQueryExprNode* tree = byName.Tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_EQ(tree->OpCode, op::Greater);
  EXPECT_EQ(tree->Left->Kind, nkColumn);
  EXPECT_EQ(tree->Left->FieldNo, 4);
  EXPECT_EQ(tree->Left->ColumnName, "Qty");
  EXPECT_EQ(tree->Left->Type(), ftype::SmallInt);
  EXPECT_EQ(tree->Right->Kind, nkConstant);
  EXPECT_EQ(tree->Right->Value.Type, ftype::SmallInt);
  EXPECT_EQ(tree->Right->Value.Integer, -2);

  // (NOT Code IS NOT NULL) OR (Name <> 'sm' over 2, folding case, AND
  // Code = ''), laid out root first.
  TFilter compound(table_, TGoldenBuffer()
                               .Node(kBinary, 11, {12, 44})               // 0
                               .Node(kUnary, 9, {22})                     // 12
                               .Node(kUnary, 2, {32})                     // 22
                               .Node(kField, kFieldOp, {2, 0})            // 32
                               .Node(kBinary, 10, {56, 98})               // 44
                               .Node(kCompare, 4, {1, 2, 72, 84})         // 56
                               .Node(kField, kFieldOp, {3, 5})            // 72
                               .Node(kConstant, kConstantOp, {1, 3, 10})  // 84
                               .Node(kBinary, 3, {110, 122})              // 98
                               .Node(kField, kFieldOp, {2, 13})           // 110
                               .Node(kConstant, kConstantOp, {1, 1, 18})  // 122
                               .Literal(std::string_view("Code\0Name\0sm\0Code\0\0", 19))
                               .Bytes());
  tree = compound.Tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->OpCode, op::Or);
  EXPECT_EQ(tree->Left->Kind, nkUnary);
  EXPECT_EQ(tree->Left->OpCode, op::Not);
  EXPECT_EQ(tree->Left->Left->OpCode, op::IsNotNull);
  EXPECT_EQ(tree->Left->Left->Left->FieldNo, 2);
  const TQueryExprNode& both = *tree->Right;
  EXPECT_EQ(both.OpCode, op::And);
  EXPECT_EQ(both.Left->Kind, nkCompare);
  EXPECT_EQ(both.Left->OpCode, op::NotEqual);
  EXPECT_EQ(both.Left->PartialLength, 2);
  EXPECT_TRUE(both.Left->CaseInsensitive);
  EXPECT_EQ(both.Left->Left->FieldNo, 3);
  EXPECT_EQ(both.Left->Right->Value.Text, "sm");
  EXPECT_EQ(both.Right->Kind, nkBinary);
  EXPECT_EQ(both.Right->Right->Value.Type, ftype::String);
  EXPECT_TRUE(both.Right->Right->Value.Null);

  // Replacing the tree with another buffer decodes that one.
  compound.ReplaceTree(Compile("Active"));
  EXPECT_EQ(compound.Tree()->Left->FieldNo, 5);
}

TEST_F(FilterBuffer, BuffersThatDoNotDecodeRaise10051) {
  Make();
  const auto codeOf = [this](const std::vector<std::uint8_t>& buffer) {
    return CodeOf([&] { TFilter filter(table_, buffer); });
  };
  const auto qtyAbove = [](std::uint32_t constantType, std::uint16_t size) {
    return TGoldenBuffer()
        .Node(kBinary, 5, {12, 24})
        .Node(kField, kFieldOp, {4, 0})
        .Node(kConstant, kConstantOp, {static_cast<std::uint16_t>(constantType), size, 4})
        .Literal(std::string_view("Qty\0", 4))
        .Literal(0, 8);
  };
  const std::vector<std::uint8_t> good = qtyAbove(5, 2).Bytes();
  EXPECT_EQ(codeOf(good), 0);
  const auto Patched = [&good](std::size_t at, std::uint8_t byte) {
    std::vector<std::uint8_t> bad = good;
    bad[at] = byte;
    return bad;
  };
  EXPECT_EQ(codeOf({}), err::InvalidFilterExpression);
  EXPECT_EQ(codeOf(std::vector<std::uint8_t>(good.begin(), good.begin() + 9)),
            err::InvalidFilterExpression);
  EXPECT_EQ(codeOf(Patched(0, 1)), err::InvalidFilterExpression);  // version
  EXPECT_EQ(codeOf(std::vector<std::uint8_t>(good.begin(), good.end() - 1)),
            err::InvalidFilterExpression);                           // shorter than its size
  EXPECT_EQ(codeOf(Patched(6, 12)), err::InvalidFilterExpression);   // node area not at 10
  EXPECT_EQ(codeOf(Patched(8, 200)), err::InvalidFilterExpression);  // literals past the end
  EXPECT_EQ(codeOf(Patched(10, 6)), err::InvalidFilterExpression);   // class 6
  EXPECT_EQ(codeOf(Patched(14, 9)), err::InvalidFilterExpression);   // NOT as a binary node
  EXPECT_EQ(codeOf(Patched(18, 0)), err::InvalidFilterExpression);   // operand onto itself
  EXPECT_EQ(codeOf(Patched(18, 60)), err::InvalidFilterExpression);  // operand past the nodes
  EXPECT_EQ(codeOf(Patched(32, 12)), err::InvalidFilterExpression);  // name past the literals
  EXPECT_EQ(codeOf(Patched(26, 12)), err::InvalidFilterExpression);  // field operator 12
  EXPECT_EQ(codeOf(qtyAbove(3, 4).Bytes()), err::InvalidFilterExpression);  // a blob constant
  EXPECT_EQ(codeOf(qtyAbove(5, 4).Bytes()), err::InvalidFilterExpression);  // wrong size
  EXPECT_EQ(codeOf(qtyAbove(6, 9).Bytes()), err::InvalidFilterExpression);  // past the end

  // Names: unterminated, or not a field of the table.
  EXPECT_EQ(codeOf(TGoldenBuffer()
                       .Node(kUnary, 1, {10})
                       .Node(kField, kFieldOp, {4, 0})
                       .Literal("Qty")
                       .Bytes()),
            err::InvalidFilterExpression);
  const std::vector<std::uint8_t> unknown = TGoldenBuffer()
                                                .Node(kUnary, 1, {10})
                                                .Node(kField, kFieldOp, {4, 0})
                                                .Literal(std::string_view("Nope\0", 5))
                                                .Bytes();
  const TRaised raised = Raised([&] { TFilter filter(table_, unknown); });
  EXPECT_EQ(raised.code, err::InvalidFilterExpression);
  EXPECT_NE(raised.message.find("Invalid filter expression specified for data file"),
            std::string::npos);

  // A compare node needs a string field and a text.
  const auto compareOf = [](std::uint16_t field, std::string_view name, std::string_view constant,
                            std::uint16_t partial) {
    return TGoldenBuffer()
        .Node(kCompare, 3, {0, partial, 16, 28})
        .Node(kField, kFieldOp, {field, 0})
        .Node(kConstant, kConstantOp,
              {1, static_cast<std::uint16_t>(constant.size()),
               static_cast<std::uint16_t>(name.size())})
        .Literal(name)
        .Literal(constant)
        .Bytes();
  };
  using namespace std::string_view_literals;
  EXPECT_EQ(codeOf(compareOf(3, "Name\0"sv, "ab\0"sv, 2)), 0);
  EXPECT_EQ(codeOf(compareOf(4, "Qty\0"sv, "ab\0"sv, 2)), err::InvalidFilterExpression);
  EXPECT_EQ(codeOf(compareOf(3, "Name\0"sv, "\0"sv, 0)), err::InvalidFilterExpression);
  EXPECT_EQ(codeOf(compareOf(3, "Name\0"sv, "ab\0"sv, 256)), err::InvalidFilterExpression);

  // 998 NOTs over a NULL test are as deep as a buffer may be; 999 deeper.
  const auto nots = [](std::uint16_t count) {
    TGoldenBuffer deep;
    for (std::uint16_t i = 0; i < count; ++i)
      deep.Node(kUnary, 9, {static_cast<std::uint16_t>(10 * (i + 1))});
    const auto field = static_cast<std::uint16_t>(10 * count + 10);
    deep.Node(kUnary, 1, {field}).Node(kField, kFieldOp, {4, 0}).Literal("Qty\0"sv);
    return deep.Bytes();
  };
  EXPECT_EQ(codeOf(nots(998)), 0);
  EXPECT_EQ(codeOf(nots(999)), err::InvalidFilterExpression);
  // Operands shared by both sides, level after level, would decode into
  // 2^40 nodes: refused rather than followed.
  TGoldenBuffer shared;
  for (std::uint16_t i = 0; i < 40; ++i) {
    const auto next = static_cast<std::uint16_t>(12 * (i + 1));
    shared.Node(kBinary, 10, {next, next});
  }
  shared.Node(kUnary, 1, {490}).Node(kField, kFieldOp, {4, 0}).Literal("Qty\0"sv);
  EXPECT_EQ(codeOf(shared.Bytes()), err::InvalidFilterExpression);
}

// The names of a table with a case-insensitive and a case-sensitive index
// on Name, one with only one of them, and one without: each compare gives
// the same records, through an index when one folds case as it does.
class FilterCompare : public FilterBuffer, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    std::vector<TIndexDefinition> indexes;
    const std::string kind = GetParam();
    if (kind == "both" || kind == "folding") {
      indexes.push_back(Index("NameNoCase", {3}));
      indexes.back().CaseInsensitive = 1;
    }
    if (kind == "both" || kind == "exact") indexes.push_back(Index("NameCase", {3}));
    Make(indexes);
    AddNames({"Smith", "smithers", "SMITHY", "Smi", "Sm", "Jones", nullptr, "Smi*", "smi", "*",
              "Smi ", "smITH"});
  }

  // Whether the table has an index that folds case as `caseInsensitive`.
  bool Indexed(bool caseInsensitive) const {
    const std::string kind = GetParam();
    return kind == "both" || kind == (caseInsensitive ? "folding" : "exact");
  }

  // Checks that the records were found the way the table's indexes allow.
  void ExpectAnswered(bool caseInsensitive, const std::string& text) {
    if (Indexed(caseInsensitive)) {
      EXPECT_GT(statistics_.RangesMarked, 0u) << text;
      EXPECT_EQ(statistics_.RecordsTested, 0u) << text;
    } else {
      EXPECT_EQ(statistics_.RangesMarked, 0u) << text;
      EXPECT_GT(statistics_.RecordsTested, 0u) << text;
    }
  }

  std::multiset<std::string> NamesOf(const std::string& text, TFilterOptions options = 0) {
    return Passing(Compile(text, options));
  }
};

using TNames = std::multiset<std::string>;

TEST_P(FilterCompare, PartialComparesKeepTheTextsThatStartWithThePrefix) {
  EXPECT_EQ(NamesOf("Name = 'Smi*'"), (TNames{"Smith", "Smi", "Smi*", "Smi"}));
  ExpectAnswered(false, "Smi*");
  // Not equal: every other record, the blank name too.
  EXPECT_EQ(NamesOf("Name <> 'Smi*'"),
            (TNames{"smithers", "SMITHY", "Sm", "Jones", "-", "smi", "*", "smITH"}));
  ExpectAnswered(false, "<> Smi*");
  // A prefix longer than some names.
  EXPECT_EQ(NamesOf("Name = 'Smith*'"), (TNames{"Smith"}));
  // No partial compares: the text with its star.
  EXPECT_EQ(NamesOf("Name = 'Smi*'", foNoPartialCompare), (TNames{"Smi*"}));
  // A lone star is a text.
  EXPECT_EQ(NamesOf("Name = '*'"), (TNames{"*"}));
}

TEST_P(FilterCompare, CaseInsensitiveComparesFoldAToZ) {
  EXPECT_EQ(NamesOf("Name = 'smi*'", foCaseInsensitive),
            (TNames{"Smith", "smithers", "SMITHY", "Smi", "Smi*", "smi", "Smi", "smITH"}));
  ExpectAnswered(true, "smi*");
  EXPECT_EQ(NamesOf("Name = 'SMITH'", foCaseInsensitive), (TNames{"Smith", "smITH"}));
  ExpectAnswered(true, "SMITH");
  EXPECT_EQ(NamesOf("Name <> 'smith'", foCaseInsensitive),
            (TNames{"smithers", "SMITHY", "Smi", "Sm", "Jones", "-", "Smi*", "smi", "*", "Smi"}));
  ExpectAnswered(true, "<> smith");
  EXPECT_EQ(NamesOf("Name = 'smi*'", foCaseInsensitive | foNoPartialCompare), (TNames{"Smi*"}));
  // A locate with a partial key over the whole text.
  const TLocateValue prefix[] = {{"Name", TValue::String("SMIT")}};
  EXPECT_EQ(Passing(BuildLocateFilter(table_.LogicalFields(), prefix, true, true)),
            (TNames{"Smith", "smithers", "SMITHY", "smITH"}));
  ExpectAnswered(true, "locate SMIT");
  EXPECT_EQ(Passing(BuildLocateFilter(table_.LogicalFields(), prefix, false, true)),
            (TNames{"SMITHY"}));
}

TEST_P(FilterCompare, TrailingBlanksAreLeftToTheTest) {
  // Records keep names without trailing blanks; a compare with one matches
  // only what the test sees, whichever path answers it.
  EXPECT_EQ(NamesOf("Name = 'Smi *'"), TNames{});
  EXPECT_EQ(NamesOf("Name = 'Smi '"), TNames{});
  EXPECT_EQ(NamesOf("Name = 'smi '", foCaseInsensitive), TNames{});
  EXPECT_EQ(NamesOf("Name = 'Smi'"), (TNames{"Smi", "Smi"}));
}

INSTANTIATE_TEST_SUITE_P(Indexes, FilterCompare,
                         ::testing::Values("both", "folding", "exact", "none"));

}  // namespace
}  // namespace quire::testing
