// Dataset filter texts: the tokens, the grammar, the rules by which a tree
// becomes a filter buffer, and every message, each raised as the dataset
// layer's database error. Buffers are looked at through the engine's
// decoder, which turns them back into the tree the engine evaluates.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "sql/ExprParser.h"
#include "sql/FilterBuffer.h"
#include "sql/FilterBufferReader.h"
#include "sql/FilterExpr.h"

namespace quire::testing {
namespace {

TFieldDescriptor MakeField(std::string name, std::uint8_t type, int size = 0,
                           std::uint8_t subType = 0, int decimals = 0) {
  TFieldDescriptor field;
  field.FieldName = std::move(name);
  field.FieldType = type;
  field.FieldSize = static_cast<std::uint8_t>(size);
  field.FieldSubType = subType;
  field.FieldDecimals = static_cast<std::uint8_t>(decimals);
  field.DeriveSizes();
  return field;
}

// A table of every kind of field a filter meets, numbered 1..n.
std::vector<TFieldDescriptor> Fields() {
  std::vector<TFieldDescriptor> fields = {
      MakeField("ID", ftype::Integer, 0, fsubtype::AutoInc),
      MakeField("Code", ftype::String, 10),
      MakeField("Name", ftype::String, 40),
      MakeField("Qty", ftype::SmallInt),
      MakeField("Count", ftype::Integer),
      MakeField("Wrd", ftype::Word),
      MakeField("Active", ftype::Boolean),
      MakeField("Price", ftype::Float),
      MakeField("Cost", ftype::Float, 0, fsubtype::Money),
      MakeField("Amount", ftype::Bcd, 0, 0, 2),
      MakeField("Day", ftype::Date),
      MakeField("At", ftype::Time),
      MakeField("Stamp", ftype::TimeStamp),
      MakeField("Memo", ftype::Blob, 0, fsubtype::Memo),
      MakeField("Raw", ftype::Bytes, 4),
      MakeField("Big", ftype::UInt32),
      MakeField("Song Name", ftype::String, 20),
      MakeField("\xA1\xA2\xA3", ftype::String, 10),  // a Thai name in code page 874
  };
  for (std::size_t i = 0; i < fields.size(); ++i)
    fields[i].FieldNo = static_cast<std::int16_t>(i + 1);
  return fields;
}

class FilterText : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> Compile(const std::string& text, TFilterOptions options = 0) {
    return TExprParser(fields_, options, text, BuiltInFormatSettings()).FilterData();
  }

  // The tree the engine reads from the text's buffer.
  TExprTree Tree(const std::string& text, TFilterOptions options = 0) {
    return DecodeFilterBuffer(Compile(text, options), fields_, "T.DAT");
  }

