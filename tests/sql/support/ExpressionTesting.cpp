#include "support/ExpressionTesting.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/BlankText.h"
#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"
#include "engine/FileSession.h"
#include "tests/engine/support/EngineErrors.h"
#include "tests/engine/support/EngineScope.h"

namespace quire::testing {

TFakeTable::TFakeTable()
    : TFakeTable({{"Str", ftype::String, 21},
                  {"Code", ftype::String, 11},
                  {"Name", ftype::String, 41},
                  {"A1", ftype::String, 11},
                  {"Dt", ftype::Date},
                  {"Tm", ftype::Time},
                  {"Stamp", ftype::TimeStamp},
                  {"Bool", ftype::Boolean},
                  {"Small", ftype::SmallInt},
                  {"Int", ftype::Integer},
                  {"Flt", ftype::Float},
                  {"Money", ftype::Float, 0, fsubtype::Money},
                  {"Bcd", ftype::Bcd, 0, 0, 2},
                  {"Bcd4", ftype::Bcd, 0, 0, 4},
                  {"Wrd", ftype::Word}}) {}

TFakeTable::TFakeTable(std::vector<TFakeColumn> columns) : columns_(std::move(columns)) {
  for (TFakeColumn& column : columns_)
    if (column.Size == 0) column.Size = static_cast<std::uint16_t>(DataSizeOf(column.Type, 0));
}

bool TFakeTable::Resolve(TQueryExprNode& column) {
  ++ResolveCalls;
  if (!column.TableName.empty() && !EqualsIgnoringAsciiCase(column.TableName, "T")) return false;
  const int number = FieldNo(column.ColumnName);
  if (number == 0) return false;
  column.FieldNo = static_cast<std::int16_t>(number);
  column.Value = NullOfColumn(columns_[number - 1]);
  return true;
}

int TFakeTable::FieldNo(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (EqualsIgnoringAsciiCase(columns_[i].Name, name)) return static_cast<int>(i + 1);
  return 0;
}

std::string TFakeTable::ColumnOf(std::uint8_t type) {
  switch (type) {
    case ftype::String:
      return "Str";
    case ftype::Date:
      return "Dt";
    case ftype::Time:
      return "Tm";
    case ftype::TimeStamp:
      return "Stamp";
    case ftype::Boolean:
      return "Bool";
    case ftype::SmallInt:
      return "Small";
    case ftype::Integer:
      return "Int";
    case ftype::Float:
      return "Flt";
    case ftype::Bcd:
      return "Bcd";
    case ftype::Word:
      return "Wrd";
    default:
      ADD_FAILURE() << "no column of type " << int{type};
      return "";
  }
}

TFakeRecord& TFakeRecord::Set(std::string_view column, TValue value) {
  const int number = table_.FieldNo(column);
  EXPECT_NE(number, 0) << column;
  const TFakeColumn& declared = table_.Columns()[number - 1];
  value.Type = declared.Type;
  value.SubType = declared.SubType;
  value.Size = declared.Size;
  if (declared.Type == ftype::Bcd) value.Decimals = declared.Decimals;
  values_[number] = std::move(value);
  return *this;
}

TValue TFakeRecord::Read(const TQueryExprNode& column) {
  EXPECT_GE(column.FieldNo, 1) << "unbound column " << column.ColumnName;
  ++reads_[column.FieldNo];
  order_.push_back(table_.Columns().at(column.FieldNo - 1).Name);
  const auto found = values_.find(column.FieldNo);
  if (found != values_.end()) return found->second;
  return NullOfColumn(table_.Columns().at(column.FieldNo - 1));
}

int TFakeRecord::Reads(std::string_view column) const {
  const auto found = reads_.find(table_.FieldNo(column));
  return found == reads_.end() ? 0 : found->second;
}

namespace {

TValue Present(std::uint8_t type) {
  TValue v = TValue::NullOf(type);
  v.Null = false;
  return v;
}

}  // namespace

TValue SmallValue(std::int16_t value) {
  TValue v = Present(ftype::SmallInt);
  v.Integer = value;
  return v;
}

TValue WordValue(std::uint16_t value) {
  TValue v = Present(ftype::Word);
  v.Integer = value;
  return v;
}

TValue DateValue(int year, int month, int day) {
  TValue v = Present(ftype::Date);
  v.Integer = DayNumber(year, month, day);
  return v;
}

TValue TimeValue(int hour, int minute, int second, int millisecond) {
  TValue v = Present(ftype::Time);
  v.Integer = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
  return v;
}

TValue StampValue(int year, int month, int day, int hour, int minute, int second) {
  TValue v = Present(ftype::TimeStamp);
  v.Real = static_cast<double>(DayNumber(year, month, day)) * kMillisecondsPerDay +
           ((hour * 60 + minute) * 60 + second) * 1000.0;
  return v;
}

TValue BcdValue(std::int64_t amount, std::uint8_t decimals) {
  TValue v = Present(ftype::Bcd);
  v.Integer = amount;
  v.Decimals = decimals;
  return v;
}

TValue MoneyValue(double value) {
  TValue v = TValue::Float(value);
  v.SubType = fsubtype::Money;
  return v;
}

TValue NullOfColumn(const TFakeColumn& column) {
  TValue v = TValue::NullOf(column.Type, column.Size);
  v.SubType = column.SubType;
  v.Decimals = column.Decimals;
  return v;
}

TExprTree ParseText(std::string_view text, TParseFlags flags, std::string_view clause,
                    TParameterList* parameters) {
  TExpressionParser parser;
  parser.Load(text);
  parser.ReadToken();
  TExprTree tree = ParseExpression(parser, flags, clause, parameters);
  EXPECT_TRUE(parser.TokenKindIs(tkEnd))
      << "'" << parser.TokenText() << "' left after the expression in " << text;
  return tree;
}

TExprTree CheckText(std::string_view text, TFakeTable& table, std::string_view clause) {
  TExprTree tree = ParseText(text, kAllParseFlags, clause);
  CheckTypes(*tree, clause, table, BuiltInFormatSettings());
  return tree;
}

TValue EvaluateText(std::string_view text, TFakeTable& table, TFakeRecord& record) {
  const TExprTree tree = CheckText(text, table);
  return Evaluate(*tree, {.Reader = &record});
}

std::string SqlMessageOf(const std::function<void()>& action) {
  // The session keeps the whole text; the exception only its first 127
  // characters, which must agree with it.
  EngineScope engine;
  const TRaised raised = Raised(action);
  if (raised.code == 0) return "(no error)";
  if (raised.code != err::Sql) return "code " + std::to_string(raised.code) + ": " + raised.message;
  const std::string text = CurrentSession().ErrorContext().statementText;
  const std::string expected = ("Quire Engine Error # 11949 SQL - " + text);
  EXPECT_EQ(raised.message, expected.substr(0, 27 + std::min<std::size_t>(6 + text.size(), 127)));
  return text;
}

std::string Describe(const TValue& value) {
  std::ostringstream out;
  out << int{value.Type} << ":";
  if (value.Null) {
    out << "NULL";
  } else if (value.Type == ftype::String) {
    out << "'" << value.Text << "'";
  } else if (value.Type == ftype::Float || value.Type == ftype::TimeStamp) {
    out.precision(15);
    out << value.Real;
  } else {
    out << value.Integer;
  }
  return out.str();
}

}  // namespace quire::testing
