// Evaluation: the order of the operands and the AND/OR short cut, the NULL
// rules, LIKE, IN and BETWEEN, arithmetic over every kind of operand, and the
// functions.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"

namespace quire::testing {
namespace {

class Evaluation : public ::testing::Test {
 protected:
  Evaluation() : record_(table_) {}

  // "type:value" of `text` over the current record.
  std::string Eval(std::string_view text) { return Describe(Value(text)); }
  TValue Value(std::string_view text) { return EvaluateText(text, table_, record_); }
  bool True(std::string_view text) {
    const TValue v = Value(text);
    EXPECT_EQ(v.Type, ftype::Boolean) << text;
    EXPECT_FALSE(v.Null) << text;
    EXPECT_TRUE(v.Integer == 0 || v.Integer == 1) << text << ": " << v.Integer;
    return v.IsTrue();
  }
  TFakeRecord& Set(std::string_view column, TValue value) {
    return record_.Set(column, std::move(value));
  }
  void Clear(std::string_view column) {
    record_.Set(column, NullOfColumn(table_.Columns()[table_.FieldNo(column) - 1]));
  }

  TFakeTable table_;
  TFakeRecord record_;
};

TEST_F(Evaluation, RightOperandFirst) {
  Set("Int", TValue::Int(1));
  Set("Small", SmallValue(2));
  Set("Flt", TValue::Float(3));
  Value("Int + Small * Flt");
  EXPECT_EQ(record_.ReadOrder(), (std::vector<std::string>{"Flt", "Small", "Int"}));
}

TEST_F(Evaluation, AndAndOrStopAtTheRightOperand) {
  Set("Bool", TValue::Boolean(false));
  Set("Int", TValue::Int(1));
  EXPECT_FALSE(True("Int = 1 AND Bool"));
  EXPECT_EQ(record_.Reads("Int"), 0);
  EXPECT_TRUE(True("Int = 1 OR NOT Bool"));
  EXPECT_EQ(record_.Reads("Int"), 0);
  // Otherwise the left side decides.
  EXPECT_TRUE(True("Int = 1 OR Bool"));
  EXPECT_EQ(record_.Reads("Int"), 1);
  EXPECT_FALSE(True("Int = 2 AND NOT Bool"));
  EXPECT_EQ(record_.Reads("Int"), 2);
  // A NULL right operand of AND counts as false.
  Clear("Bool");
  EXPECT_FALSE(True("Int = 1 AND Bool"));
  EXPECT_EQ(record_.Reads("Int"), 2);
  EXPECT_TRUE(True("Int = 1 OR Bool"));
}

TEST_F(Evaluation, EqualityAndNulls) {
  // NULL = NULL is true; the NULL keyword equals a NULL operand only.
  EXPECT_TRUE(True("NULL = NULL"));
  EXPECT_FALSE(True("NULL <> NULL"));
  for (const char* code : {"", "A1"}) {
    if (*code) {
      Set("Code", TValue::String(code));
    } else {
      Clear("Code");
    }
    const bool isNull = !*code;
    EXPECT_EQ(True("Code IS NULL"), isNull) << code;
    EXPECT_EQ(True("Code = NULL"), isNull) << code;
    EXPECT_EQ(True("NULL = Code"), isNull) << code;
    // '' is a NULL string: true only for NULL codes.
    EXPECT_EQ(True("Code = ''"), isNull) << code;
    EXPECT_EQ(True("Code IS NOT NULL"), !isNull) << code;
    EXPECT_EQ(True("Code <> NULL"), !isNull) << code;
    // A NULL on the left against a value gives true as on the right.
    EXPECT_EQ(True("NULL <> Code"), !isNull) << code;
    EXPECT_EQ(True("Code <> ''"), !isNull) << code;
  }
  // Two columns.
  Clear("Int");
  Clear("Small");
  EXPECT_TRUE(True("Int = Small"));
  EXPECT_FALSE(True("Int <> Small"));
  Set("Small", SmallValue(5));
  EXPECT_FALSE(True("Int = Small"));
  EXPECT_TRUE(True("Int <> Small"));
  EXPECT_TRUE(True("Small <> Int"));
  EXPECT_FALSE(True("Small = Int"));
}

TEST_F(Evaluation, OrderingWithANullIsFalse) {
  Clear("Int");
  Set("Small", SmallValue(5));
  for (const char* text : {"Int < 5", "Int > 5", "Int <= 5", "Int >= 5", "5 > Int", "Int >= Int",
                           "Small < Int", "Small >= Int"})
    EXPECT_FALSE(True(text)) << text;
  EXPECT_TRUE(True("NOT (Int < 5)"));
  Clear("Str");
  EXPECT_FALSE(True("Str < 'a'"));
  EXPECT_FALSE(True("Str >= ''"));
  Clear("Dt");
  EXPECT_FALSE(True("Dt < '1/1/2024'"));
}

TEST_F(Evaluation, ComparisonsAcrossTypes) {
  Set("Int", TValue::Int(3));
  Set("Flt", TValue::Float(3.0));
  Set("Bcd", BcdValue(30000));  // 3.00
  Set("Small", SmallValue(-2));
  Set("Wrd", WordValue(65535));
  EXPECT_TRUE(True("Int = Flt"));
  EXPECT_TRUE(True("Bcd = Int"));
  EXPECT_TRUE(True("Int = Bcd"));
  EXPECT_TRUE(True("Bcd = Flt"));
  EXPECT_TRUE(True("Bcd > 2.9999"));
  EXPECT_TRUE(True("Small < Wrd"));
  EXPECT_TRUE(True("Wrd = 65535"));
  EXPECT_TRUE(True("Int >= 3 AND Int <= 3.0"));
  // A date against a timestamp: the date at midnight.
  Set("Dt", DateValue(2024, 3, 15));
  Set("Stamp", StampValue(2024, 3, 15, 0, 0, 0));
  EXPECT_TRUE(True("Dt = Stamp"));
  Set("Stamp", StampValue(2024, 3, 15, 0, 0, 1));
  EXPECT_TRUE(True("Dt < Stamp"));
  EXPECT_TRUE(True("Stamp > Dt"));
  // Strings in full, by byte, case-sensitively.
  Set("Str", TValue::String("abc"));
  EXPECT_FALSE(True("Str = 'ABC'"));
  EXPECT_FALSE(True("Str = 'ab'"));
  EXPECT_TRUE(True("Str > 'ab'"));
  EXPECT_TRUE(True("Str < 'abd'"));
  EXPECT_TRUE(True("Str > 'ABC'"));
  Set("Str", TValue::String("\xE0"));
  EXPECT_TRUE(True("Str > 'z'"));
  Set("Bool", TValue::Boolean(true));
  EXPECT_TRUE(True("Bool = TRUE"));
  EXPECT_TRUE(True("Bool = 'true'"));
  EXPECT_FALSE(True("Bool = FALSE"));
  Set("Tm", TimeValue(10, 0, 0));
  EXPECT_TRUE(True("Tm > '9:59:59'"));
  EXPECT_TRUE(True("Tm = '10:00:00 AM'"));
}

TEST_F(Evaluation, BooleanResultsAreTrueOrFalse) {
  Set("Int", TValue::Int(7));
  EXPECT_EQ(Eval("Int = 7"), "4:1");
  EXPECT_EQ(Eval("Int <> 7"), "4:0");
  EXPECT_EQ(Eval("'TRUE'"), "4:1");
  EXPECT_EQ(Eval("'false' OR 'True'"), "4:1");
  EXPECT_EQ(Eval("NOT TRUE"), "4:0");
  EXPECT_EQ(Eval("Int IN (7)"), "4:1");
}

TEST(LikePattern, Matches) {
  struct TCase {
    const char* text;
    const char* pattern;
    bool matches;
  };
  for (const TCase& c : {
           TCase{"abc", "a%", true},     TCase{"abc", "A%", false},
           TCase{"abc", "a_c", true},    TCase{"abc", "ab%%", true},
           TCase{"ab", "ab%%", false},   TCase{"ab", "ab%", true},
           TCase{"ab", "a%%", true},     TCase{"abc", "%", true},
           TCase{"", "%", true},         TCase{"", "", true},
           TCase{"", "%%", false},       TCase{"", "_", false},
           TCase{"a", "", false},        TCase{"abc", "abc", true},
           TCase{"abc", "ab", false},    TCase{"ab", "abc", false},
           TCase{"ab", "a_c", false},    TCase{"abcd", "a_c", false},
           TCase{"abc", "%c", true},     TCase{"abc", "%b%", true},
           TCase{"abc", "a%b%c", true},  TCase{"abc", "a%x", false},
           TCase{"ac", "a%c%", true},    TCase{"abcabc", "%abc", true},
           TCase{"aaa", "a%a%a", true},  TCase{"aa", "a%a%a", false},
           TCase{"abc", "___", true},    TCase{"abc", "__", false},
           TCase{"a%c", "a\\%c", false}, TCase{"a\\bc", "a\\_c", true},
           TCase{"ABC", "abc", false},   TCase{"\xE0\xBE", "_\xBE", true},
           TCase{"100%", "100%", true},  TCase{"x", "%%%", true},
       })
    EXPECT_EQ(MatchLikePattern(c.text, c.pattern), c.matches) << c.text << " LIKE " << c.pattern;
  // Many "%" against a long text that does not match stays quick enough to
  // finish at all.
  EXPECT_FALSE(MatchLikePattern(std::string(250, 'a'), std::string(60, '%') + "b"));
}

TEST_F(Evaluation, LikeOverColumns) {
  Set("Str", TValue::String("abc"));
  EXPECT_TRUE(True("Str LIKE 'a%'"));
  EXPECT_FALSE(True("Str LIKE 'A%'"));
  EXPECT_TRUE(True("Str LIKE 'a_c'"));
  EXPECT_TRUE(True("Str LIKE 'ab%%'"));
  EXPECT_FALSE(True("Str NOT LIKE 'ab%%'"));
  Set("Str", TValue::String("ab"));
  EXPECT_FALSE(True("Str LIKE 'ab%%'"));
  EXPECT_TRUE(True("Str NOT LIKE 'ab%%'"));
  // A NULL side: LIKE is false and NOT LIKE true.
  Clear("Str");
  EXPECT_FALSE(True("Str LIKE '%'"));
  EXPECT_TRUE(True("Str NOT LIKE '%'"));
  Set("Str", TValue::String("x"));
  EXPECT_FALSE(True("Str LIKE ''"));
  EXPECT_TRUE(True("Str NOT LIKE ''"));
  EXPECT_TRUE(True("UPPER(Str) LIKE 'X'"));
}

TEST_F(Evaluation, InAndBetween) {
  Set("Int", TValue::Int(2));
  EXPECT_TRUE(True("Int IN (1, 2, 3)"));
  EXPECT_FALSE(True("Int NOT IN (1, 2, 3)"));
  EXPECT_TRUE(True("Int IN (2.0)"));
  EXPECT_TRUE(True("Int IN (-1, +2)"));
  EXPECT_FALSE(True("Int IN (4, NULL)"));
  EXPECT_TRUE(True("Int BETWEEN 2 AND 3"));
  EXPECT_TRUE(True("Int BETWEEN 1 AND 2"));
  EXPECT_FALSE(True("Int BETWEEN 3 AND 4"));
  EXPECT_FALSE(True("Int BETWEEN 3 AND 1"));
  EXPECT_TRUE(True("Int NOT BETWEEN 3 AND 4"));
  EXPECT_TRUE(True("Int BETWEEN 1.5 AND 2.5"));
  Clear("Int");
  EXPECT_FALSE(True("Int IN (1, 2)"));
  EXPECT_TRUE(True("Int NOT IN (1, 2)"));
  EXPECT_TRUE(True("Int IN (1, NULL)"));
  EXPECT_FALSE(True("Int BETWEEN 1 AND 3"));
  EXPECT_TRUE(True("Int NOT BETWEEN 1 AND 3"));
  Clear("Str");
  EXPECT_TRUE(True("Str IN ('a', '')"));
  Set("Str", TValue::String("b"));
  EXPECT_TRUE(True("Str BETWEEN 'a' AND 'c'"));
  EXPECT_FALSE(True("Str BETWEEN 'ba' AND 'c'"));
  Set("Dt", DateValue(2024, 6, 1));
  EXPECT_TRUE(True("Dt BETWEEN '1/1/2024' AND '12/31/2024'"));
  EXPECT_FALSE(True("Dt IN ('1/1/2024', '5/31/2024')"));
  EXPECT_TRUE(True("Dt IN ('1/1/2024', '6/1/2024')"));
}

TEST_F(Evaluation, IntegerArithmeticWrapsIn32Bits) {
  Set("Int", TValue::Int(2147483647));
  Set("Small", SmallValue(30000));
  Set("Wrd", WordValue(65535));
  EXPECT_EQ(Eval("Int + 1"), "6:-2147483648");
  EXPECT_EQ(Eval("-Int - 2"), "6:2147483647");
  EXPECT_EQ(Eval("Small + Small"), "6:60000");
  EXPECT_EQ(Eval("Small * Small"), "6:900000000");
  EXPECT_EQ(Eval("Wrd + 1"), "6:65536");
  EXPECT_EQ(Eval("Wrd * Wrd"), "6:-131071");
  Set("Int", TValue::Int(65536));
  EXPECT_EQ(Eval("Int * Int"), "6:0");
  Set("Int", TValue::Int(-2147483647 - 1));
  EXPECT_EQ(Eval("-Int"), "6:-2147483648");
  Set("Wrd", WordValue(10));
  EXPECT_EQ(Eval("Wrd - 3"), "12:7");
  EXPECT_EQ(Eval("+Wrd"), "12:10");
  EXPECT_EQ(Eval("-Small"), "5:-30000");
}

TEST_F(Evaluation, DivisionGivesFloatAndNullForZero) {
  Set("Int", TValue::Int(7));
  Set("Small", SmallValue(0));
  Set("Flt", TValue::Float(0));
  EXPECT_EQ(Eval("Int / 2"), "7:3.5");
  EXPECT_EQ(Eval("Int / Small"), "7:NULL");
  EXPECT_EQ(Eval("Int / 0"), "7:NULL");
  EXPECT_EQ(Eval("Int / Flt"), "7:NULL");
  EXPECT_EQ(Eval("2.5 / Flt"), "7:NULL");
  Set("Bcd", BcdValue(0));
  EXPECT_EQ(Eval("Int / Bcd"), "8:NULL");
  EXPECT_EQ(Eval("Bcd / Bcd"), "8:NULL");
  EXPECT_EQ(Eval("Bcd / 0"), "8:NULL");
}

TEST_F(Evaluation, BcdIsScaledBy10000AndRoundedToTheDecimals) {
  Set("Bcd", BcdValue(123400));  // 12.34
  Set("Int", TValue::Int(3));
  EXPECT_EQ(Eval("Bcd + 1"), "8:133400");
  EXPECT_EQ(Eval("1 + Bcd"), "8:133400");
  EXPECT_EQ(Eval("Bcd - Int"), "8:93400");
  EXPECT_EQ(Eval("Bcd * Int"), "8:370200");
  EXPECT_EQ(Eval("-Bcd"), "8:-123400");
  EXPECT_EQ(Eval("Bcd + 0.5"), "7:12.84");
  Set("Bcd", BcdValue(100000));  // 10.00
  EXPECT_EQ(Eval("Bcd / Int"), "8:33300");
  EXPECT_EQ(Eval("Int / Bcd"), "8:3000");  // 0.3
  Set("Bcd", BcdValue(-10000));            // -1.00 / 8 = -0.125, away from zero
  EXPECT_EQ(Eval("Bcd / 8"), "8:-1300");
  Set("Bcd", BcdValue(15000));  // 1.50 * 2.25 = 3.375
  Set("Bcd4", BcdValue(22500, 4));
  EXPECT_EQ(Eval("Bcd * Bcd4"), "8:33750");  // four decimals: exact
  EXPECT_EQ(Eval("Bcd * Bcd"), "8:22500");   // 2.25
  const TValue sum = Value("Bcd + Bcd4");
  EXPECT_EQ(sum.Decimals, 4);
  EXPECT_EQ(sum.Integer, 37500);
}

TEST_F(Evaluation, BcdWithFourDecimalsRoundsTheLastDigit) {
  // 2 / 3 = 0.66666... is 0.6667 in four decimals, and 0.0001 * 0.5 =
  // 0.00005 rounds away from zero to 0.0001.
  Set("Bcd4", BcdValue(20000, 4));
  EXPECT_EQ(Eval("Bcd4 / 3"), "8:6667");
  Set("Bcd4", BcdValue(1, 4));
  EXPECT_EQ(Eval("Bcd4 * Bcd4"), "8:0");  // 0.00000001 rounds to 0
  Set("Bcd", BcdValue(5000));             // 0.50
  EXPECT_EQ(Eval("Bcd4 * Bcd"), "8:1");
}

TEST_F(Evaluation, DatesMoveByDaysAndTimesByMilliseconds) {
  Set("Dt", DateValue(2024, 2, 28));
  Set("Small", SmallValue(2));
  Set("Wrd", WordValue(366));
  const auto day = [](int y, int m, int d) { return "2:" + std::to_string(DayNumber(y, m, d)); };
  EXPECT_EQ(Eval("Dt + 2"), day(2024, 3, 1));
  EXPECT_EQ(Eval("Small + Dt"), day(2024, 3, 1));
  EXPECT_EQ(Eval("Dt - Small"), day(2024, 2, 26));
  EXPECT_EQ(Eval("Dt + Wrd"), day(2025, 2, 28));
  EXPECT_EQ(Eval("Dt - '2/28/2023'"), "6:365");
  EXPECT_EQ(Eval("'3/1/2024' - Dt"), "6:2");
  Set("Tm", TimeValue(10, 0, 0));
  EXPECT_EQ(Eval("Tm + 1500"), "10:" + std::to_string(36001500));
  EXPECT_EQ(Eval("Tm - 1000"), "10:" + std::to_string(35999000));
  EXPECT_EQ(Eval("Tm - '9:30:00'"), "6:1800000");
  Set("Stamp", StampValue(2024, 3, 15, 10, 0, 0));
  const auto stamp = [](int y, int m, int d, int h) {
    TValue v = StampValue(y, m, d, h, 0, 0);
    return Describe(v);
  };
  EXPECT_EQ(Eval("Stamp + 1"), stamp(2024, 3, 16, 10));
  EXPECT_EQ(Eval("Small + Stamp"), stamp(2024, 3, 17, 10));
  EXPECT_EQ(Eval("Stamp - 15"), stamp(2024, 2, 29, 10));
  EXPECT_EQ(Eval("Stamp - '3/14/2024 9:00:00'"), "7:90000000");
  Set("Dt", DateValue(2024, 3, 10));
  EXPECT_EQ(Eval("Stamp - Dt"), "6:5");
}

TEST_F(Evaluation, FloatsAndMoney) {
  Set("Flt", TValue::Float(1.5));
  Set("Small", SmallValue(2));
  Set("Money", MoneyValue(10.25));
  EXPECT_EQ(Eval("Flt * Small"), "7:3");
  EXPECT_EQ(Eval("Small - Flt"), "7:0.5");
  EXPECT_EQ(Eval("-Flt"), "7:-1.5");
  const TValue money = Value("Money + Small");
  EXPECT_EQ(Describe(money), "7:12.25");
  EXPECT_EQ(money.SubType, fsubtype::Money);
}

TEST_F(Evaluation, StringConcatenation) {
  Set("Str", TValue::String("ab"));
  Set("Name", TValue::String("cd"));
  EXPECT_EQ(Eval("Str + Name"), "1:'abcd'");
  EXPECT_EQ(Eval("Str || '-' || Name"), "1:'ab-cd'");
  EXPECT_EQ(Eval("Str + ''"), "1:NULL");
  Set("Str", TValue::String(std::string(200, 'x')));
  Set("Name", TValue::String(std::string(200, 'y')));
  EXPECT_EQ(Value("Str + Name").Text, std::string(200, 'x') + std::string(50, 'y'));
}

TEST_F(Evaluation, ArithmeticAndFunctionsOverANullGiveNull) {
  for (const char* text : {"Int + 1", "1 - Int", "Int * Small", "-Int", "+Int"})
    EXPECT_EQ(Eval(text), "6:NULL") << text;
  EXPECT_EQ(Eval("Small / Int"), "7:NULL");
  EXPECT_EQ(Eval("Dt + 1"), "2:NULL");
  EXPECT_EQ(Eval("Stamp - Stamp"), "7:NULL");
  EXPECT_EQ(Eval("Bcd * 2"), "8:NULL");
  for (const char* text : {"UPPER(Str)", "LOWER(Str)", "SUBSTRING(Str FROM 1)",
                           "TRIM(BOTH 'x' FROM Str)", "Str + 'a'", "'a' + Str"})
    EXPECT_EQ(Eval(text), "1:NULL") << text;
  EXPECT_EQ(Eval("EXTRACT(YEAR FROM Dt)"), "6:NULL");
  EXPECT_EQ(Eval("EXTRACT(DAY FROM Stamp)"), "6:NULL");
}

TEST_F(Evaluation, Functions) {
  Set("Str", TValue::String("Song \xE0\xBE x9"));
  EXPECT_EQ(Eval("UPPER(Str)"), "1:'SONG \xE0\xBE X9'");
  EXPECT_EQ(Eval("LOWER(Str)"), "1:'song \xE0\xBE x9'");
  Set("Str", TValue::String("abcdef"));
  EXPECT_EQ(Eval("SUBSTRING(Str FROM 2 FOR 3)"), "1:'bcd'");
  EXPECT_EQ(Eval("SUBSTRING(Str FROM 5)"), "1:'ef'");
  EXPECT_EQ(Eval("SUBSTRING(Str FROM 1 FOR 250)"), "1:'abcdef'");
  EXPECT_EQ(Eval("SUBSTRING(Str FROM 6 FOR 1)"), "1:'f'");
  EXPECT_EQ(Value("SUBSTRING(Str FROM 7)").Text, "");
  Set("Str", TValue::String("**a*b**"));
  EXPECT_EQ(Eval("TRIM(LEADING '*' FROM Str)"), "1:'a*b**'");
  EXPECT_EQ(Eval("TRIM(TRAILING '*' FROM Str)"), "1:'**a*b'");
  EXPECT_EQ(Eval("TRIM(BOTH '*' FROM Str)"), "1:'a*b'");
  EXPECT_EQ(Eval("TRIM(BOTH 'a' FROM Str)"), "1:'**a*b**'");
  EXPECT_EQ(Eval("TRIM(BOTH '*' FROM '  x ')"), "1:'  x '");
  Set("Str", TValue::String("***"));
  EXPECT_EQ(Value("TRIM(BOTH '*' FROM Str)").Text, "");
  Set("Dt", DateValue(2024, 2, 29));
  EXPECT_EQ(Eval("EXTRACT(YEAR FROM Dt)"), "6:2024");
  EXPECT_EQ(Eval("EXTRACT(MONTH FROM Dt)"), "6:2");
  EXPECT_EQ(Eval("EXTRACT(DAY FROM Dt)"), "6:29");
  Set("Stamp", StampValue(1999, 12, 31, 23, 59, 59));
  EXPECT_EQ(Eval("EXTRACT(YEAR FROM Stamp)"), "6:1999");
  EXPECT_EQ(Eval("EXTRACT(MONTH FROM Stamp)"), "6:12");
  EXPECT_EQ(Eval("EXTRACT(DAY FROM Stamp)"), "6:31");
  EXPECT_EQ(Eval("EXTRACT(DAY FROM (Dt + 1))"), "6:1");
  // Aggregates hand on their argument; the query aggregates.
  Set("Int", TValue::Int(5));
  TExprTree sum = CheckText("SUM(Int * 2)", table_, kClauseSourceColumns);
  EXPECT_EQ(Describe(Evaluate(*sum, {.Reader = &record_})), "6:10");
}

TEST_F(Evaluation, ParametersGiveTheirStoredValue) {
  TParameterList parameters;
  TExprTree tree =
      ParseText("Int = ? AND Str LIKE ?", kAllParseFlags, kClauseCondition, &parameters);
  CheckTypes(*tree, kClauseCondition, table_, BuiltInFormatSettings());
  ASSERT_EQ(parameters.size(), 2u);
  parameters[0]->Value = TValue::Int(4);
  parameters[1]->Value = TValue::String("a%");
  Set("Int", TValue::Int(4));
  Set("Str", TValue::String("abc"));
  EXPECT_TRUE(Evaluate(*tree, {.Reader = &record_}).IsTrue());
  parameters[1]->Value = TValue::String("b%");
  EXPECT_FALSE(Evaluate(*tree, {.Reader = &record_}).IsTrue());
}

TEST_F(Evaluation, CollationOrdersStrings) {
  // A collation that puts every lower-case letter before every upper-case
  // one; equality still compares the bytes through it.
  std::array<std::uint8_t, 256> order{};
  for (int i = 0; i < 256; ++i) order[i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 26; ++i) {
    order['a' + i] = static_cast<std::uint8_t>('A' + i);
    order['A' + i] = static_cast<std::uint8_t>('a' + i);
  }
  Set("Str", TValue::String("b"));
  const TExprTree tree = CheckText("Str < 'B'", table_);
  EXPECT_FALSE(Evaluate(*tree, {.Reader = &record_}).IsTrue());
  EXPECT_TRUE(Evaluate(*tree, {.Reader = &record_, .Collation = &order}).IsTrue());
}

TEST_F(Evaluation, WithoutAReaderColumnsKeepTheirValue) {
  TExprTree tree = CheckText("Int + 1", table_);
  tree->Left->Value = TValue::Int(41);
  EXPECT_EQ(Describe(Evaluate(*tree, {})), "6:42");
}

// Values that a record written by another program may hold at the edges of
// their types: evaluation must give some value of the result type, not
// overflow.
TEST_F(Evaluation, ValuesAtTheEdgesOfTheirTypesEvaluateWithoutOverflow) {
  Set("Bcd", BcdValue(INT64_MIN));
  EXPECT_EQ(Value("-Bcd").Type, ftype::Bcd);
  TValue far = StampValue(2024, 1, 1, 0, 0, 0);
  far.Real = -1e300;
  Set("Stamp", far);
  Set("Dt", DateValue(2024, 1, 1));
  EXPECT_EQ(Value("EXTRACT(YEAR FROM Stamp)").Type, ftype::Integer);
  EXPECT_EQ(Value("Stamp - Dt").Type, ftype::Integer);
  std::array<std::uint8_t, 8> stored{};
  const std::int64_t digits = 9223372036854775800;  // last digit 0: no decimals
  std::memcpy(stored.data(), &digits, sizeof digits);
  EXPECT_EQ(DecodeValue(ftype::Bcd, 0, stored).Type, ftype::Bcd);
}

}  // namespace
}  // namespace quire::testing