  // The database error the text raises; "" (and a failure) when none.
  std::string MessageOf(const std::string& text, TFilterOptions options = 0) {
    try {
      Compile(text, options);
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    ADD_FAILURE() << "no database error for " << text;
    return "";
  }

  std::vector<TFieldDescriptor> fields_ = Fields();
};

// The constant a comparison node holds, with the field it tests.
struct TCompared {
  std::string field;
  TValue constant;
};

TCompared ComparedOf(const TQueryExprNode& node) {
  EXPECT_TRUE(node.Left && node.Left->IsColumn());
  EXPECT_TRUE(node.Right && node.Right->IsConstant());
  if (!node.Left || !node.Right) return {};
  return {node.Left->ColumnName, node.Right->Value};
}

TEST_F(FilterText, TokensAndTheirMessages) {
  // Blanks and control characters separate tokens; "<" ">" "=" pair up.
  for (const char* text : {"Qty<=5", " \t\nQty\r<= 5 ", "Qty <=\x01 5"}) {
    const TExprTree tree = Tree(text);
    EXPECT_EQ(tree->OpCode, op::LessOrEqual) << text;
  }
  EXPECT_EQ(Tree("Qty<>5")->OpCode, op::NotEqual);
  EXPECT_EQ(Tree("Qty>=5")->OpCode, op::GreaterOrEqual);
  EXPECT_EQ(Tree("Qty>5")->OpCode, op::Greater);
  EXPECT_EQ(Tree("Qty<5")->OpCode, op::Less);
  // "< >" with a blank between is "<" followed by ">": no primary after it.
  EXPECT_EQ(MessageOf("Qty < > 5"), "Expression expected but '>' found");

  // Doubled quotes inside a string are one quote.
  EXPECT_EQ(ComparedOf(*Tree("Name = 'O''Neil'")).constant.Text, "O'Neil");
  EXPECT_EQ(ComparedOf(*Tree("Name = ''''")).constant.Text, "'");
  EXPECT_EQ(MessageOf("Name = 'O''Neil"), "Unterminated string constant");
  EXPECT_EQ(MessageOf("Name = '"), "Unterminated string constant");

  // Bracketed names hold any characters; a keyword in brackets is a name.
  EXPECT_EQ(ComparedOf(*Tree("[Song Name] = 'x'")).field, "Song Name");
  EXPECT_EQ(MessageOf("[Song Name = 'x'"), "Unterminated field name");
  EXPECT_EQ(MessageOf("[NULL] = 1"), "Field 'NULL' not found");
  // National letters (bytes 129 to 254) make symbols.
  EXPECT_EQ(ComparedOf(*Tree("\xA1\xA2\xA3 = 'x'")).field, "\xA1\xA2\xA3");

  // Numbers take signs, points and exponents, and stay texts until the
  // field's type reads them.
  EXPECT_DOUBLE_EQ(ComparedOf(*Tree("Price = -1.5E2")).constant.Real, -150.0);
  EXPECT_EQ(ComparedOf(*Tree("Count >= 1e3")).constant.Integer, 1000);
  EXPECT_EQ(ComparedOf(*Tree("Qty = -7")).constant.Integer, -7);

  for (const char* c : {"!", "*", "\"", "&", "{", ";", "\x80", "\xFF"})
    EXPECT_EQ(MessageOf(std::string("Name = 'a' ") + c),
              std::string("Invalid filter expression character: '") + c + "'")
        << c;
  EXPECT_EQ(MessageOf("Name = Smi*"), "Invalid filter expression character: '*'");
}

TEST_F(FilterText, GrammarGroupsToTheLeftWithAndAboveOr) {
  // a OR b OR c is (a OR b) OR c.
  TExprTree tree = Tree("Qty = 1 OR Qty = 2 OR Qty = 3");
  ASSERT_EQ(tree->OpCode, op::Or);
  EXPECT_EQ(tree->Left->OpCode, op::Or);
  EXPECT_EQ(ComparedOf(*tree->Right).constant.Integer, 3);
  EXPECT_EQ(ComparedOf(*tree->Left->Left).constant.Integer, 1);

  // a AND b OR c is (a AND b) OR c; a OR b AND c is a OR (b AND c).
  tree = Tree("Qty = 1 AND Qty = 2 OR Qty = 3");
  ASSERT_EQ(tree->OpCode, op::Or);
  EXPECT_EQ(tree->Left->OpCode, op::And);
  tree = Tree("Qty = 1 or Qty = 2 and Qty = 3");
  ASSERT_EQ(tree->OpCode, op::Or);
  EXPECT_EQ(tree->Right->OpCode, op::And);

  // NOT takes one comparison; parentheses regroup.
  tree = Tree("NOT Qty = 1 AND Active");
  ASSERT_EQ(tree->OpCode, op::And);
  EXPECT_EQ(tree->Left->Kind, nkUnary);
  EXPECT_EQ(tree->Left->OpCode, op::Not);
  tree = Tree("not (Qty = 1 AND Active)");
  ASSERT_EQ(tree->OpCode, op::Not);
  EXPECT_EQ(tree->Left->OpCode, op::And);
  EXPECT_EQ(Tree("((((Active))))")->OpCode, op::Equal);

  EXPECT_EQ(MessageOf(""), "Expression expected but nothing found");
  EXPECT_EQ(MessageOf("   "), "Expression expected but nothing found");
  EXPECT_EQ(MessageOf("Active AND"), "Expression expected but nothing found");
  EXPECT_EQ(MessageOf("Active AND )"), "Expression expected but ')' found");
  EXPECT_EQ(MessageOf("Qty = = 5"), "Expression expected but '=' found");
  EXPECT_EQ(MessageOf("(Active"), "')' expected but nothing found");
  EXPECT_EQ(MessageOf("(Active Code"), "')' expected but 'Code' found");
  EXPECT_EQ(MessageOf("(Qty = 5 'x'"), "')' expected but ''x'' found");
  EXPECT_EQ(MessageOf("Active)"), "Filter expression incorrectly terminated");
  EXPECT_EQ(MessageOf("(Qty = 5))"), "Filter expression incorrectly terminated");
  EXPECT_EQ(MessageOf("Qty = 5 Active"), "Filter expression incorrectly terminated");
  // NOT takes a comparison, not another NOT: the second one is a name.
  EXPECT_EQ(MessageOf("NOT NOT Active"), "Filter expression incorrectly terminated");
}

TEST_F(FilterText, KeywordsAndTheTrueAndFalseWords) {
  for (const char* word : {"True", "TRUE", "true", "tRuE"}) {
    const TCompared compared = ComparedOf(*Tree(std::string("Active = ") + word));
    EXPECT_EQ(compared.constant.Type, ftype::Boolean) << word;
    EXPECT_TRUE(compared.constant.IsTrue()) << word;
  }
  const TCompared no = ComparedOf(*Tree("Active <> fAlSe"));
  EXPECT_EQ(no.constant.Type, ftype::Boolean);
  EXPECT_FALSE(no.constant.IsTrue());
  EXPECT_FALSE(no.constant.Null);
  // A quoted word is text, which a boolean field reads the same way.
  EXPECT_TRUE(ComparedOf(*Tree("Active = 'true'")).constant.IsTrue());
  // Against a string field the boolean word is compared as its text.
  EXPECT_EQ(ComparedOf(*Tree("Name = TRUE")).constant.Text, "True");
  // AND, OR, NOT and NULL in any case.
  EXPECT_EQ(Tree("Active and Active")->OpCode, op::And);
  EXPECT_EQ(Tree("Active oR Active")->OpCode, op::Or);
  EXPECT_EQ(Tree("nOt Active")->OpCode, op::Not);
  EXPECT_EQ(Tree("Code = null")->OpCode, op::IsNull);
}

TEST_F(FilterText, FieldsStandingAloneAndConstantsStandingAlone) {
  // A boolean field alone means field = true.
  const TExprTree tree = Tree("Active");
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_EQ(tree->OpCode, op::Equal);
  EXPECT_EQ(ComparedOf(*tree).field, "Active");
  EXPECT_TRUE(ComparedOf(*tree).constant.IsTrue());
  EXPECT_EQ(Compile("Active"), Compile("Active = True"));
  EXPECT_EQ(Compile("active"), Compile("Active = True"));

  EXPECT_EQ(MessageOf("Code"), "Field 'Code' is not of type Boolean");
  EXPECT_EQ(MessageOf("Active AND Qty"), "Field 'Qty' is not of type Boolean");
  EXPECT_EQ(MessageOf("NOT code"), "Field 'Code' is not of type Boolean");
  for (const char* text : {"5", "'abc'", "True", "NULL", "Active OR 1", "NOT 'x'", "5 = 6",
                           "NULL = NULL", "Active = (Qty = 1)", "(Qty = 1) = Active"})
    EXPECT_EQ(MessageOf(text), "Incorrectly formed filter expression") << text;
  EXPECT_EQ(MessageOf("Nope = 1"), "Field 'Nope' not found");
  EXPECT_EQ(MessageOf("Nope"), "Field 'Nope' not found");
}

TEST_F(FilterText, ConstantsOnTheLeftChangeSides) {
  EXPECT_EQ(Compile("'A' = Code"), Compile("Code = 'A'"));
  EXPECT_EQ(Compile("5 < Qty"), Compile("Qty > 5"));
  EXPECT_EQ(Compile("5 > Qty"), Compile("Qty < 5"));
  EXPECT_EQ(Compile("5 <= Qty"), Compile("Qty >= 5"));
  EXPECT_EQ(Compile("5 >= Qty"), Compile("Qty <= 5"));
  EXPECT_EQ(Compile("5 <> Qty"), Compile("Qty <> 5"));
  EXPECT_EQ(Compile("NULL = Code"), Compile("Code = NULL"));
  EXPECT_EQ(Compile("'Smi*' = Name"), Compile("Name = 'Smi*'"));
  // Two fields stay as they stand.
  const TExprTree tree = Tree("Qty < Count");
  EXPECT_EQ(tree->OpCode, op::Less);
  EXPECT_EQ(tree->Left->ColumnName, "Qty");
  EXPECT_EQ(tree->Right->ColumnName, "Count");
  EXPECT_EQ(MessageOf("Memo = Name"), "Field 'Memo' cannot be used in a filter expression");
  EXPECT_EQ(MessageOf("Name = Raw"), "Field 'Raw' cannot be used in a filter expression");
}

TEST_F(FilterText, NullTests) {
  TExprTree tree = Tree("Code = NULL");
  EXPECT_EQ(tree->Kind, nkUnary);
  EXPECT_EQ(tree->OpCode, op::IsNull);
  EXPECT_EQ(tree->Left->ColumnName, "Code");
  tree = Tree("Code <> NULL");
  EXPECT_EQ(tree->OpCode, op::IsNotNull);
  // Any field can be tested for NULL, blobs too.
  EXPECT_EQ(Tree("Memo = NULL")->OpCode, op::IsNull);
  for (const char* text : {"Code > NULL", "Code < NULL", "Qty >= NULL", "NULL <= Qty"})
    EXPECT_EQ(MessageOf(text), "NULL only allowed with '=' and '<>'") << text;
  // An empty text is written as an empty string, which the engine reads as
  // NULL: Code = '' holds for blank codes only.
  tree = Tree("Code = ''");
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_TRUE(ComparedOf(*tree).constant.Null);
}

TEST_F(FilterText, PartialAndCaseInsensitiveCompares) {
  // A trailing "*" compares the text before it.
  TExprTree tree = Tree("Name = 'Smi*'");
  EXPECT_EQ(tree->Kind, nkCompare);
  EXPECT_EQ(tree->OpCode, op::Equal);
  EXPECT_EQ(tree->PartialLength, 3);
  EXPECT_FALSE(tree->CaseInsensitive);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, "Smi");
  EXPECT_EQ(Tree("Name <> 'Smi*'")->OpCode, op::NotEqual);
  EXPECT_EQ(Tree("Name <> 'Smi*'")->Kind, nkCompare);

