// Type checking: string constants that name columns, the compatibility and
// result type of every operator over every pair of types, money, date and
// time strings, and the checks of predicates and functions with their
// messages.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"

namespace quire::testing {
namespace {

using namespace ftype;

std::string CheckMessage(std::string_view text, TFakeTable& table,
                         std::string_view clause = kClauseCondition) {
  return SqlMessageOf([&] { CheckText(text, table, clause); });
}

// ---------------------------------------------------------------------------
// The rules of the type table, written out on their own: the result type of
// `left op right`, or nothing when the pair is refused. 0 is the NULL keyword.

bool IsInt(std::uint8_t t) {
  return t == SmallInt || t == Integer || t == Word;
}
bool IsN(std::uint8_t t) {
  return IsInt(t) || t == Float || t == Bcd;
}
bool IsDateOrStamp(std::uint8_t t) {
  return t == Date || t == TimeStamp;
}

// Number with number under +, -, * (and / but for integer kinds on the left).
std::uint8_t NumberResult(std::uint8_t l, std::uint8_t r) {
  if (IsInt(l) && IsInt(r)) return Integer;
  if (l == Float || r == Float) return Float;
  return Bcd;
}

std::optional<std::uint8_t> ExpectedType(std::uint8_t code, std::uint8_t l, std::uint8_t r) {
  switch (code) {
    case op::Equal:
    case op::NotEqual: {
      bool ok = l == 0;
      if (l == String) ok = r == String || r == 0;
      if (IsDateOrStamp(l)) ok = IsDateOrStamp(r) || r == 0;
      if (l == ftype::Boolean) ok = r == ftype::Boolean || r == 0;
      if (IsN(l)) ok = IsN(r) || r == 0;
      if (l == Time) ok = r == Time || r == 0;
      if (ok) return ftype::Boolean;
      return std::nullopt;
    }
    case op::Less:
    case op::Greater:
    case op::LessOrEqual:
    case op::GreaterOrEqual:
      if ((l == String && r == String) || (IsDateOrStamp(l) && IsDateOrStamp(r)) ||
          (IsN(l) && IsN(r)) || (l == Time && r == Time))
        return ftype::Boolean;
      return std::nullopt;
    case op::And:
    case op::Or:
      if (l == ftype::Boolean && r == ftype::Boolean) return ftype::Boolean;
      return std::nullopt;
    case op::Add:
      if (l == String && r == String) return String;
      if ((l == Date || l == Time || l == TimeStamp) && IsInt(r)) return l;
      if (IsInt(l) && (r == Date || r == Time || r == TimeStamp)) return r;
      if (IsInt(l) && IsN(r)) return NumberResult(l, r);
      if ((l == Float || l == Bcd) && IsN(r)) return NumberResult(l, r);
      return std::nullopt;
    case op::Subtract:
      if (l == Date && r == Date) return Integer;
      if (l == Date && IsInt(r)) return Date;
      if (l == Time && r == Time) return Integer;
      if (l == Time && IsInt(r)) return Time;
      if (l == TimeStamp && (r == Date || r == Time)) return Integer;
      if (l == TimeStamp && r == TimeStamp) return Float;
      if (l == TimeStamp && IsInt(r)) return TimeStamp;
      if (l == Word && IsInt(r)) return Word;
      if (IsN(l) && IsN(r)) return NumberResult(l, r);
      return std::nullopt;
    case op::Multiply:
      if (IsN(l) && IsN(r)) return NumberResult(l, r);
      return std::nullopt;
    case op::Divide:
      if (IsInt(l) && IsN(r)) return r == Bcd ? Bcd : Float;
      if (IsN(l) && IsN(r)) return NumberResult(l, r);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

TEST(TypeCheck, EveryOperatorOverEveryPairOfTypes) {
  struct TOperator {
    std::uint8_t code;
    const char* text;
  };
  const TOperator operators[] = {
      {op::Equal, "="},        {op::NotEqual, "<>"},       {op::Less, "<"},     {op::Greater, ">"},
      {op::LessOrEqual, "<="}, {op::GreaterOrEqual, ">="}, {op::And, "AND"},    {op::Or, "OR"},
      {op::Add, "+"},          {op::Subtract, "-"},        {op::Multiply, "*"}, {op::Divide, "/"},
  };
  const std::uint8_t types[] = {0,     String, Date, ftype::Boolean, SmallInt, Integer,
                                Float, Bcd,    Time, TimeStamp,      Word};
  const auto operand = [](std::uint8_t type) {
    return type == 0 ? std::string("NULL") : TFakeTable::ColumnOf(type);
  };
  const auto kindAndText = [&](std::uint8_t type) {
    return (type == 0 ? "constant '" : "column '") + operand(type) + "'";
  };
  int accepted = 0;
  for (const TOperator& o : operators) {
    for (std::uint8_t l : types) {
      for (std::uint8_t r : types) {
        TFakeTable table;
        const std::string text = operand(l) + " " + o.text + " " + operand(r);
        const std::optional<std::uint8_t> expected = ExpectedType(o.code, l, r);
        if (!expected) {
          EXPECT_EQ(CheckMessage(text, table), "Type mismatch between " + kindAndText(l) + " and " +
                                                   kindAndText(r) + " in WHERE or JOIN clause")
              << text;
          continue;
        }
        ++accepted;
        const std::string message = CheckMessage(text, table);
        if (message != "(no error)") {
          ADD_FAILURE() << text << " refused: " << message;
          continue;
        }
        const TExprTree tree = CheckText(text, table);
        EXPECT_EQ(int{tree->Value.Type}, int{*expected}) << text;
      }
    }
  }
  EXPECT_GT(accepted, 200);
}

TEST(TypeCheck, ResultSizesAndDecimals) {
  TFakeTable table;
  // Concatenation: left + right - 1 (each size counts one terminator).
  EXPECT_EQ(CheckText("Str + Name", table)->Value.Size, 21 + 41 - 1);
  EXPECT_EQ(CheckText("Str || Name || Code", table)->Value.Size, 21 + (41 + 11 - 1) - 1);
  // The larger decimals of the operands.
  EXPECT_EQ(CheckText("Bcd + Bcd4", table)->Value.Decimals, 4);
  EXPECT_EQ(CheckText("Bcd * Int", table)->Value.Decimals, 2);
  EXPECT_EQ(CheckText("Int / Bcd", table)->Value.Decimals, 2);
  // A result never takes fewer bytes than its type.
  EXPECT_GE(CheckText("Small / Small", table)->Value.Size, 8);
  EXPECT_EQ(CheckText("Dt - Dt", table)->Value.Size, 4);
  EXPECT_EQ(CheckText("Int = Int", table)->Value.Type, ftype::Boolean);
}

TEST(TypeCheck, MoneyIsKeptByTheRulesOfEachOperator) {
  TFakeTable table;
  const auto money = [&](std::string_view text) {
    const TExprTree tree = CheckText(text, table);
    EXPECT_EQ(tree->Value.Type, Float) << text;
    return tree->Value.SubType == fsubtype::Money;
  };
  // A money operand meeting a number in + or *, on either side.
  EXPECT_TRUE(money("Money + Int"));
  EXPECT_TRUE(money("Int + Money"));
  EXPECT_TRUE(money("Money * Flt"));
  EXPECT_TRUE(money("Flt * Money"));
  EXPECT_TRUE(money("Bcd + Money"));
  // In - and / only a money left operand.
  EXPECT_TRUE(money("Money - Int"));
  EXPECT_FALSE(money("Flt - Money"));
  EXPECT_TRUE(money("Money / Small"));
  EXPECT_FALSE(money("Int / Money"));
  EXPECT_FALSE(money("Flt + Flt"));
  EXPECT_TRUE(money("-Money"));
}

TEST(TypeCheck, StringConstantNamingAColumn) {
  TFakeTable table;
  // Standing alone, a quoted column name is the column.
  const TExprTree alone = CheckText("'Code'", table);
  EXPECT_EQ(alone->Kind, nkColumn);
  EXPECT_EQ(alone->FieldNo, table.FieldNo("Code"));
  EXPECT_EQ(alone->Value.Type, String);
  EXPECT_EQ(CheckText("'Int' + 1", table)->Value.Type, Integer);
  EXPECT_EQ(CheckText("UPPER('name')", table)->Left->Kind, nkColumn);

  // Against a column it stays text, on either side, even naming a column.
  const TExprTree right = CheckText("Code = 'A1'", table);
  EXPECT_EQ(right->Left->Kind, nkColumn);
  EXPECT_EQ(right->Right->Kind, nkConstant);
  EXPECT_EQ(right->Right->Value.Text, "A1");
  EXPECT_FALSE(right->Right->Value.Null);
  const TExprTree left = CheckText("'A1' = Code", table);
  EXPECT_EQ(left->Left->Kind, nkConstant);
  EXPECT_EQ(left->Left->Value.Text, "A1");
  EXPECT_EQ(left->Right->Kind, nkColumn);
  EXPECT_EQ(left->Right->ColumnName, "Code");
  // Both quoted: the right one turns back.
  const TExprTree both = CheckText("'Code' = 'A1'", table);
  EXPECT_EQ(both->Left->Kind, nkColumn);
  EXPECT_EQ(both->Left->ColumnName, "Code");
  EXPECT_EQ(both->Right->Kind, nkConstant);
  EXPECT_EQ(both->Right->Value.Text, "A1");
  // Text that names no column is a constant from the start.
  const TExprTree plain = CheckText("'Code' = 'zz'", table);
  EXPECT_EQ(plain->Left->Kind, nkColumn);
  EXPECT_EQ(plain->Right->Kind, nkConstant);

  // Evaluated: the text A1, not the column A1.
  TFakeRecord record(table);
  record.Set("Code", TValue::String("A1")).Set("A1", TValue::String("other"));
  EXPECT_TRUE(EvaluateText("Code = 'A1'", table, record).IsTrue());
  EXPECT_TRUE(EvaluateText("'A1' = Code", table, record).IsTrue());
  EXPECT_EQ(record.Reads("A1"), 0);
  EXPECT_TRUE(EvaluateText("'A1' = 'other'", table, record).IsTrue());
}

TEST(TypeCheck, UnknownColumns) {
  TFakeTable table;
  EXPECT_EQ(CheckMessage("Nope = 1", table),
            "Invalid column name 'Nope' or table correlation name '' specified in WHERE or JOIN "
            "clause");
  EXPECT_EQ(CheckMessage("X.Code", table, kClauseSourceColumns),
            "Invalid column name 'Code' or table correlation name 'X' specified in source columns");
  EXPECT_EQ(CheckMessage("T.Code = t.code", table), "(no error)");
  // "*" is never looked up.
  table.ResolveCalls = 0;
  CheckText("COUNT(*)", table, kClauseSourceColumns);
  EXPECT_EQ(table.ResolveCalls, 0);
}

TEST(TypeCheck, UnaryOperators) {
  TFakeTable table;
  for (const char* column : {"Dt", "Small", "Int", "Flt", "Bcd", "Tm", "Stamp"}) {
    for (const char* sign : {"-", "+"}) {
      const std::string text = std::string(sign) + column;
      const TExprTree tree = CheckText(text, table);
      EXPECT_EQ(tree->Value.Type, table.Columns()[table.FieldNo(column) - 1].Type) << text;
    }
  }
  EXPECT_EQ(CheckText("+Wrd", table)->Value.Type, Word);
  EXPECT_EQ(CheckText("NOT Bool", table)->Value.Type, ftype::Boolean);
  EXPECT_EQ(CheckMessage("-Wrd", table),
            "Type mismatch between '-' operator and 'Wrd' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("-Str", table),
            "Type mismatch between '-' operator and 'Str' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("+ Bool", table),
            "Type mismatch between '+' operator and 'Bool' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("NOT Int", table),
            "Type mismatch between 'NOT' operator and 'Int' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("NOT 'x'", table),
            "Type mismatch between 'NOT' operator and 'x' in WHERE or JOIN clause");
}

TEST(TypeCheck, KindWordsOfTheMismatchMessage) {
  TFakeTable table;
  EXPECT_EQ(CheckMessage("TRUE = 1", table),
            "Type mismatch between constant 'TRUE' and constant '1' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("UPPER(Str) + 1", table),
            "Type mismatch between function 'UPPER' and constant '1' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("(Int + 1) AND Bool", table),
            "Type mismatch between expression '+' and column 'Bool' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Bool OR -Int", table),
            "Type mismatch between column 'Bool' and expression '-' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Str = 'it''s' + 1", table),
            "Type mismatch between constant 'it's' and constant '1' in WHERE or JOIN clause");
}

TEST(TypeCheck, DateAndTimeStringsBecomeValues) {
  TFakeTable table;
  const TExprTree date = CheckText("Dt = '3/15/2024'", table);
  EXPECT_EQ(date->Right->Value.Type, Date);
  EXPECT_EQ(date->Right->Value.Integer, DayNumber(2024, 3, 15));
  const TExprTree reversed = CheckText("'12/31/1999' < Dt", table);
  EXPECT_EQ(reversed->Left->Value.Integer, DayNumber(1999, 12, 31));
  const TExprTree time = CheckText("Tm >= '2:30:15 PM'", table);
  EXPECT_EQ(time->Right->Value.Type, Time);
  EXPECT_EQ(time->Right->Value.Integer, ((14 * 60 + 30) * 60 + 15) * 1000);
  const TExprTree stamp = CheckText("Stamp <> '3/15/2024 10:00:00'", table);
  EXPECT_EQ(stamp->Right->Value.Type, TimeStamp);
  EXPECT_EQ(stamp->Right->Value.Real, DayNumber(2024, 3, 15) * 86400000.0 + 10 * 3600000.0);
  // The converted constant then takes part in arithmetic.
  EXPECT_EQ(CheckText("Dt - '3/1/2024'", table)->Value.Type, Integer);
  EXPECT_EQ(CheckText("Stamp - '3/1/2024 1:00:00'", table)->Value.Type, Float);
  // '' stays a NULL, now of the date's type.
  const TExprTree empty = CheckText("Dt = ''", table);
  EXPECT_TRUE(empty->Right->Value.Null);
  // Predicate values are converted too.
  const TExprTree between = CheckText("Dt BETWEEN '1/1/2024' AND '12/31/2024'", table);
  EXPECT_EQ(between->Right->Value.Integer, DayNumber(2024, 1, 1));
  EXPECT_EQ(between->Right->Next->Value.Integer, DayNumber(2024, 12, 31));
  const TExprTree in = CheckText("Stamp IN ('1/2/2024', '1/3/2024 12:00:00')", table);
  EXPECT_EQ(in->Right->Value.Type, TimeStamp);
  EXPECT_EQ(in->Right->Next->Value.Type, TimeStamp);

  const std::string refused = "Date, time, or timestamp expression expected, instead found '";
  EXPECT_EQ(CheckMessage("Dt = 'soon'", table), refused + "soon' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Tm = '25:99'", table), refused + "25:99' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Dt IN ('1/1/2024', '2/30/2024')", table),
            refused + "2/30/2024' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Stamp + 'x'", table, kClauseSourceColumns),
            refused + "x' in source columns");
  // Not a constant: no conversion, a plain mismatch.
  EXPECT_EQ(CheckMessage("Dt = Str", table),
            "Type mismatch between column 'Dt' and column 'Str' in WHERE or JOIN clause");
}

