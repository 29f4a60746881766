#include "sql/ParseExpression.h"

#include <limits>
#include <string>

#include "engine/BlankText.h"
#include "engine/FieldTypes.h"
#include "engine/FormatSettings.h"
#include "engine/ValueText.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

// Frames of the grammar that may be active at once. Each level of nesting
// (a parenthesis, one more term of a chain) takes a few; the bound keeps a
// hostile or generated text from exhausting the stack.
constexpr int kMaxDepth = 3000;

class TGrammar {
 public:
  TGrammar(TExpressionParser& parser, TParseFlags flags, std::string_view clause,
           TParameterList* parameters)
      : p_(parser), flags_(flags), clause_(clause), parameters_(parameters) {}

  TExprTree Logical();
  TExprTree Primary();

 private:
  class TDepth {
   public:
    explicit TDepth(TGrammar& g) : g_(g) {
      if (++g_.depth_ > kMaxDepth)
        RaiseSqlError("Expression is nested too deeply in " + std::string(g_.clause_));
    }
    ~TDepth() { --g_.depth_; }

   private:
    TGrammar& g_;
  };

  TExprTree Comparison();
  TExprTree Additive();
  TExprTree Multiplicative();
  TExprTree Unary();
  TExprTree Predicate(TExprTree tested, bool negated);
  TExprTree Aggregate(std::uint8_t code, std::string_view name);
  TExprTree CaseFunction(std::uint8_t code, std::string_view name);
  TExprTree Substring();
  TExprTree Trim();
  TExprTree Extract();
  TExprTree Name(std::string firstPart);
  TExprTree NumberConstant();
  TExprTree Parameter();

  bool Allows(TParseFlags flag) const { return (flags_ & flag) != 0; }
  // "'" + current token + "'" + " in " + clause: the tail of most messages.
  std::string Found() const { return p_.TokenText() + "' in " + std::string(clause_); }
  // Reads past a token of `kind`, or raises `message` + the found tail.
  void Expect(TTokenKind kind, std::string_view message) {
    if (!p_.TokenKindIs(kind)) RaiseSqlError(std::string(message) + Found());
    p_.ReadToken();
  }
  void ExpectKeyword(std::string_view word, std::string_view message) {
    if (!p_.IsKeyword(word)) RaiseSqlError(std::string(message) + Found());
    p_.ReadToken();
  }
  void RequirePredicates() {
    if (!Allows(pfPredicates))
      RaiseSqlError(
          "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in " +
          std::string(clause_));
  }

  TExpressionParser& p_;
  const TParseFlags flags_;
  const std::string_view clause_;
  TParameterList* const parameters_;
  int depth_ = 0;
};

TExprTree Boolean(TExprTree node) {
  node->Value.Type = ftype::Boolean;
  node->Value.Size = 2;
  return node;
}

TExprTree NullConstant() {
  TValue null;  // untyped, null
  return MakeConstant(null, "NULL");
}

TExprTree TGrammar::Logical() {
  const TDepth depth(*this);
  TExprTree left = Comparison();
  std::uint8_t code = 0;
  if (p_.IsKeyword("AND")) code = op::And;
  if (p_.IsKeyword("OR")) code = op::Or;
  if (code == 0) return left;
  const std::string text = code == op::And ? "AND" : "OR";
  p_.ReadToken();
  TExprTree right = Logical();
  return Boolean(MakeOperator(nkBinary, code, text, std::move(left), std::move(right)));
}