  // ... unless partial compares are off: then it is the text Smi*.
  tree = Tree("Name = 'Smi*'", foNoPartialCompare);
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, "Smi*");

  // A lone "*" is the text *, and ordering compares keep the "*".
  tree = Tree("Name = '*'");
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, "*");
  EXPECT_EQ(Tree("Name > 'Smi*'")->Kind, nkBinary);
  EXPECT_EQ(ComparedOf(*Tree("Name > 'Smi*'")).constant.Text, "Smi*");
  // Only string fields compare partially.
  EXPECT_EQ(MessageOf("Qty = '5*'"), "'5*' is not a valid integer value");
  // "**" is a partial compare with the text *.
  tree = Tree("Name = '**'");
  EXPECT_EQ(tree->PartialLength, 1);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, "*");

  // Case-insensitive: every = and <> of a string field, whole or partial.
  tree = Tree("Name = 'smith'", foCaseInsensitive);
  EXPECT_EQ(tree->Kind, nkCompare);
  EXPECT_TRUE(tree->CaseInsensitive);
  EXPECT_EQ(tree->PartialLength, 0);
  tree = Tree("Name = 'sm*'", foCaseInsensitive);
  EXPECT_TRUE(tree->CaseInsensitive);
  EXPECT_EQ(tree->PartialLength, 2);
  tree = Tree("Name = 'sm*'", foCaseInsensitive | foNoPartialCompare);
  EXPECT_EQ(tree->Kind, nkCompare);
  EXPECT_EQ(tree->PartialLength, 0);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, "sm*");
  // Other fields, other operators and empty texts are not affected.
  EXPECT_EQ(Tree("Qty = 5", foCaseInsensitive)->Kind, nkBinary);
  EXPECT_EQ(Tree("Name < 'x'", foCaseInsensitive)->Kind, nkBinary);
  EXPECT_EQ(Tree("Name = ''", foCaseInsensitive)->Kind, nkBinary);

  // The longest text: 256 characters are read, 255 written.
  const std::string long256(256, 'x');
  EXPECT_EQ(ComparedOf(*Tree("Name = '" + long256 + "'")).constant.Text, std::string(255, 'x'));
  tree = Tree("Name = '" + std::string(255, 'y') + "*'");
  EXPECT_EQ(tree->PartialLength, 255);
  EXPECT_EQ(ComparedOf(*tree).constant.Text, std::string(255, 'y'));
}