TEST(TypeCheck, UntypedParametersTakeTheTypeTheyMeet) {
  TFakeTable table;
  const TExprTree equal = CheckText("Int = ?", table);
  EXPECT_EQ(equal->Right->Value.Type, Integer);
  EXPECT_EQ(CheckText("? = Str", table)->Left->Value.Type, String);
  EXPECT_EQ(CheckText("? + 1.5", table)->Value.Type, Float);
  EXPECT_EQ(CheckText("Dt - ?", table)->Value.Type, Integer);
  EXPECT_EQ(CheckText("Str LIKE ?", table)->Right->Value.Type, String);
  const TExprTree in = CheckText("Bcd IN (?, 1)", table);
  EXPECT_EQ(in->Right->Value.Type, Bcd);
  // A parameter naming a column stays a parameter.
  TParameterList parameters;
  const TExprTree tree = ParseText("? = Code", kAllParseFlags, kClauseCondition, &parameters);
  CheckTypes(*tree, kClauseCondition, table, BuiltInFormatSettings());
  EXPECT_TRUE(tree->Left->IsParameter);
  EXPECT_EQ(tree->Left->Kind, nkConstant);
}

TEST(TypeCheck, LikeNeedsAStringAndAConstantPattern) {
  TFakeTable table;
  EXPECT_EQ(CheckMessage("Str LIKE 'a%'", table), "(no error)");
  EXPECT_EQ(CheckMessage("Int LIKE 'a%'", table),
            "Type mismatch between LIKE operator and expression 'Int' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Str LIKE 5", table),
            "Type mismatch between LIKE operator and expression '5' in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("Str LIKE Name", table),
            "Constant expression expected after LIKE operator, instead found 'Name' in WHERE or "
            "JOIN clause");
  EXPECT_EQ(CheckMessage("Str NOT LIKE UPPER('x')", table),
            "Constant expression expected after NOT LIKE operator, instead found 'UPPER' in WHERE "
            "or JOIN clause");
  EXPECT_EQ(CheckMessage("Dt NOT LIKE '1%'", table),
            "Type mismatch between NOT LIKE operator and expression 'Dt' in WHERE or JOIN clause");
}

