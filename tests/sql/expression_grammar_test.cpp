// The expression grammar: its messages word for word, the parse flags,
// constants and parameters, and its grouping and precedence, which are
// checked by evaluating what was parsed rather than by restating the tree.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"

namespace quire::testing {
namespace {

std::string ParseMessage(std::string_view text, TParseFlags flags = kAllParseFlags,
                         std::string_view clause = kClauseCondition) {
  return SqlMessageOf([&] { ParseText(text, flags, clause); });
}

TEST(ExpressionGrammarMessages, ComparisonPredicates) {
  const std::string in = " in WHERE or JOIN clause";
  EXPECT_EQ(ParseMessage("Int BETWEEN 1 OR 2"),
            "Expected AND operator in BETWEEN operator, instead found 'OR'" + in);
  EXPECT_EQ(ParseMessage("Int NOT BETWEEN 1"),
            "Expected AND operator in BETWEEN operator, instead found ''" + in);
  EXPECT_EQ(ParseMessage("Int IN 1"),
            "Expected left parentheses after IN operator, instead found '1'" + in);
  EXPECT_EQ(ParseMessage("Int NOT IN [1]"),
            "Expected left parentheses for IN operator, instead found '1'" + in);
  EXPECT_EQ(ParseMessage("Int IN (1, 2"),
            "Expected right parentheses after IN operator, instead found ''" + in);
  EXPECT_EQ(ParseMessage("Int IN (1 2)"),
            "Expected right parentheses after IN operator, instead found '2'" + in);
  // Two blanks before "in".
  EXPECT_EQ(ParseMessage("Int IN ()"),
            "You must provide at least one value as an operand of the IN operator  in WHERE or "
            "JOIN clause");
  EXPECT_EQ(ParseMessage("Int NOT IN ( )", kAllParseFlags, kClauseSourceColumns),
            "You must provide at least one value as an operand of the IN operator  in source "
            "columns");
  EXPECT_EQ(ParseMessage("Int IS 1"), "Unknown or unexpected symbol '1' found" + in);
  EXPECT_EQ(ParseMessage("Int IS NOT TRUE"), "Unknown or unexpected symbol 'TRUE' found" + in);
  EXPECT_EQ(ParseMessage("Int IS"), "Unknown or unexpected symbol '' found" + in);
  // After NOT the message has no "found".
  EXPECT_EQ(ParseMessage("Int NOT = 1"), "Unknown or unexpected symbol '='" + in);
  EXPECT_EQ(ParseMessage("Int NOT NULL"), "Unknown or unexpected symbol 'NULL'" + in);
}

TEST(ExpressionGrammarMessages, PredicatesNeedTheirFlag) {
  const std::string refused =
      "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in source columns";
  for (const char* text :
       {"Str LIKE 'a%'", "Str NOT LIKE 'a%'", "Int BETWEEN 1 AND 2", "Int NOT BETWEEN 1 AND 2",
        "Int IN (1)", "Int NOT IN (1)", "Int IS NULL", "Int IS NOT NULL"}) {
    EXPECT_EQ(ParseMessage(text, pfAggregates | pfAllColumns, kClauseSourceColumns), refused)
        << text;
    EXPECT_EQ(ParseMessage(text, pfPredicates), "(no error)") << text;
  }
}

TEST(ExpressionGrammarMessages, AdditiveAndPrimaries) {
  const std::string in = " in values";
  const auto message = [](std::string_view text) {
    return ParseMessage(text, pfParams, kClauseValues);
  };
  EXPECT_EQ(message("Str | Name"),
            "Second concatenation symbol '|' expected after first concatentation symbol, "
            "instead found 'Name'" +
                in);
  EXPECT_EQ(message("Str |"),
            "Second concatenation symbol '|' expected after first concatentation symbol, "
            "instead found ''" +
                in);
  EXPECT_EQ(message("Foo(1)"), "Unknown or unexpected function 'Foo' found" + in);
  EXPECT_EQ(message("lpad (Str)"), "Unknown or unexpected function 'lpad' found" + in);
  EXPECT_EQ(message("T.1"),
            "Symbol or string expression expected after table correlation name separator '.', "
            "instead found '1'" +
                in);
  EXPECT_EQ(message("[T]."),
            "Symbol or string expression expected after table correlation name separator '.', "
            "instead found ''" +
                in);
  EXPECT_EQ(message("(Int + 1"), "Right parentheses expected, instead found ''" + in);
  EXPECT_EQ(message("(Int + 1 2"), "Right parentheses expected, instead found '2'" + in);
  EXPECT_EQ(message("*"), "* (all columns) symbol is not allowed" + in);
  EXPECT_EQ(message("T.*"), "* (all columns) symbol is not allowed" + in);
  EXPECT_EQ(message(")"), "Unknown or unexpected symbol ')' found" + in);
  EXPECT_EQ(message(""), "Unknown or unexpected symbol '' found" + in);
  EXPECT_EQ(message("Int +"), "Unknown or unexpected symbol '' found" + in);
  EXPECT_EQ(message("Int = ,"), "Unknown or unexpected symbol ',' found" + in);
  EXPECT_EQ(message("SUM(Int)"), "Aggregate functions are not allowed" + in);
  EXPECT_EQ(message("count(*)"), "Aggregate functions are not allowed" + in);
  EXPECT_EQ(ParseMessage("?", pfAggregates | pfAllColumns, kClauseSourceColumns),
            "Parameters are not allowed in source columns");
  EXPECT_EQ(ParseMessage("Int = ?", pfPredicates, kClauseCondition),
            "Parameters are not allowed in WHERE or JOIN clause");
  // COUNT(*) needs both flags.
  EXPECT_EQ(ParseMessage("COUNT(*)", pfAggregates, kClauseSourceColumns),
            "* (all columns) symbol is not allowed in source columns");
  EXPECT_EQ(
      ParseMessage("COUNT(*) + COUNT(T.*)", pfAggregates | pfAllColumns, kClauseSourceColumns),
      "(no error)");
}

TEST(ExpressionGrammarMessages, Functions) {
  const std::string in = "' in source columns";
  const auto message = [](std::string_view text) {
    return ParseMessage(text, pfAggregates | pfAllColumns, kClauseSourceColumns);
  };
  for (const char* name : {"SUM", "AVG", "MIN", "MAX", "COUNT"}) {
    EXPECT_EQ(message(std::string(name) + " Int"),
              "Left parentheses expectedafter aggregate function '" + std::string(name) +
                  "', instead found 'Int" + in);
    EXPECT_EQ(message(std::string(name) + "(Int Str)"),
              "Right parentheses expected after aggregate " + std::string(name) +
                  " function argument, instead found 'Str" + in);
  }
  for (const char* name : {"LOWER", "UPPER"}) {
    EXPECT_EQ(message(std::string(name) + " Str"), "Left parentheses expectedafter " +
                                                       std::string(name) +
                                                       " keyword, instead found 'Str" + in);
    EXPECT_EQ(message(std::string(name) + "(Str = 1)"),
              "Right parentheses expected after " + std::string(name) +
                  " function argument, instead found '=" + in);
  }
  EXPECT_EQ(message("SUBSTRING Str"),
            "Left parentheses expected after SUBSTRING keyword, instead found 'Str" + in);
  EXPECT_EQ(
      message("SUBSTRING(Str FOR 2)"),
      "FROM keyword expected after first SUBSTRING function argument, instead found 'FOR" + in);
  EXPECT_EQ(message("SUBSTRING(Str FROM 1 FOR 2 3)"),
            "Right parentheses expected after SUBSTRING function arguments, instead found '3" + in);
  EXPECT_EQ(message("SUBSTRING(Str FROM 1 + 1)"),
            "Right parentheses expected after SUBSTRING function arguments, instead found '+" + in);
  EXPECT_EQ(message("TRIM Str"),
            "Left parentheses expected after TRIM keyword, instead found 'Str" + in);
  EXPECT_EQ(
      message("TRIM('x' FROM Str)"),
      "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found 'x" + in);
  EXPECT_EQ(message("TRIM(BOTH 'x' IN Str)"),
            "FROM keyword expected after second TRIM function argument, instead found 'IN" + in);
  EXPECT_EQ(message("TRIM(LEADING 'x' FROM Str Name)"),
            "Right parentheses expected after TRIM function arguments, instead found 'Name" + in);
  EXPECT_EQ(message("EXTRACT Dt"),
            "Left parentheses expected after EXTRACT keyword, instead found 'Dt" + in);
  EXPECT_EQ(message("EXTRACT(WEEK FROM Dt)"),
            "YEAR, MONTH, or DAY keyword expected after EXTRACT keyword, instead found 'WEEK" + in);
  EXPECT_EQ(message("EXTRACT(YEAR Dt)"),
            "FROM keyword expected after second EXTRACT function argument, instead found 'Dt" + in);
  EXPECT_EQ(message("EXTRACT(DAY FROM Dt Dt)"),
            "Right parentheses expected after EXTRACT function arguments, instead found 'Dt" + in);
}

TEST(ExpressionGrammarMessages, HostileNestingIsRefusedNotOverflowed) {
  const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_EQ(ParseMessage(deep), "Expression is nested too deeply in WHERE or JOIN clause");
  std::string chain = "1";
  for (int i = 0; i < 50000; ++i) chain += " + 1";
  EXPECT_EQ(ParseMessage(chain, 0, kClauseValues), "Expression is nested too deeply in values");
  std::string nots;
  for (int i = 0; i < 50000; ++i) nots += "NOT (";
  EXPECT_EQ(ParseMessage(nots + "TRUE"), "Expression is nested too deeply in WHERE or JOIN clause");
}

TEST(ExpressionGrammar, KeywordConstants) {
  for (const char* text : {"TRUE", "true", "'TRUE'", "'True'", "\"true\""}) {
    const TExprTree tree = ParseText(text);
    EXPECT_EQ(tree->Kind, nkConstant) << text;
    EXPECT_EQ(Describe(tree->Value), "4:1") << text;
  }
  for (const char* text : {"FALSE", "False", "'FALSE'", "\"false\""}) {
    const TExprTree tree = ParseText(text);
    EXPECT_EQ(Describe(tree->Value), "4:0") << text;
  }
  const TExprTree null = ParseText("null");
  EXPECT_EQ(null->Kind, nkConstant);
  EXPECT_EQ(null->Value.Type, 0);
  EXPECT_TRUE(null->Value.Null);
  EXPECT_FALSE(null->IsParameter);

  // DATE is today and NOW this moment, both taken when parsed.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::int32_t today = DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const TExprTree date = ParseText("DATE");
  EXPECT_EQ(date->Value.Type, ftype::Date);
  EXPECT_FALSE(date->Value.Null);
  EXPECT_LE(std::abs(date->Value.Integer - today), 1);
  const TExprTree stamp = ParseText("Now");
  EXPECT_EQ(stamp->Value.Type, ftype::TimeStamp);
  const double moment = static_cast<double>(today) * kMillisecondsPerDay +
                        ((local.tm_hour * 60.0 + local.tm_min) * 60 + local.tm_sec) * 1000;
  EXPECT_LT(std::abs(stamp->Value.Real - moment), 120000.0);
}

TEST(ExpressionGrammar, LiteralConstants) {
  const TExprTree integer = ParseText("2147483647");
  EXPECT_EQ(integer->Value.Type, ftype::Integer);
  EXPECT_EQ(integer->Value.Size, 4);
  EXPECT_EQ(integer->Value.Integer, 2147483647);
  const TExprTree real = ParseText("1.5E+3");
  EXPECT_EQ(real->Value.Type, ftype::Float);
  EXPECT_EQ(real->Value.Size, 8);
  EXPECT_EQ(real->Value.Real, 1500.0);
  const TExprTree text = ParseText("'O''Neil'");
  EXPECT_EQ(text->Value.Type, ftype::String);
  EXPECT_EQ(text->Value.Text, "O'Neil");
  EXPECT_EQ(text->Value.Size, 7);
  EXPECT_FALSE(text->Value.Null);
  EXPECT_EQ(ParseText("\"say \"\"hi\"\"\"")->Value.Text, "say \"hi\"");
  // '' is a NULL string.
  const TExprTree empty = ParseText("''");
  EXPECT_EQ(empty->Kind, nkConstant);
  EXPECT_EQ(empty->Value.Type, ftype::String);
  EXPECT_TRUE(empty->Value.Null);
}

TEST(ExpressionGrammar, ColumnNames) {
  struct TCase {
    const char* text;
    const char* table;
    const char* column;
  };
  for (const TCase& c :
       {TCase{"Code", "", "Code"}, TCase{"[Song Name]", "", "Song Name"}, TCase{"[SUM]", "", "SUM"},
        TCase{"[TRUE]", "", "TRUE"}, TCase{"T.Code", "T", "Code"}, TCase{"'T'.Code", "T", "Code"},
        TCase{"[My T].[Song Name]", "My T", "Song Name"}, TCase{"T . 'Code'", "T", "Code"},
        TCase{"T.*", "T", "*"}, TCase{"*", "", "*"}}) {
    const TExprTree tree = ParseText(c.text);
    ASSERT_EQ(tree->Kind, nkColumn) << c.text;
    EXPECT_EQ(tree->TableName, c.table) << c.text;
    EXPECT_EQ(tree->ColumnName, c.column) << c.text;
    EXPECT_EQ(tree->Text, *c.table ? std::string(c.table) + "." + c.column : c.column);
  }
}

TEST(ExpressionGrammar, ParametersAreListedInOrderOfAppearance) {
  TParameterList parameters;
  const TExprTree tree = ParseText("Int = ? AND Small BETWEEN ? AND ? OR Wrd IN (?, ?)",
                                   kAllParseFlags, kClauseCondition, &parameters);
  ASSERT_EQ(parameters.size(), 5u);
  const TQueryExprNode& between = *tree->Right->Left;
  const TQueryExprNode& in = *tree->Right->Right;
  const std::vector<const TQueryExprNode*> expected = {tree->Left->Right.get(), between.Right.get(),
                                                       between.Right->Next.get(), in.Right.get(),
                                                       in.Right->Next.get()};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(parameters[i], expected[i]) << i;
    EXPECT_TRUE(parameters[i]->IsParameter);
    EXPECT_EQ(parameters[i]->Kind, nkConstant);
  }
}

TEST(ExpressionGrammar, ShapesOfOperatorsAndPredicates) {
  const TExprTree isNull = ParseText("Int + 1 IS NULL");
  EXPECT_EQ(isNull->Kind, nkBinary);
  EXPECT_EQ(isNull->OpCode, op::Equal);
  EXPECT_EQ(isNull->Left->OpCode, op::Add);
  EXPECT_EQ(isNull->Right->Kind, nkConstant);
  EXPECT_EQ(isNull->Right->Value.Type, 0);
  EXPECT_TRUE(isNull->Right->Value.Null);
  const TExprTree isNotNull = ParseText("Int IS NOT NULL");
  EXPECT_EQ(isNotNull->OpCode, op::NotEqual);
  EXPECT_TRUE(isNotNull->Right->Value.Null);

  struct TCase {
    const char* text;
    TNodeKind kind;
    std::uint8_t code;
  };
  for (const TCase& c : {TCase{"a < /* split */ > b", nkBinary, op::NotEqual},
                         TCase{"a <= b", nkBinary, op::LessOrEqual},
                         TCase{"a > = b", nkBinary, op::GreaterOrEqual},
                         TCase{"a < b", nkBinary, op::Less},
                         TCase{"a > b", nkBinary, op::Greater},
                         TCase{"a || b", nkBinary, op::Add},
                         TCase{"a | | b", nkBinary, op::Add},
                         TCase{"a LIKE 'x'", nkPredicate, op::Like},
                         TCase{"a not like 'x'", nkPredicate, op::NotLike},
                         TCase{"a IN (1)", nkPredicate, op::In},
                         TCase{"a NOT IN (1)", nkPredicate, op::NotIn},
                         TCase{"a BETWEEN 1 AND 2", nkPredicate, op::Between},
                         TCase{"a NOT BETWEEN 1 AND 2", nkPredicate, op::NotBetween},
                         TCase{"NOT a", nkUnary, op::Not},
                         TCase{"-a", nkUnary, op::Negate},
                         TCase{"+a", nkUnary, op::Plus},
                         TCase{"UPPER(a)", nkFunction, op::Upper},
                         TCase{"lower(a)", nkFunction, op::Lower},
                         TCase{"SUBSTRING(a FROM 1)", nkFunction, op::Substring},
                         TCase{"TRIM(LEADING 'x' FROM a)", nkFunction, op::TrimLeading},
                         TCase{"TRIM(TRAILING 'x' FROM a)", nkFunction, op::TrimTrailing},
                         TCase{"TRIM(BOTH 'x' FROM a)", nkFunction, op::TrimBoth},
                         TCase{"EXTRACT(YEAR FROM a)", nkFunction, op::ExtractYear},
                         TCase{"EXTRACT(MONTH FROM a)", nkFunction, op::ExtractMonth},
                         TCase{"EXTRACT(DAY FROM a)", nkFunction, op::ExtractDay},
                         TCase{"sum(a)", nkFunction, op::Sum},
                         TCase{"AVG(a)", nkFunction, op::Avg},
                         TCase{"MIN(a)", nkFunction, op::Min},
                         TCase{"MAX(a)", nkFunction, op::Max},
                         TCase{"COUNT(*)", nkFunction, op::Count}}) {
    const TExprTree tree = ParseText(c.text);
    EXPECT_EQ(tree->Kind, c.kind) << c.text;
    EXPECT_EQ(tree->OpCode, c.code) << c.text;
  }
  // Extra arguments chain from Right through Next.
  const TExprTree in = ParseText("a IN (1, 2, 3)");
  EXPECT_EQ(in->Right->Value.Integer, 1);
  EXPECT_EQ(in->Right->Next->Value.Integer, 2);
  EXPECT_EQ(in->Right->Next->Next->Value.Integer, 3);
  EXPECT_EQ(in->Right->Next->Next->Next, nullptr);
  const TExprTree between = ParseText("a BETWEEN 1 AND 2 AND b");
  EXPECT_EQ(between->OpCode, op::And);
  EXPECT_EQ(between->Left->Right->Next->Value.Integer, 2);
  const TExprTree substring = ParseText("SUBSTRING(a FROM 2 FOR 3)");
  EXPECT_EQ(substring->Left->ColumnName, "a");
  EXPECT_EQ(substring->Right->Value.Integer, 2);
  EXPECT_EQ(substring->Right->Next->Value.Integer, 3);
  const TExprTree trim = ParseText("TRIM(BOTH '*' FROM a)");
  EXPECT_EQ(trim->Left->ColumnName, "a");
  EXPECT_EQ(trim->Right->Value.Text, "*");
}

TEST(ExpressionGrammar, ParsePrimaryReadsOnePrimary) {
  TExpressionParser parser;
  parser.Load("'Code' = 1");
  parser.ReadToken();
  const TExprTree primary = ParsePrimary(parser, 0, kClauseTableColumns);
  EXPECT_EQ(primary->Kind, nkConstant);
  EXPECT_EQ(primary->Value.Text, "Code");
  EXPECT_TRUE(parser.TokenKindIs('='));
  EXPECT_EQ(SqlMessageOf([] {
              TExpressionParser p;
              p.Load("?");
              p.ReadToken();
              ParsePrimary(p, 0, kClauseTableColumns);
            }),
            "Parameters are not allowed in table columns");
}

// Evaluates `text` over integer columns a, b, c, d and boolean p, q, r.
class Grouping : public ::testing::Test {
 protected:
  Grouping()
      : table_({{"a", ftype::Integer},
                {"b", ftype::Integer},
                {"c", ftype::Integer},
                {"d", ftype::Integer},
                {"p", ftype::Boolean},
                {"q", ftype::Boolean},
                {"r", ftype::Boolean}}),
        record_(table_) {}