TEST_F(FilterText, ConstantsConvertToTheFieldsType) {
  EXPECT_EQ(ComparedOf(*Tree("Qty = -32768")).constant.Integer, -32768);
  EXPECT_EQ(ComparedOf(*Tree("Qty = 32767")).constant.Type, ftype::SmallInt);
  EXPECT_EQ(ComparedOf(*Tree("Wrd = 65535")).constant.Integer, 65535);
  EXPECT_EQ(ComparedOf(*Tree("Wrd = 0")).constant.Type, ftype::Word);
  EXPECT_EQ(ComparedOf(*Tree("Count = -2147483648")).constant.Integer, -2147483648LL);
  EXPECT_EQ(ComparedOf(*Tree("ID = 7")).constant.Type, ftype::Integer);
  for (const char* text : {"Qty = 70000", "Qty = 32768", "Qty = -32769", "Wrd = -1", "Wrd = 65536",
                           "Count = 2147483648", "Qty = 1E10", "Count = '99999999999999999999'"})
    EXPECT_EQ(MessageOf(text), "Constant out of range") << text;

  EXPECT_EQ(ComparedOf(*Tree("Qty = '12'")).constant.Integer, 12);  // quoted numbers read too
  EXPECT_EQ(MessageOf("Qty = 'abc'"), "'abc' is not a valid integer value");
  EXPECT_EQ(MessageOf("Count = 1.5"), "'1.5' is not a valid integer value");
  EXPECT_EQ(MessageOf("Count = -"), "'-' is not a valid integer value");
  EXPECT_EQ(MessageOf("Price = 'x'"), "'x' is not a valid floating point value");
  EXPECT_EQ(MessageOf("Active = 'maybe'"), "'maybe' is not a valid boolean value");
  EXPECT_EQ(MessageOf("Active = 1"), "'1' is not a valid boolean value");
  EXPECT_EQ(MessageOf("Day = 'soon'"), "'soon' is not a valid date");
  EXPECT_EQ(MessageOf("At = '25:00'"), "'25:00' is not a valid time");
  EXPECT_EQ(MessageOf("Stamp = 'x'"), "'x' is not a valid date and time");
  EXPECT_EQ(MessageOf("Amount = 'lots'"), "'lots' is not a valid BCD value");
  EXPECT_EQ(MessageOf("Qty = TRUE"), "'True' is not a valid integer value");

  // Money is a float; BCD is its amount in 1/10000, rounded to the field's
  // two decimals (half away from zero).
  EXPECT_DOUBLE_EQ(ComparedOf(*Tree("Cost = 2.25")).constant.Real, 2.25);
  EXPECT_EQ(ComparedOf(*Tree("Amount = 12.345")).constant.Integer, 123500);
  EXPECT_EQ(ComparedOf(*Tree("Amount = -12.345")).constant.Integer, -123500);
  EXPECT_EQ(ComparedOf(*Tree("Amount = 7")).constant.Integer, 70000);

  // Dates, times and timestamps with the locale's formats (M/d/yyyy).
  EXPECT_EQ(ComparedOf(*Tree("Day = '3/15/2024'")).constant.Integer, 738960);
  EXPECT_EQ(ComparedOf(*Tree("At = '10:30:15'")).constant.Integer, 37815000);
  EXPECT_DOUBLE_EQ(ComparedOf(*Tree("Stamp < '1/2/2000 10:30:00'")).constant.Real,
                   730121.0 * 86400000 + 37800000);

  for (const char* text : {"Memo = 'x'", "Raw = 'x'", "Big = 5", "'x' = Memo"})
    EXPECT_EQ(MessageOf(text).substr(0, 7), "Field '") << text;
  EXPECT_EQ(MessageOf("Big = 5"), "Field 'Big' cannot be used in a filter expression");
}