TEST(TypeCheck, InAndBetweenNeedCompatibleConstants) {
  TFakeTable table;
  for (const char* text : {"Int IN (1, 2.5, -3, +4)", "Bcd NOT IN (1)", "Str IN ('a', '')",
                           "Bool IN (TRUE, 'false')", "Int IN (NULL)", "Flt BETWEEN -1 AND 1",
                           "Str NOT BETWEEN 'a' AND 'b'", "Stamp BETWEEN '1/1/2024' AND NULL"})
    EXPECT_EQ(CheckMessage(text, table), "(no error)") << text;
  const std::string in = " in WHERE or JOIN clause";
  EXPECT_EQ(CheckMessage("Int IN (1, Small)", table),
            "Constant expression expected after IN operator, instead found 'Small'" + in);
  EXPECT_EQ(CheckMessage("Int NOT IN (-Int)", table),
            "Constant expression expected after NOT IN operator, instead found '-'" + in);
  EXPECT_EQ(CheckMessage("Int BETWEEN 1 AND Int + 1", table),
            "Constant expression expected after BETWEEN operator, instead found '+'" + in);
  EXPECT_EQ(CheckMessage("Int IN (1, 'a')", table),
            "Type mismatch between IN operator and expression 'a'" + in);
  EXPECT_EQ(CheckMessage("Str NOT BETWEEN 'a' AND 5", table),
            "Type mismatch between NOT BETWEEN operator and expression '5'" + in);
  EXPECT_EQ(CheckMessage("Tm IN (Tm)", table),
            "Constant expression expected after IN operator, instead found 'Tm'" + in);
  EXPECT_EQ(CheckMessage("Int IN ()", table),
            "You must provide at least one value as an operand of the IN operator  in WHERE or "
            "JOIN clause");
}

