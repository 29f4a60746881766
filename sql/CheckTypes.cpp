#include "sql/CheckTypes.h"

#include <algorithm>
#include <string>

#include "engine/FieldTypes.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

constexpr int kMaxSubstringPosition = 250;

bool IsOneOf(std::uint8_t type, std::initializer_list<std::uint8_t> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

bool IsDateOrStamp(std::uint8_t type) {
  return type == ftype::Date || type == ftype::TimeStamp;
}

bool IsMoney(const TValue& v) {
  return v.Type == ftype::Float && v.SubType == fsubtype::Money;
}

// The word messages use for what a node is.
std::string_view KindWord(const TQueryExprNode& node) {
  switch (node.Kind) {
    case nkColumn:
      return "column";
    case nkConstant:
      return "constant";
    case nkFunction:
      return "function";
    default:
      return "expression";
  }
}

// Whether the operator accepts the pair of operand types.
bool Compatible(std::uint8_t code, std::uint8_t left, std::uint8_t right) {
  using namespace ftype;
  const bool leftN = IsNumberKind(left), rightN = IsNumberKind(right);
  const bool rightInt = IsIntegerKind(right);
  switch (code) {
    case op::Equal:
    case op::NotEqual:
      if (left == 0) return true;  // the NULL keyword meets anything
      if (right == 0)
        return left == String || IsDateOrStamp(left) || left == Boolean || leftN || left == Time;
      if (left == String) return right == String;
      if (IsDateOrStamp(left)) return IsDateOrStamp(right);
      if (left == Boolean) return right == Boolean;
      if (leftN) return rightN;
      if (left == Time) return right == Time;
      return false;
    case op::Greater:
    case op::Less:
    case op::GreaterOrEqual:
    case op::LessOrEqual:
      return (left == String && right == String) || (IsDateOrStamp(left) && IsDateOrStamp(right)) ||
             (leftN && rightN) || (left == Time && right == Time);
    case op::And:
    case op::Or:
      return left == Boolean && right == Boolean;
    case op::Add:
      if (left == String) return right == String;
      if (IsDateKind(left)) return rightInt;
      if (IsIntegerKind(left))
        return right == Date || rightN || right == Time || right == TimeStamp;
      if (left == Float || left == Bcd) return rightN;
      return false;
    case op::Subtract:
      if (left == Date) return right == Date || rightInt;
      if (leftN) return rightN;
      if (left == Time) return right == Time || rightInt;
      if (left == TimeStamp) return IsDateKind(right) || rightInt;
      return false;
    case op::Multiply:
    case op::Divide:
      return leftN && rightN;
    default:
      return false;
  }
}

// The type of an arithmetic result (the pair is compatible).
std::uint8_t ArithmeticType(std::uint8_t code, std::uint8_t left, std::uint8_t right) {
  using namespace ftype;
  const bool leftInt = IsIntegerKind(left), rightInt = IsIntegerKind(right);
  // Pairs of numbers share one rule for +, * and (but for / of integers) -.
  const auto numbers = [&]() -> std::uint8_t {
    if (leftInt && rightInt) return Integer;
    if (left == Float || right == Float) return Float;
    return Bcd;  // BCD with an integer kind or BCD
  };
  switch (code) {
    case op::Add:
      if (left == String) return String;
      if (IsDateKind(left)) return left;    // moves by days / milliseconds
      if (IsDateKind(right)) return right;  // integer kinds + date kinds
      return numbers();
    case op::Subtract:
      if (left == Date) return right == Date ? Integer : Date;
      if (left == Time) return right == Time ? Integer : Time;
      if (left == TimeStamp) {
        if (right == TimeStamp) return Float;
        return IsDateKind(right) ? Integer : TimeStamp;
      }
      if (left == Word && rightInt) return Word;
      return numbers();
    case op::Multiply:
      return numbers();
    case op::Divide:
      if (leftInt) return right == Bcd ? Bcd : Float;
      return numbers();
    default:
      return Boolean;
  }
}

class TChecker {
 public:
  TChecker(std::string_view clause, TColumnResolver& resolver, const TFormatSettings& settings)
      : clause_(clause), resolver_(resolver), settings_(settings) {}

  // `mayNameColumn`: whether a string constant here may stand for a column.
  void Check(TQueryExprNode& node, bool mayNameColumn = true);

 private:
  void TakeStringAsColumn(TQueryExprNode& node);
  void TurnBackToString(TQueryExprNode& node);
  void CheckColumn(TQueryExprNode& node);
  void CheckUnary(TQueryExprNode& node);
  void CheckBinary(TQueryExprNode& node);
  void CheckPredicate(TQueryExprNode& node);
  void CheckFunction(TQueryExprNode& node);
  void ConvertDateString(TQueryExprNode& constant, std::uint8_t type);
  std::int64_t PositionArgument(const TQueryExprNode* node, std::string_view name);

  [[noreturn]] void Fail(const std::string& text) {
    RaiseSqlError(text + " in " + std::string(clause_));
  }

  const std::string_view clause_;
  TColumnResolver& resolver_;
  const TFormatSettings& settings_;
};

void TChecker::TakeStringAsColumn(TQueryExprNode& node) {
  if (node.Kind != nkConstant || node.IsParameter || node.Value.Type != ftype::String ||
      node.Value.Null)
    return;
  TQueryExprNode probe;
  probe.Kind = nkColumn;
  probe.ColumnName = node.Value.Text;
  if (!resolver_.Resolve(probe)) return;
  node.SavedString = node.Value;
  node.FromString = true;
  node.Kind = nkColumn;
  node.ColumnName = probe.ColumnName;
  node.TableName.clear();
  node.FieldNo = probe.FieldNo;
  node.SourceTable = probe.SourceTable;
  node.Value = probe.Value;
}

void TChecker::TurnBackToString(TQueryExprNode& node) {
  node.Kind = nkConstant;
  node.Value = node.SavedString;
  node.FromString = false;
  node.FieldNo = 0;
  node.SourceTable = nullptr;
  node.ColumnName.clear();
}

void TChecker::Check(TQueryExprNode& node, bool mayNameColumn) {
  if (mayNameColumn) TakeStringAsColumn(node);
  switch (node.Kind) {
    case nkColumn:
      CheckColumn(node);
      return;
    case nkUnary:
      CheckUnary(node);
      return;
    case nkBinary:
      CheckBinary(node);
      return;
    case nkPredicate:
      CheckPredicate(node);
      return;
    case nkFunction:
      CheckFunction(node);
      return;
    default:
      return;  // constants carry their type
  }
}

void TChecker::CheckColumn(TQueryExprNode& node) {
  if (node.FromString || node.ColumnName == "*") return;
  if (!resolver_.Resolve(node))
    Fail("Invalid column name '" + node.ColumnName + "' or table correlation name '" +
         node.TableName + "' specified");
}

void TChecker::CheckUnary(TQueryExprNode& node) {
  TQueryExprNode& operand = *node.Left;
  Check(operand);
  const std::uint8_t type = operand.Value.Type;
  bool fits = false;
  if (node.OpCode == op::Not) {
    fits = type == ftype::Boolean;
  } else {
    fits = IsOneOf(type, {ftype::Date, ftype::SmallInt, ftype::Integer, ftype::Float, ftype::Bcd,
                          ftype::Time, ftype::TimeStamp}) ||
           (node.OpCode == op::Plus && type == ftype::Word);
  }
  if (!fits) Fail("Type mismatch between '" + node.Text + "' operator and '" + operand.Text + "'");
  if (node.OpCode == op::Not) {
    node.Value = TValue::NullOf(ftype::Boolean, 2);
  } else {
    node.Value = TValue::NullOf(type, operand.Value.Size);
    node.Value.SubType = operand.Value.SubType;
    node.Value.Decimals = operand.Value.Decimals;
  }
}

void TChecker::ConvertDateString(TQueryExprNode& constant, std::uint8_t type) {
  if (constant.Kind != nkConstant || constant.Value.Type != ftype::String || constant.IsParameter)
    return;
  if (constant.Value.Null) {  // '' stays the NULL of the other side's type
    constant.Value = TValue::NullOf(type);
    return;
  }
  const auto value = ParseValue(type, constant.Value.Text, settings_);
  if (!value)
    Fail("Date, time, or timestamp expression expected, instead found '" + constant.Text + "'");
  constant.Value = *value;
}

void TChecker::CheckBinary(TQueryExprNode& node) {
  TQueryExprNode& left = *node.Left;
  TQueryExprNode& right = *node.Right;
  Check(left);
  Check(right);
  // In Code = 'A1' the text stays a text even when a column A1 exists.
  if (left.IsColumn() && right.IsColumn() && (left.FromString || right.FromString))
    TurnBackToString(right.FromString ? right : left);
  // An untyped parameter takes the type of what it meets.
  for (auto [param, other] : {std::pair{&left, &right}, std::pair{&right, &left}}) {
    if (param->IsParameter && param->Value.Type == 0 && other->Value.Type != 0) {
      const TValue& t = other->Value;
      param->Value = TValue::NullOf(t.Type, t.Size);
      param->Value.SubType = t.SubType;
      param->Value.Decimals = t.Decimals;
    }
  }
  if (left.IsConstant() && IsDateKind(right.Value.Type)) ConvertDateString(left, right.Value.Type);
  if (right.IsConstant() && IsDateKind(left.Value.Type)) ConvertDateString(right, left.Value.Type);

  const TValue& l = left.Value;
  const TValue& r = right.Value;
  if (!Compatible(node.OpCode, l.Type, r.Type))
    Fail("Type mismatch between " + std::string(KindWord(left)) + " '" + left.Text + "' and " +
         std::string(KindWord(right)) + " '" + right.Text + "'");

  if (IsComparisonOp(node.OpCode) || node.OpCode == op::And || node.OpCode == op::Or) {
    node.Value = TValue::NullOf(ftype::Boolean, 2);
    return;
  }
  const std::uint8_t type = ArithmeticType(node.OpCode, l.Type, r.Type);
  TValue result = TValue::NullOf(type);
  if (type == ftype::String) {
    result.Size = static_cast<std::uint16_t>(l.Size + r.Size - 1);
  } else {
    result.Size = std::max({l.Size, r.Size, static_cast<std::uint16_t>(DataSizeOf(type, 0))});
  }
  result.Decimals = std::max(l.Decimals, r.Decimals);
  const bool keepsMoney =
      node.OpCode == op::Add || node.OpCode == op::Multiply ? IsMoney(l) || IsMoney(r) : IsMoney(l);
  if (type == ftype::Float && keepsMoney) result.SubType = fsubtype::Money;
  node.Value = result;
}

void TChecker::CheckPredicate(TQueryExprNode& node) {
  TQueryExprNode& tested = *node.Left;
  Check(tested);
  const std::string opText = node.Text;
  const auto needConstant = [&](const TQueryExprNode& value) {
    const bool constant = value.IsConstant() || (value.Kind == nkUnary && value.Left->IsConstant());
    if (!constant)
      Fail("Constant expression expected after " + opText + " operator, instead found '" +
           value.Text + "'");
  };
  const auto mismatch = [&](const TQueryExprNode& culprit) {
    Fail("Type mismatch between " + opText + " operator and expression '" + culprit.Text + "'");
  };
  if (node.OpCode == op::Like || node.OpCode == op::NotLike) {
    TQueryExprNode& pattern = *node.Right;
    needConstant(pattern);
    if (pattern.IsParameter && pattern.Value.Type == 0)
      pattern.Value = TValue::NullOf(ftype::String, 1);
    if (tested.Value.Type != ftype::String) mismatch(tested);
    if (!pattern.IsConstant() || pattern.Value.Type != ftype::String) mismatch(pattern);
    node.Value = TValue::NullOf(ftype::Boolean, 2);
    return;
  }
  // IN, BETWEEN and their negations: constant values, each as for "=".
  for (TQueryExprNode* value = node.Right.get(); value != nullptr; value = value->Next.get()) {
    needConstant(*value);
    if (value->Kind == nkUnary) Check(*value);
    if (value->IsParameter && value->Value.Type == 0)
      value->Value = TValue::NullOf(tested.Value.Type, tested.Value.Size);
    if (IsDateKind(tested.Value.Type)) ConvertDateString(*value, tested.Value.Type);
    if (!Compatible(op::Equal, tested.Value.Type, value->Value.Type)) mismatch(*value);
  }
  node.Value = TValue::NullOf(ftype::Boolean, 2);
}

std::int64_t TChecker::PositionArgument(const TQueryExprNode* node, std::string_view name) {
  const std::string prefix = std::string(name) +
                             " argument of SUBSTRING function must be an "
                             "integer constant";
  if (node == nullptr || !node->IsConstant() || !IsIntegerKind(node->Value.Type) ||
      node->Value.Null)
    Fail(prefix);
  if (node->Value.Integer < 1 || node->Value.Integer > kMaxSubstringPosition)
    Fail(prefix + " between 1 and " + std::to_string(kMaxSubstringPosition));
  return node->Value.Integer;
}

void TChecker::CheckFunction(TQueryExprNode& node) {
  TQueryExprNode& argument = *node.Left;
  const bool allColumns = argument.IsColumn() && argument.ColumnName == "*";
  if (!allColumns) Check(argument);
  const TValue& a = argument.Value;
  const auto keepType = [&](std::uint16_t size) {
    node.Value = TValue::NullOf(a.Type, size);
    node.Value.SubType = a.SubType;
    node.Value.Decimals = a.Decimals;
  };
  switch (node.OpCode) {
    case op::Count:
      node.Value = TValue::NullOf(ftype::Integer, 4);
      return;
    case op::Sum:
    case op::Min:
    case op::Max:
    case op::Avg:
      if (allColumns ||
          !IsOneOf(a.Type, {ftype::Date, ftype::SmallInt, ftype::Integer, ftype::Float, ftype::Bcd,
                            ftype::Time, ftype::TimeStamp, ftype::Word}))
        Fail(node.Text +
             " aggregate function must contain a numeric, date, time, or timestamp "
             "expression");
      keepType(a.Size);
      return;
    case op::Upper:
    case op::Lower:
      if (a.Type != ftype::String)
        Fail("Type mismatch between " + node.Text + " function and function argument");
      keepType(a.Size);
      return;
    case op::Substring: {
      if (a.Type != ftype::String)
        Fail("Expression argument of SUBSTRING function must be a string");
      const std::int64_t from = PositionArgument(node.Right.get(), "FROM");
      const TQueryExprNode* forNode = node.Right->Next.get();
      const std::int64_t size = forNode != nullptr ? PositionArgument(forNode, "FOR") + 1
                                                   : std::int64_t{a.Size} - from + 1;
      keepType(static_cast<std::uint16_t>(std::max<std::int64_t>(size, 1)));
      return;
    }
    case op::TrimLeading:
    case op::TrimTrailing:
    case op::TrimBoth: {
      if (a.Type != ftype::String) Fail("FROM argument of TRIM function must be a string");
      const TQueryExprNode& character = *node.Right;
      if (!character.IsConstant() || character.Value.Type != ftype::String ||
          character.Value.Null || character.Value.Text.size() != 1)
        Fail("Trim character argument of TRIM function must be a single character constant");
      keepType(a.Size);
      return;
    }
    case op::ExtractYear:
    case op::ExtractMonth:
    case op::ExtractDay:
      if (!IsDateOrStamp(a.Type))
        Fail("FROM argument of EXTRACT function must be a date or date and time");
      node.Value = TValue::NullOf(ftype::Integer, 4);
      return;
    default:
      return;
  }
}

}  // namespace

void CheckTypes(TQueryExprNode& tree, std::string_view clause, TColumnResolver& resolver,
                const TFormatSettings& settings) {
  TChecker(clause, resolver, settings).Check(tree);
}

}  // namespace quire
