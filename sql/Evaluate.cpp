#include "sql/Evaluate.h"

#include <cmath>
#include <string>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"

namespace quire {
namespace {

class TEvaluator {
 public:
  explicit TEvaluator(const TEvaluationContext& context) : context_(context) {}

  TValue Value(const TQueryExprNode& node);

 private:
  TValue Binary(const TQueryExprNode& node);
  TValue Compare(const TQueryExprNode& node);
  TValue Predicate(const TQueryExprNode& node);
  TValue Function(const TQueryExprNode& node);
  bool Equal(const TValue& a, const TValue& b) const;
  // An ordering comparison; false when either side is NULL.
  bool Ordered(std::uint8_t code, const TValue& a, const TValue& b) const;

  const TEvaluationContext& context_;
};

bool TEvaluator::Equal(const TValue& a, const TValue& b) const {
  if (a.Null || b.Null) return a.Null && b.Null;
  return CompareValues(a, b, context_.Collation) == 0;
}

bool TEvaluator::Ordered(std::uint8_t code, const TValue& a, const TValue& b) const {
  if (a.Null || b.Null) return false;
  const int order = CompareValues(a, b, context_.Collation);
  switch (code) {
    case op::Greater:
      return order > 0;
    case op::Less:
      return order < 0;
    case op::GreaterOrEqual:
      return order >= 0;
    default:
      return order <= 0;
  }
}

TValue TEvaluator::Value(const TQueryExprNode& node) {
  switch (node.Kind) {
    case nkConstant:
      return node.Value;
    case nkColumn:
      return context_.Reader != nullptr ? context_.Reader->Read(node) : node.Value;
    case nkUnary: {
      const TValue operand = Value(*node.Left);
      switch (node.OpCode) {
        case op::Not:
          return TValue::Boolean(!operand.IsTrue());
        case op::IsNull:
          return TValue::Boolean(operand.Null);
        case op::IsNotNull:
          return TValue::Boolean(!operand.Null);
        default:
          return ApplyUnary(node.OpCode, operand);
      }
    }
    case nkBinary:
      return Binary(node);
    case nkCompare:
      return Compare(node);
    case nkPredicate:
      return Predicate(node);
    case nkFunction:
      return Function(node);
    default:
      return TValue::Untyped();
  }
}

TValue TEvaluator::Binary(const TQueryExprNode& node) {
  // The right operand first: AND and OR may stop there.
  const TValue right = Value(*node.Right);
  if (node.OpCode == op::And && !right.IsTrue()) return TValue::Boolean(false);
  if (node.OpCode == op::Or && right.IsTrue()) return TValue::Boolean(true);
  const TValue left = Value(*node.Left);
  switch (node.OpCode) {
    case op::And:
    case op::Or:
      return TValue::Boolean(left.IsTrue());
    case op::Equal:
      return TValue::Boolean(Equal(left, right));
    case op::NotEqual:
      return TValue::Boolean(!Equal(left, right));
    case op::Greater:
    case op::Less:
    case op::GreaterOrEqual:
    case op::LessOrEqual:
      return TValue::Boolean(Ordered(node.OpCode, left, right));
    default: {
      // An unchecked tree has no result type yet: the left operand's.
      const TValue& type = node.Value.Type != 0 ? node.Value : left;
      return ApplyArithmetic(node.OpCode, type, left, right);
    }
  }
}

// A dataset filter compare: the texts match over their first PartialLength
// characters (all when 0), with A-Z and a-z alike when CaseInsensitive; a
// NULL field matches nothing, as an index holds no key for it.
TValue TEvaluator::Compare(const TQueryExprNode& node) {
  TValue constant = Value(*node.Right);
  TValue field = Value(*node.Left);
  bool match = false;
  if (!field.Null && !constant.Null) {
    for (TValue* text : {&field, &constant}) {
      if (node.PartialLength != 0 && text->Text.size() > node.PartialLength)
        text->Text.resize(node.PartialLength);
      if (node.CaseInsensitive)
        for (char& c : text->Text)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    match = CompareValues(field, constant, context_.Collation) == 0;
  }
  return TValue::Boolean(node.OpCode == op::Equal ? match : !match);
}

TValue TEvaluator::Predicate(const TQueryExprNode& node) {
  const TValue tested = Value(*node.Left);
  bool result = false;
  switch (node.OpCode) {
    case op::Like:
    case op::NotLike: {
      const TValue pattern = Value(*node.Right);
      result = !tested.Null && !pattern.Null && MatchLikePattern(tested.Text, pattern.Text);
      return TValue::Boolean(node.OpCode == op::Like ? result : !result);
    }
    case op::In:
    case op::NotIn:
      for (const TQueryExprNode* value = node.Right.get(); value != nullptr && !result;
           value = value->Next.get())
        result = Equal(tested, Value(*value));
      return TValue::Boolean(node.OpCode == op::In ? result : !result);
    default: {  // BETWEEN, NOT BETWEEN
      result = Ordered(op::GreaterOrEqual, tested, Value(*node.Right)) &&
               Ordered(op::LessOrEqual, tested, Value(*node.Right->Next));
      return TValue::Boolean(node.OpCode == op::Between ? result : !result);
    }
  }
}

TValue TEvaluator::Function(const TQueryExprNode& node) {
  const TValue argument = Value(*node.Left);
  // Aggregates hand their argument to the query, which does the aggregation.
  if (IsAggregateOp(node.OpCode)) return argument;
  TValue result = TValue::NullOf(node.Value.Type, node.Value.Size);
  result.SubType = node.Value.SubType;
  if (argument.Null) return result;
  result.Null = false;
  std::string text = argument.Text;
  switch (node.OpCode) {
    case op::Upper:
    case op::Lower:
      text.resize(std::min<std::size_t>(text.size(), kMaxFieldSize));
      for (char& c : text) {
        if (node.OpCode == op::Upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (node.OpCode == op::Lower && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      }
      result.Text = std::move(text);
      return result;
    case op::Substring: {
      const auto from =
          static_cast<std::size_t>(std::max<std::int64_t>(node.Right->Value.Integer, 1));
      const TQueryExprNode* forNode = node.Right->Next.get();
      const std::size_t count =
          forNode != nullptr
              ? static_cast<std::size_t>(std::max<std::int64_t>(forNode->Value.Integer, 0))
              : std::string::npos;
      result.Text = from <= text.size() ? text.substr(from - 1, count) : std::string();
      return result;
    }
    case op::TrimLeading:
    case op::TrimTrailing:
    case op::TrimBoth: {
      const std::string& character = node.Right->Value.Text;
      const char c = character.empty() ? ' ' : character[0];
      std::size_t first = 0, last = text.size();
      if (node.OpCode != op::TrimTrailing)
        while (first < last && text[first] == c) ++first;
      if (node.OpCode != op::TrimLeading)
        while (last > first && text[last - 1] == c) --last;
      result.Text = text.substr(first, last - first);
      return result;
    }
    case op::ExtractYear:
    case op::ExtractMonth:
    case op::ExtractDay: {
      const double day = argument.Type == ftype::TimeStamp
                             ? std::floor(argument.Real / kMillisecondsPerDay)
                             : static_cast<double>(argument.Integer);
      // A day before 1 January of year 1 or after 9999 names no date.
      if (!(day >= 1 && day <= DayNumber(9999, 12, 31))) return TValue::NullOf(ftype::Integer, 4);
      const TCivilDate date = CivilFromDayNumber(static_cast<std::int32_t>(day));
      result.Integer = node.OpCode == op::ExtractYear    ? date.year
                       : node.OpCode == op::ExtractMonth ? date.month
                                                         : date.day;
      return result;
    }
    default:
      return result;
  }
}

}  // namespace

TValue Evaluate(const TQueryExprNode& tree, const TEvaluationContext& context) {
  return TEvaluator(context).Value(tree);
}

}  // namespace quire