TEST(TypeCheck, Aggregates) {
  TFakeTable table;
  const auto type = [&](std::string_view text) {
    return int{CheckText(text, table, kClauseSourceColumns)->Value.Type};
  };
  EXPECT_EQ(type("SUM(Int)"), Integer);
  EXPECT_EQ(type("AVG(Bcd)"), Bcd);
  EXPECT_EQ(type("MIN(Dt)"), Date);
  EXPECT_EQ(type("MAX(Stamp)"), TimeStamp);
  EXPECT_EQ(type("SUM(Wrd)"), Word);
  EXPECT_EQ(type("MAX(Tm)"), Time);
  EXPECT_EQ(type("COUNT(Str)"), Integer);
  EXPECT_EQ(CheckText("COUNT(*)", table, kClauseSourceColumns)->Value.Size, 4);
  for (const char* name : {"SUM", "AVG", "MIN", "MAX"}) {
    for (const char* argument : {"Str", "Bool", "*"}) {
      EXPECT_EQ(CheckMessage(std::string(name) + "(" + argument + ")", table, kClauseSourceColumns),
                std::string(name) +
                    " aggregate function must contain a numeric, date, time, or timestamp "
                    "expression in source columns")
          << argument;
    }
  }
}

TEST(TypeCheck, CaseFunctionsAndSubstring) {
  TFakeTable table;
  const TExprTree upper = CheckText("UPPER(Name)", table);
  EXPECT_EQ(upper->Value.Type, String);
  EXPECT_EQ(upper->Value.Size, 41);
  EXPECT_EQ(CheckMessage("UPPER(Int)", table),
            "Type mismatch between UPPER function and function argument in WHERE or JOIN clause");
  EXPECT_EQ(CheckMessage("LOWER(Dt)", table, kClauseValues),
            "Type mismatch between LOWER function and function argument in values");

  EXPECT_EQ(CheckText("SUBSTRING(Name FROM 2 FOR 5)", table)->Value.Size, 6);
  EXPECT_EQ(CheckText("SUBSTRING(Name FROM 2)", table)->Value.Size, 41 - 2 + 1);
  EXPECT_EQ(CheckMessage("SUBSTRING(Name FROM 250 FOR 250)", table), "(no error)");
  const std::string in = " in WHERE or JOIN clause";
  EXPECT_EQ(CheckMessage("SUBSTRING(Int FROM 1)", table),
            "Expression argument of SUBSTRING function must be a string" + in);
  for (const char* from : {"Int", "1.5", "'a'", "?", "(-1)", "NULL"})
    EXPECT_EQ(CheckMessage("SUBSTRING(Name FROM " + std::string(from) + ")", table),
              "FROM argument of SUBSTRING function must be an integer constant" + in)
        << from;
  for (const char* from : {"0", "251", "1000"})
    EXPECT_EQ(
        CheckMessage("SUBSTRING(Name FROM " + std::string(from) + ")", table),
        "FROM argument of SUBSTRING function must be an integer constant between 1 and 250" + in)
        << from;
  EXPECT_EQ(CheckMessage("SUBSTRING(Name FROM 1 FOR Small)", table),
            "FOR argument of SUBSTRING function must be an integer constant" + in);
  EXPECT_EQ(
      CheckMessage("SUBSTRING(Name FROM 1 FOR 0)", table),
      "FOR argument of SUBSTRING function must be an integer constant between 1 and 250" + in);
  EXPECT_EQ(
      CheckMessage("SUBSTRING(Name FROM 1 FOR 251)", table),
      "FOR argument of SUBSTRING function must be an integer constant between 1 and 250" + in);
}