  std::string Value(std::string_view text) { return Describe(EvaluateText(text, table_, record_)); }
  void Set(int a, int b, int c, int d = 0) {
    record_.Set("a", TValue::Int(a)).Set("b", TValue::Int(b)).Set("c", TValue::Int(c));
    record_.Set("d", TValue::Int(d));
  }
  void Set(bool p, bool q, bool r) {
    record_.Set("p", TValue::Boolean(p)).Set("q", TValue::Boolean(q));
    record_.Set("r", TValue::Boolean(r));
  }

  TFakeTable table_;
  TFakeRecord record_;
};

TEST_F(Grouping, ChainsGroupToTheRight) {
  Set(10, 5, 2);
  EXPECT_EQ(Value("a - b - c"), "6:7");
  EXPECT_EQ(Value("a - b + c"), "6:3");
  EXPECT_EQ(Value("(a - b) - c"), "6:3");
  Set(20, 5, 3, 1);
  EXPECT_EQ(Value("a - b - c - d"), "6:17");
  Set(100, 10, 5);
  EXPECT_EQ(Value("a / b * c"), "7:2");
  EXPECT_EQ(Value("(a / b) * c"), "7:50");
  Set(false, true, true);
  EXPECT_EQ(Value("p AND q OR r"), "4:0");
  EXPECT_EQ(Value("(p AND q) OR r"), "4:1");
  Set(true, true, false);
  EXPECT_EQ(Value("p OR q AND r"), "4:1");
  EXPECT_EQ(Value("(p OR q) AND r"), "4:0");
}

TEST_F(Grouping, PrecedenceOfTheLevels) {
  Set(10, 5, 2);
  EXPECT_EQ(Value("a + b * c"), "6:20");
  EXPECT_EQ(Value("a * b + c"), "6:52");
  EXPECT_EQ(Value("- a + b"), "6:-5");
  EXPECT_EQ(Value("-(a + b)"), "6:-15");
  EXPECT_EQ(Value("a - - b"), "6:15");
  EXPECT_EQ(Value("a*-b"), "6:-50");
  EXPECT_EQ(Value("a-2"), "6:8");
  Set(7, 5, 2);
  EXPECT_EQ(Value("a = b + c"), "4:1");
  EXPECT_EQ(Value("a = 7 AND b = 5"), "4:1");
  EXPECT_EQ(Value("a > b + c OR a < c"), "4:0");
  // A comparison's right side is a comparison: p = (a = b) type-checks,
  // where (p = a) = b would not.
  Set(false, false, false);
  EXPECT_EQ(Value("p = a = b"), "4:1");
  EXPECT_EQ(SqlMessageOf([&] { CheckText("a = b = c", table_); }),
            "Type mismatch between column 'a' and expression '=' in WHERE or JOIN clause");
  // NOT takes a primary only.
  EXPECT_EQ(Value("NOT p AND q"), "4:0");
  EXPECT_EQ(Value("NOT (p AND q)"), "4:1");
}

TEST_F(Grouping, NotBindsTighterThanAComparison) {
  const TExprTree tree = ParseText("NOT a = b");
  EXPECT_EQ(tree->OpCode, op::Equal);
  EXPECT_EQ(tree->Left->OpCode, op::Not);
  EXPECT_EQ(SqlMessageOf([&] { CheckText("NOT a = b", table_); }),
            "Type mismatch between 'NOT' operator and 'a' in WHERE or JOIN clause");
  EXPECT_EQ(SqlMessageOf([&] { CheckText("NOT (a = b)", table_); }), "(no error)");
}

TEST_F(Grouping, LongChainsWithinTheBoundParseAndEvaluate) {
  std::string text = "a";
  for (int i = 0; i < 500; ++i) text += " + 1";
  Set(3, 0, 0);
  EXPECT_EQ(Value(text), "6:503");
  std::string nested = "a";
  for (int i = 0; i < 300; ++i) nested = "(" + nested + " - 1)";
  EXPECT_EQ(Value(nested), "6:-297");
}

}  // namespace
}  // namespace quire::testing