TExprTree TGrammar::Comparison() {
  const TDepth depth(*this);
  TExprTree left = Additive();
  std::uint8_t code = 0;
  std::string text;
  switch (p_.Kind()) {
    case '=':
      code = op::Equal, text = "=";
      p_.ReadToken();
      break;
    case '<':
      p_.ReadToken();
      if (p_.TokenKindIs('>')) {
        code = op::NotEqual, text = "<>";
        p_.ReadToken();
      } else if (p_.TokenKindIs('=')) {
        code = op::LessOrEqual, text = "<=";
        p_.ReadToken();
      } else {
        code = op::Less, text = "<";
      }
      break;
    case '>':
      p_.ReadToken();
      if (p_.TokenKindIs('=')) {
        code = op::GreaterOrEqual, text = ">=";
        p_.ReadToken();
      } else {
        code = op::Greater, text = ">";
      }
      break;
    default:
      break;
  }
  if (code != 0) {
    TExprTree right = Comparison();
    return Boolean(MakeOperator(nkBinary, code, text, std::move(left), std::move(right)));
  }
  if (p_.IsKeyword("LIKE") || p_.IsKeyword("BETWEEN") || p_.IsKeyword("IN"))
    return Predicate(std::move(left), false);
  if (p_.IsKeyword("NOT")) {
    p_.ReadToken();
    if (!p_.IsKeyword("LIKE") && !p_.IsKeyword("BETWEEN") && !p_.IsKeyword("IN"))
      RaiseSqlError("Unknown or unexpected symbol '" + Found());
    return Predicate(std::move(left), true);
  }
  if (p_.IsKeyword("IS")) {
    RequirePredicates();
    p_.ReadToken();
    bool negated = false;
    if (p_.IsKeyword("NOT")) {
      negated = true;
      p_.ReadToken();
    }
    if (!p_.IsKeyword("NULL"))
      RaiseSqlError("Unknown or unexpected symbol '" + p_.TokenText() + "' found in " +
                    std::string(clause_));
    p_.ReadToken();
    return Boolean(MakeOperator(nkBinary, negated ? op::NotEqual : op::Equal,
                                negated ? "IS NOT NULL" : "IS NULL", std::move(left),
                                NullConstant()));
  }
  return left;
}

// LIKE, BETWEEN or IN (the current token), after the tested value and an
// optional NOT.
TExprTree TGrammar::Predicate(TExprTree tested, bool negated) {
  RequirePredicates();
  if (p_.IsKeyword("LIKE")) {
    p_.ReadToken();
    TExprTree pattern = Comparison();
    return Boolean(MakeOperator(nkPredicate, negated ? op::NotLike : op::Like,
                                negated ? "NOT LIKE" : "LIKE", std::move(tested),
                                std::move(pattern)));
  }
  if (p_.IsKeyword("BETWEEN")) {
    p_.ReadToken();
    TExprTree low = Comparison();
    ExpectKeyword("AND", "Expected AND operator in BETWEEN operator, instead found '");
    low->Next = Comparison();
    return Boolean(MakeOperator(nkPredicate, negated ? op::NotBetween : op::Between,
                                negated ? "NOT BETWEEN" : "BETWEEN", std::move(tested),
                                std::move(low)));
  }
  p_.ReadToken();  // IN
  Expect('(', negated ? "Expected left parentheses for IN operator, instead found '"
                      : "Expected left parentheses after IN operator, instead found '");
  if (p_.TokenKindIs(')'))
    RaiseSqlError("You must provide at least one value as an operand of the IN operator  in " +
                  std::string(clause_));
  TExprTree first = Comparison();
  TQueryExprNode* last = first.get();
  while (p_.TokenKindIs(',')) {
    p_.ReadToken();
    last->Next = Comparison();
    last = last->Next.get();
  }
  Expect(')', "Expected right parentheses after IN operator, instead found '");
  return Boolean(MakeOperator(nkPredicate, negated ? op::NotIn : op::In, negated ? "NOT IN" : "IN",
                              std::move(tested), std::move(first)));
}