TEST(TypeCheck, TrimAndExtract) {
  TFakeTable table;
  const TExprTree trim = CheckText("TRIM(BOTH '*' FROM Name)", table);
  EXPECT_EQ(trim->Value.Type, String);
  EXPECT_EQ(trim->Value.Size, 41);
  const std::string in = " in WHERE or JOIN clause";
  EXPECT_EQ(CheckMessage("TRIM(LEADING 'x' FROM Int)", table),
            "FROM argument of TRIM function must be a string" + in);
  for (const char* character : {"'ab'", "''", "1", "Str", "'Code'"})
    EXPECT_EQ(CheckMessage("TRIM(BOTH " + std::string(character) + " FROM Name)", table),
              "Trim character argument of TRIM function must be a single character constant" + in)
        << character;

  EXPECT_EQ(CheckText("EXTRACT(YEAR FROM Dt)", table)->Value.Type, Integer);
  const TExprTree month = CheckText("EXTRACT(MONTH FROM Stamp)", table);
  EXPECT_EQ(month->Value.Type, Integer);
  EXPECT_EQ(month->Value.Size, 4);
  for (const char* source : {"Tm", "Str", "Int"})
    EXPECT_EQ(CheckMessage("EXTRACT(DAY FROM " + std::string(source) + ")", table),
              "FROM argument of EXTRACT function must be a date or date and time" + in)
        << source;
}

}  // namespace
}  // namespace quire::testing