TEST_F(FilterText, FieldNamesAreWrittenAsTheTableSpellsThem) {
  const std::vector<std::uint8_t> lower = Compile("code = 'A'");
  const std::vector<std::uint8_t> proper = Compile("Code = 'A'");
  EXPECT_EQ(lower, proper);
  const std::string image(proper.begin(), proper.end());
  EXPECT_NE(image.find(std::string("Code\0A\0", 7)), std::string::npos);
}

TEST_F(FilterText, SizeAndDepthLimits) {
  // Each term with a 255-character text costs 38 node and 261 literal
  // bytes, and each OR 12 more: 220 of them exceed the 65535 bytes a buffer
  // can have, long before its tree is too deep.
  const std::string term = "Name = '" + std::string(255, 'n') + "'";
  std::string text = term;
  for (int i = 0; i < 200; ++i) text += " OR " + term;
  EXPECT_NO_THROW(Compile(text));
  for (int i = 0; i < 20; ++i) text += " OR " + term;
  EXPECT_EQ(MessageOf(text), "Filter expression too complex");
  // 1000 nested parentheses are fine, 1001 too many.
  const auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '(') + "Active" +
           std::string(static_cast<std::size_t>(depth), ')');
  };
  EXPECT_EQ(Compile(nested(filterbuffer::kMaxDepth)), Compile("Active"));
  EXPECT_EQ(MessageOf(nested(filterbuffer::kMaxDepth + 1)), "Filter expression too complex");
  // A chain of ORs deeper than a buffer may be.
  std::string deep = "Active";
  for (int i = 0; i < filterbuffer::kMaxDepth; ++i) deep += " OR Active";
  EXPECT_EQ(MessageOf(deep), "Filter expression too complex");
}