TExprTree TGrammar::Additive() {
  const TDepth depth(*this);
  TExprTree left = Multiplicative();
  std::uint8_t code = 0;
  std::string text;
  if (p_.TokenKindIs('+')) {
    code = op::Add, text = "+";
  } else if (p_.TokenKindIs('-')) {
    code = op::Subtract, text = "-";
  } else if (p_.TokenKindIs('|')) {
    p_.ReadToken();
    if (!p_.TokenKindIs('|'))
      RaiseSqlError(
          "Second concatenation symbol '|' expected after first concatentation symbol, "
          "instead found '" +
          Found());
    code = op::Add, text = "||";
  } else {
    return left;
  }
  p_.ReadToken();
  TExprTree right = Additive();
  TValue type = left->Value;  // the left operand's type until type checking
  TExprTree node = MakeOperator(nkBinary, code, text, std::move(left), std::move(right));
  node->Value = TValue::NullOf(type.Type, type.Size);
  return node;
}

TExprTree TGrammar::Multiplicative() {
  const TDepth depth(*this);
  TExprTree left = Unary();
  if (!p_.TokenKindIs('*') && !p_.TokenKindIs('/')) return left;
  const bool multiply = p_.TokenKindIs('*');
  p_.ReadToken();
  TExprTree right = Multiplicative();
  TValue type = left->Value;
  TExprTree node = MakeOperator(nkBinary, multiply ? op::Multiply : op::Divide,
                                multiply ? "*" : "/", std::move(left), std::move(right));
  node->Value = TValue::NullOf(type.Type, type.Size);
  return node;
}

TExprTree TGrammar::Unary() {
  const TDepth depth(*this);
  if (p_.IsKeyword("NOT")) {
    p_.ReadToken();
    return Boolean(MakeOperator(nkUnary, op::Not, "NOT", Primary()));
  }
  if (p_.TokenKindIs('-') || p_.TokenKindIs('+')) {
    const bool minus = p_.TokenKindIs('-');
    p_.ReadToken();
    TExprTree operand = Primary();
    TValue type = operand->Value;
    TExprTree node =
        MakeOperator(nkUnary, minus ? op::Negate : op::Plus, minus ? "-" : "+", std::move(operand));
    node->Value = TValue::NullOf(type.Type, type.Size);
    return node;
  }
  return Primary();
}

TExprTree TGrammar::Aggregate(std::uint8_t code, std::string_view name) {
  if (!Allows(pfAggregates))
    RaiseSqlError("Aggregate functions are not allowed in " + std::string(clause_));
  p_.ReadToken();
  Expect('(', "Left parentheses expectedafter aggregate function '" + std::string(name) +
                  "', instead found '");
  TExprTree argument = Additive();
  Expect(')', "Right parentheses expected after aggregate " + std::string(name) +
                  " function argument, instead found '");
  return MakeOperator(nkFunction, code, name, std::move(argument));
}

TExprTree TGrammar::CaseFunction(std::uint8_t code, std::string_view name) {
  p_.ReadToken();
  Expect('(', "Left parentheses expectedafter " + std::string(name) + " keyword, instead found '");
  TExprTree argument = Additive();
  Expect(')', "Right parentheses expected after " + std::string(name) +
                  " function argument, instead found '");
  TExprTree node = MakeOperator(nkFunction, code, name, std::move(argument));
  node->Value.Type = ftype::String;
  return node;
}

TExprTree TGrammar::Substring() {
  p_.ReadToken();
  Expect('(', "Left parentheses expected after SUBSTRING keyword, instead found '");
  TExprTree source = Additive();
  ExpectKeyword("FROM",
                "FROM keyword expected after first SUBSTRING function argument, "
                "instead found '");
  TExprTree from = Primary();
  if (p_.IsKeyword("FOR")) {
    p_.ReadToken();
    from->Next = Primary();
  }
  Expect(')', "Right parentheses expected after SUBSTRING function arguments, instead found '");
  TExprTree node =
      MakeOperator(nkFunction, op::Substring, "SUBSTRING", std::move(source), std::move(from));
  node->Value.Type = ftype::String;
  return node;
}

TExprTree TGrammar::Trim() {
  p_.ReadToken();
  Expect('(', "Left parentheses expected after TRIM keyword, instead found '");
  std::uint8_t code = 0;
  if (p_.IsKeyword("LEADING")) code = op::TrimLeading;
  if (p_.IsKeyword("TRAILING")) code = op::TrimTrailing;
  if (p_.IsKeyword("BOTH")) code = op::TrimBoth;
  if (code == 0)
    RaiseSqlError(
        "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '" +
        Found());
  p_.ReadToken();
  TExprTree character = Primary();
  ExpectKeyword("FROM",
                "FROM keyword expected after second TRIM function argument, "
                "instead found '");
  TExprTree source = Additive();
  Expect(')', "Right parentheses expected after TRIM function arguments, instead found '");
  TExprTree node = MakeOperator(nkFunction, code, "TRIM", std::move(source), std::move(character));
  node->Value.Type = ftype::String;
  return node;
}

TExprTree TGrammar::Extract() {
  p_.ReadToken();
  Expect('(', "Left parentheses expected after EXTRACT keyword, instead found '");
  std::uint8_t code = 0;
  if (p_.IsKeyword("YEAR")) code = op::ExtractYear;
  if (p_.IsKeyword("MONTH")) code = op::ExtractMonth;
  if (p_.IsKeyword("DAY")) code = op::ExtractDay;
  if (code == 0)
    RaiseSqlError("YEAR, MONTH, or DAY keyword expected after EXTRACT keyword, instead found '" +
                  Found());
  p_.ReadToken();
  ExpectKeyword("FROM",
                "FROM keyword expected after second EXTRACT function argument, "
                "instead found '");
  TExprTree source = Primary();
  Expect(')', "Right parentheses expected after EXTRACT function arguments, instead found '");
  TExprTree node = MakeOperator(nkFunction, code, "EXTRACT", std::move(source));
  node->Value = TValue::NullOf(ftype::Integer, 4);
  return node;
}

// A column name, or a table correlation name when a "." follows; the
// current token is the one after the first part.
TExprTree TGrammar::Name(std::string firstPart) {
  if (!p_.TokenKindIs('.')) return MakeColumn({}, firstPart);
  p_.ReadToken();
  if (p_.TokenKindIs('*')) {
    if (!Allows(pfAllColumns))
      RaiseSqlError("* (all columns) symbol is not allowed in " + std::string(clause_));
  } else if (!p_.TokenKindIs(tkSymbol) && !p_.TokenKindIs(tkString) &&
             !p_.TokenKindIs(tkBracketed)) {
    RaiseSqlError(
        "Symbol or string expression expected after table correlation name separator '.', "
        "instead found '" +
        Found());
  }
  TExprTree column = MakeColumn(firstPart, p_.TokenText());
  p_.ReadToken();
  return column;
}

TExprTree TGrammar::NumberConstant() {
  const std::string text = p_.TokenText();
  const bool integer = p_.TokenKindIs(tkInteger);
  p_.ReadToken();
  if (integer) {
    const auto value = ParseIntegerText(text, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max());
    if (!value) RaiseSqlError("'" + text + "' is not a valid integer value");
    return MakeConstant(TValue::Int(static_cast<std::int32_t>(*value)), text);
  }
  // The decimal separator is the running locale's, as for any number text.
  const auto value = ParseFloatText(text, CurrentFormatSettings());
  if (!value) RaiseSqlError("'" + text + "' is not a valid floating point value");
  return MakeConstant(TValue::Float(*value), text);
}

TExprTree TGrammar::Parameter() {
  if (!Allows(pfParams)) RaiseSqlError("Parameters are not allowed in " + std::string(clause_));
  p_.ReadToken();
  TExprTree node = MakeConstant(TValue::Untyped(), "?");
  node->IsParameter = true;
  if (parameters_ != nullptr) parameters_->push_back(node.get());
  return node;
}