TEST(LocateFilter, ComparesEachFieldJoinedByAnd) {
  const std::vector<TFieldDescriptor> fields = Fields();
  const TLocateValue values[] = {{"qty", TValue::Int(5)},
                                 {"Name", TValue::String("Sm*")},
                                 {"Code", TValue::NullOf(ftype::String)}};
  TExprTree tree =
      DecodeFilterBuffer(BuildLocateFilter(fields, values, false, false), fields, "T.DAT");
  // ((Qty = 5 AND Name = 'Sm*') AND Code IS NULL): "*" is no wildcard here.
  ASSERT_EQ(tree->OpCode, op::And);
  EXPECT_EQ(tree->Right->OpCode, op::IsNull);
  ASSERT_EQ(tree->Left->OpCode, op::And);
  EXPECT_EQ(ComparedOf(*tree->Left->Left).constant.Type, ftype::SmallInt);
  EXPECT_EQ(tree->Left->Right->Kind, nkBinary);
  EXPECT_EQ(ComparedOf(*tree->Left->Right).constant.Text, "Sm*");

  // The partial key makes the last string compare partial over its whole
  // length; case folding reaches every string compare.
  const TLocateValue names[] = {{"Code", TValue::String("ab")}, {"Name", TValue::String("Sm*")}};
  tree = DecodeFilterBuffer(BuildLocateFilter(fields, names, true, true), fields, "T.DAT");
  ASSERT_EQ(tree->OpCode, op::And);
  EXPECT_EQ(tree->Left->Kind, nkCompare);
  EXPECT_TRUE(tree->Left->CaseInsensitive);
  EXPECT_EQ(tree->Left->PartialLength, 0);
  EXPECT_EQ(tree->Right->Kind, nkCompare);
  EXPECT_EQ(tree->Right->PartialLength, 3);
  EXPECT_EQ(ComparedOf(*tree->Right).constant.Text, "Sm*");
  tree = DecodeFilterBuffer(BuildLocateFilter(fields, names, false, true), fields, "T.DAT");
  EXPECT_EQ(tree->Left->Kind, nkBinary);
  EXPECT_FALSE(tree->Right->CaseInsensitive);
  EXPECT_EQ(tree->Right->PartialLength, 3);

  // A partial key on a field that is not a string changes nothing.
  const TLocateValue number[] = {{"Count", TValue::String("12")}};
  tree = DecodeFilterBuffer(BuildLocateFilter(fields, number, false, true), fields, "T.DAT");
  EXPECT_EQ(tree->Kind, nkBinary);
  EXPECT_EQ(ComparedOf(*tree).constant.Integer, 12);

  // Typed values convert, within range.
  const TLocateValue tooBig[] = {{"Qty", TValue::Int(40000)}};
  EXPECT_THROW(
      {
        try {
          BuildLocateFilter(fields, tooBig, false, false);
        } catch (const EDatabaseError& e) {
          EXPECT_STREQ(e.what(), "Constant out of range");
          throw;
        }
      },
      EDatabaseError);
  const TLocateValue wrongType[] = {{"Day", TValue::Int(3)}};
  EXPECT_THROW(BuildLocateFilter(fields, wrongType, false, false), EDatabaseError);
  EXPECT_THROW(BuildLocateFilter(fields, {}, false, false), EDatabaseError);
}

TEST(DatabaseError, FillsTheNameIntoTheResourceText) {
  const auto message = [](const std::function<void()>& raise) {
    try {
      raise();
    } catch (const EDatabaseError& e) {
      return std::string(e.what());
    }
    return std::string("nothing raised");
  };
  EXPECT_EQ(message([] { RaiseDatabaseError("Field '%s' not found", "Code"); }),
            "Field 'Code' not found");
  EXPECT_EQ(message([] { RaiseDatabaseError("Constant out of range"); }), "Constant out of range");
  // Only the first %s is the name's place.
  EXPECT_EQ(message([] { RaiseDatabaseError("'%s' and '%s'", "a%s"); }), "'a%s' and '%s'");
}

}  // namespace
}  // namespace quire::testing