TExprTree TGrammar::Primary() {
  const TDepth depth(*this);
  switch (p_.Kind()) {
    case tkSymbol: {
      struct TAggregate {
        std::string_view name;
        std::uint8_t code;
      };
      static constexpr TAggregate kAggregates[] = {{"SUM", op::Sum},
                                                   {"AVG", op::Avg},
                                                   {"MIN", op::Min},
                                                   {"MAX", op::Max},
                                                   {"COUNT", op::Count}};
      for (const TAggregate& aggregate : kAggregates)
        if (p_.IsKeyword(aggregate.name)) return Aggregate(aggregate.code, aggregate.name);
      if (p_.IsKeyword("LOWER")) return CaseFunction(op::Lower, "LOWER");
      if (p_.IsKeyword("UPPER")) return CaseFunction(op::Upper, "UPPER");
      if (p_.IsKeyword("SUBSTRING")) return Substring();
      if (p_.IsKeyword("TRIM")) return Trim();
      if (p_.IsKeyword("EXTRACT")) return Extract();
      const std::string text = p_.TokenText();
      if (p_.IsKeyword("TRUE") || p_.IsKeyword("FALSE")) {
        const bool truth = p_.IsKeyword("TRUE");
        p_.ReadToken();
        return MakeConstant(TValue::Boolean(truth), text);
      }
      if (p_.IsKeyword("NULL")) {
        p_.ReadToken();
        return NullConstant();
      }
      if (p_.IsKeyword("DATE") || p_.IsKeyword("NOW")) {
        // Taken once, when the statement is parsed.
        const bool date = p_.IsKeyword("DATE");
        p_.ReadToken();
        const auto now = ParseValue(date ? ftype::Date : ftype::TimeStamp, date ? "DATE" : "NOW",
                                    BuiltInFormatSettings());
        return MakeConstant(*now, text);
      }
      p_.ReadToken();
      if (p_.TokenKindIs('('))
        RaiseSqlError("Unknown or unexpected function '" + text + "' found in " +
                      std::string(clause_));
      return Name(text);
    }
    case tkBracketed: {
      std::string text = p_.TokenText();
      p_.ReadToken();
      return Name(std::move(text));
    }
    case tkString: {
      const std::string raw = p_.TokenText();
      const std::string value = p_.StringValue();
      p_.ReadToken();
      if (p_.TokenKindIs('.')) return Name(raw);
      if (EqualsIgnoringAsciiCase(value, "TRUE") || EqualsIgnoringAsciiCase(value, "FALSE"))
        return MakeConstant(TValue::Boolean(EqualsIgnoringAsciiCase(value, "TRUE")), value);
      // '' is the NULL string.
      if (value.empty()) return MakeConstant(TValue::NullOf(ftype::String, 1), value);
      return MakeConstant(TValue::String(value), value);
    }
    case tkInteger:
    case tkFloat:
      return NumberConstant();
    case '(': {
      p_.ReadToken();
      TExprTree inner = Logical();
      Expect(')', "Right parentheses expected, instead found '");
      return inner;
    }
    case '*': {
      if (!Allows(pfAllColumns))
        RaiseSqlError("* (all columns) symbol is not allowed in " + std::string(clause_));
      p_.ReadToken();
      return MakeColumn({}, "*");
    }
    case '?':
      return Parameter();
    default:
      RaiseSqlError("Unknown or unexpected symbol '" + p_.TokenText() + "' found in " +
                    std::string(clause_));
  }
}

}  // namespace

TExprTree ParseExpression(TExpressionParser& parser, TParseFlags flags, std::string_view clause,
                          TParameterList* parameters) {
  return TGrammar(parser, flags, clause, parameters).Logical();
}

TExprTree ParsePrimary(TExpressionParser& parser, TParseFlags flags, std::string_view clause,
                       TParameterList* parameters) {
  return TGrammar(parser, flags, clause, parameters).Primary();
}

}  // namespace quire
