// Properties of the expression language over many random cases (seeded, so
// every run sees the same ones; LYRABOOK_PROPERTY_CASES asks for more):
//   - a random tree written out as text, with parentheses only where the
//     grouping needs them and random blanks, comments, letter case and
//     brackets, parses back to the same tree;
//   - a random well-typed expression over a random record evaluates to what
//     the small evaluator below says, written from the rules of the language
//     and not from the code.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/FieldTypes.h"
#include "support/ExpressionTesting.h"
#include "tests/engine/support/EngineScope.h"

namespace quire::testing {
namespace {

int CaseCount(int normal) {
  const char* asked = std::getenv("LYRABOOK_PROPERTY_CASES");
  if (asked != nullptr && std::atoi(asked) > 0) return std::atoi(asked);
  return normal;
}

class TRandom {
 public:
  explicit TRandom(std::uint64_t seed) : engine_(seed) {}
  // 0 .. n-1.
  int Below(int n) { return static_cast<int>(engine_() % static_cast<std::uint64_t>(n)); }
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(engine_() % static_cast<std::uint64_t>(high - low + 1));
  }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<int>(items.size()))];
  }

 private:
  std::mt19937_64 engine_;
};

// Grammar levels: the lowest level an operand may have without parentheses.
constexpr int kLogical = 1, kComparison = 2, kAdditive = 3, kMultiplicative = 4, kUnary = 5,
              kPrimary = 6;

// ===========================================================================
// Round trip: text to tree.

// The tree the parser must build for a piece of text.
struct TShape {
  TNodeKind Kind = 0;
  std::uint8_t Code = 0;
  std::optional<std::string> Text;  // compared when known
  std::string Column, Table;
  // Constants.
  std::uint8_t Type = 0;
  bool Null = false;
  bool Parameter = false;
  bool AnyValue = false;  // DATE and NOW: the type only
  std::int64_t Integer = 0;
  double Real = 0;
  std::string String;
  int ParameterIndex = -1;
  // Left, then Right, then each Next of Right (functions and predicates).
  std::vector<TShape> Operands;
};

struct TPiece {
  TShape Shape;
  std::string Text;
  int Level = kPrimary;
};

bool IsPunctuation(char c) {
  return std::string_view("(),=<>+-*/|?").find(c) != std::string_view::npos;
}

class TTreeWriter {
 public:
  explicit TTreeWriter(std::uint64_t seed) : random_(seed) {}

  TPiece Expression(int depth) {
    if (depth <= 0) return Leaf();
    switch (random_.Below(11)) {
      case 0:
        return Logical(depth);
      case 1:
      case 2:
        return Comparison(depth);
      case 3:
        return Predicate(depth);
      case 4:
      case 5:
        return Binary(depth, random_.Below(3) == 0 ? 1 : 0);
      case 6:
        return Binary(depth, 2);
      case 7:
        return Unary(depth);
      case 8:
        return Function(depth);
      case 9: {
        TPiece inner = Expression(depth - 1);
        inner.Text = Join({"(", inner.Text, ")"});
        inner.Level = kPrimary;
        return inner;
      }
      default:
        return Leaf();
    }
  }

  int Parameters() const { return parameters_; }

 private:
  // What stands between two tokens: blanks, control characters, comments,
  // or nothing where a one-character token makes the boundary.
  std::string Blank(char before, char after) {
    static const std::vector<std::string> blanks = {" ",    " ",         " ",    "  ",     "\t",
                                                    "\r\n", " /* x */ ", "/**/", "/* * */"};
    const bool touching =
        (IsPunctuation(before) || IsPunctuation(after)) && !(before == '/' && after == '*');
    if (touching && random_.Chance(30)) return "";
    return random_.Pick(blanks);
  }
  std::string Join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) {
      if (!text.empty()) text += Blank(text.back(), part.front());
      text += part;
    }
    return text;
  }
  // A keyword in random letter case; where the parser tests it as a
  // keyword, sometimes bracketed.
  std::string Keyword(std::string_view word, bool mayBracket = true) {
    std::string text(word);
    for (char& c : text)
      if (random_.Chance(40)) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (mayBracket && random_.Chance(10)) return "[" + text + "]";
    return text;
  }
  std::string At(const TPiece& piece, int level) {
    if (piece.Level >= level && !random_.Chance(5)) return piece.Text;
    return Join({"(", piece.Text, ")"});
  }
  static TShape Operator(TNodeKind kind, std::uint8_t code, std::optional<std::string> text) {
    TShape shape;
    shape.Kind = kind;
    shape.Code = code;
    shape.Text = std::move(text);
    return shape;
  }

  TPiece Column(std::string table, std::string column, std::string text) {
    TPiece piece;
    piece.Shape.Kind = nkColumn;
    piece.Shape.Column = column;
    piece.Shape.Table = table;
    piece.Shape.Text = table.empty() ? column : table + "." + column;
    piece.Text = std::move(text);
    return piece;
  }
  TPiece Constant(std::uint8_t type, std::string text) {
    TPiece piece;
    piece.Shape.Kind = nkConstant;
    piece.Shape.Type = type;
    piece.Text = std::move(text);
    return piece;
  }

  TPiece Leaf() {
    switch (random_.Below(14)) {
      case 0: {
        static const std::vector<std::string> names = {
            "Code", "qty", "_x1", "Name2", "\xE0\xBE\xC5\xA7", "Price_Total"};
        const std::string& name = random_.Pick(names);
        return Column("", name, name);
      }
      case 1: {
        static const std::vector<std::string> names = {"Song Name", "SUM",  "TRUE", "x.y",
                                                       "a''b",      "FROM", "AND",  "Order (2)"};
        const std::string& name = random_.Pick(names);
        return Column("", name, "[" + name + "]");
      }
      case 2: {
        switch (random_.Below(5)) {
          case 0:
            return Column("T", "Code", Join({"T", ".", "Code"}));
          case 1:
            return Column("T", "Code", Join({"'T'", ".", "Code"}));
          case 2:
            return Column("My T", "Song Name", Join({"[My T]", ".", "[Song Name]"}));
          case 3:
            return Column("T", "it''s", Join({"T", ".", "'it''s'"}));
          default:
            return Column("\"q\"", "x", Join({"[\"q\"]", ".", "\"x\""}));
        }
      }
      case 3: {
        const std::int64_t value =
            random_.Chance(50) ? random_.Below(1000) : random_.Between(0, 2147483647);
        std::string text = std::to_string(value);
        if (random_.Chance(10)) text = "00" + text;
        TPiece piece = Constant(ftype::Integer, text);
        piece.Shape.Integer = value;
        piece.Shape.Text = text;
        return piece;
      }
      case 4: {
        static const std::vector<std::string> forms = {"%d.%d", "%dE%d", "%d.%de+%d", "%de-%d",
                                                       "%d.%dE-%d"};
        char text[64];
        std::snprintf(text, sizeof text, random_.Pick(forms).c_str(), random_.Below(10000),
                      random_.Below(100), random_.Below(20));
        TPiece piece = Constant(ftype::Float, text);
        piece.Shape.Real = std::strtod(text, nullptr);
        piece.Shape.Text = text;
        return piece;
      }
      case 5:
      case 6: {
        static const std::string alphabet = "abcXYZ09 '\"%_\xE0-/*";
        std::string value;
        const int length = 1 + random_.Below(8);
        for (int i = 0; i < length; ++i) value += alphabet[random_.Below(alphabet.size())];
        const char quote = random_.Chance(50) ? '\'' : '"';
        std::string text(1, quote);
        for (char c : value) {
          text += c;
          if (c == quote) text += c;
        }
        text += quote;
        TPiece piece = Constant(ftype::String, text);
        piece.Shape.String = value;
        piece.Shape.Text = value;
        return piece;
      }
      case 7: {
        TPiece piece = Constant(ftype::String, random_.Chance(50) ? "''" : "\"\"");
        piece.Shape.Null = true;
        piece.Shape.String = "";
        return piece;
      }
      case 8: {
        const bool truth = random_.Chance(50);
        const std::string word = Keyword(truth ? "TRUE" : "FALSE", false);
        TPiece piece = Constant(ftype::Boolean,
                                random_.Chance(50)
                                    ? word
                                    : (random_.Chance(50) ? "'" + word + "'" : "\"" + word + "\""));
        piece.Shape.Integer = truth ? 1 : 0;
        return piece;
      }
      case 9: {
        TPiece piece = Constant(0, Keyword("NULL", false));
        piece.Shape.Null = true;
        piece.Shape.Text = "NULL";
        return piece;
      }
      case 10:
      case 11: {
        TPiece piece = Constant(0, "?");
        piece.Shape.Null = true;
        piece.Shape.Parameter = true;
        piece.Shape.Text = "?";
        piece.Shape.ParameterIndex = parameters_++;
        return piece;
      }
      case 12:
        if (random_.Chance(50)) return Column("", "*", "*");
        return Column("T", "*", Join({"T", ".", "*"}));
      default: {
        const bool date = random_.Chance(50);
        TPiece piece =
            Constant(date ? ftype::Date : ftype::TimeStamp, Keyword(date ? "DATE" : "NOW", false));
        piece.Shape.AnyValue = true;
        return piece;
      }
    }
  }

  TPiece Logical(int depth) {
    const bool conjunction = random_.Chance(50);
    TPiece left = Expression(depth - 1);
    TPiece right = Expression(depth - 1);
    TPiece piece;
    piece.Shape = Operator(nkBinary, conjunction ? op::And : op::Or, conjunction ? "AND" : "OR");
    piece.Text =
        Join({At(left, kComparison), Keyword(conjunction ? "AND" : "OR"), At(right, kLogical)});
    piece.Shape.Operands = {left.Shape, right.Shape};
    piece.Level = kLogical;
    return piece;
  }

  TPiece Comparison(int depth) {
    struct TOp {
      std::uint8_t code;
      std::string text;
      char first, second;  // second 0: one character
    };
    static const std::vector<TOp> ops = {
        {op::Equal, "=", '=', 0},          {op::NotEqual, "<>", '<', '>'},
        {op::Less, "<", '<', 0},           {op::Greater, ">", '>', 0},
        {op::LessOrEqual, "<=", '<', '='}, {op::GreaterOrEqual, ">=", '>', '='}};
    const TOp& o = random_.Pick(ops);
    TPiece left = Expression(depth - 1);
    std::string opText(1, o.first);
    if (o.second != 0) opText += Blank(o.first, o.second) + o.second;
    TPiece right = Expression(depth - 1);
    TPiece piece;
    piece.Shape = Operator(nkBinary, o.code, o.text);
    piece.Text = Join({At(left, kAdditive), opText, At(right, kComparison)});
    piece.Shape.Operands = {left.Shape, right.Shape};
    piece.Level = kComparison;
    return piece;
  }

  TPiece Predicate(int depth) {
    TPiece tested = Expression(depth - 1);
    const std::string testedText = At(tested, kAdditive);
    const bool negated = random_.Chance(40);
    const std::string notWord = negated ? Keyword("NOT") : "";
    TPiece piece;
    piece.Level = kComparison;
    piece.Shape.Operands.push_back(tested.Shape);
    switch (random_.Below(4)) {
      case 0: {
        TPiece pattern = Expression(depth - 1);
        piece.Shape =
            Operator(nkPredicate, negated ? op::NotLike : op::Like, negated ? "NOT LIKE" : "LIKE");
        piece.Shape.Operands = {tested.Shape, pattern.Shape};
        const std::string like = Keyword("LIKE");
        piece.Text = negated ? Join({testedText, notWord, like, At(pattern, kComparison)})
                             : Join({testedText, like, At(pattern, kComparison)});
        return piece;
      }
      case 1: {
        TPiece low = Expression(depth - 1);
        TPiece high = Expression(depth - 1);
        piece.Shape = Operator(nkPredicate, negated ? op::NotBetween : op::Between,
                               negated ? "NOT BETWEEN" : "BETWEEN");
        piece.Shape.Operands = {tested.Shape, low.Shape, high.Shape};
        const std::string between = Keyword("BETWEEN");
        const std::string rest =
            Join({between, At(low, kComparison), Keyword("AND"), At(high, kComparison)});
        piece.Text = negated ? Join({testedText, notWord, rest}) : Join({testedText, rest});
        return piece;
      }
      case 2: {
        piece.Shape =
            Operator(nkPredicate, negated ? op::NotIn : op::In, negated ? "NOT IN" : "IN");
        piece.Shape.Operands = {tested.Shape};
        std::string list = "(";
        const int count = 1 + random_.Below(3);
        for (int i = 0; i < count; ++i) {
          TPiece value = Expression(depth - 1);
          piece.Shape.Operands.push_back(value.Shape);
          list = i == 0 ? Join({list, At(value, kComparison)})
                        : Join({list, ",", At(value, kComparison)});
        }
        list = Join({list, ")"});
        const std::string in = Keyword("IN");
        piece.Text = negated ? Join({testedText, notWord, in, list}) : Join({testedText, in, list});
        return piece;
      }
      default: {
        // IS [NOT] NULL: an "=" or "<>" against a NULL constant.
        piece.Shape = Operator(nkBinary, negated ? op::NotEqual : op::Equal, std::nullopt);
        TShape null;
        null.Kind = nkConstant;
        null.Null = true;
        piece.Shape.Operands = {tested.Shape, null};
        piece.Text = negated ? Join({testedText, Keyword("IS"), notWord, Keyword("NULL")})
                             : Join({testedText, Keyword("IS"), Keyword("NULL")});
        return piece;
      }
    }
  }

  // kind 0: + or -, 1: ||, 2: * or /.
  TPiece Binary(int depth, int kind) {
    const bool first = random_.Chance(50);
    std::uint8_t code;
    std::string text, written;
    if (kind == 0) {
      code = first ? op::Add : op::Subtract;
      text = written = first ? "+" : "-";
    } else if (kind == 1) {
      code = op::Add;
      text = "||";
      written = "|" + Blank('|', '|') + "|";
    } else {
      code = first ? op::Multiply : op::Divide;
      text = written = first ? "*" : "/";
    }
    const int leftLevel = kind == 2 ? kUnary : kMultiplicative;
    const int level = kind == 2 ? kMultiplicative : kAdditive;
    TPiece left = Expression(depth - 1);
    TPiece right = Expression(depth - 1);
    TPiece piece;
    piece.Shape = Operator(nkBinary, code, text);
    piece.Shape.Operands = {left.Shape, right.Shape};
    piece.Text = Join({At(left, leftLevel), written, At(right, level)});
    piece.Level = level;
    return piece;
  }

  TPiece Unary(int depth) {
    const int which = random_.Below(3);
    static const std::uint8_t codes[] = {op::Not, op::Negate, op::Plus};
    static const char* texts[] = {"NOT", "-", "+"};
    TPiece operand = Expression(depth - 1);
    TPiece piece;
    piece.Shape = Operator(nkUnary, codes[which], texts[which]);
    piece.Shape.Operands = {operand.Shape};
    piece.Text = Join({which == 0 ? Keyword("NOT") : texts[which], At(operand, kPrimary)});
    piece.Level = kUnary;
    return piece;
  }

  TPiece Function(int depth) {
    TPiece piece;
    piece.Level = kPrimary;
    switch (random_.Below(5)) {
      case 0: {
        struct TAggregate {
          const char* name;
          std::uint8_t code;
        };
        static const std::vector<TAggregate> aggregates = {{"SUM", op::Sum},
                                                           {"AVG", op::Avg},
                                                           {"MIN", op::Min},
                                                           {"MAX", op::Max},
                                                           {"COUNT", op::Count}};
        const TAggregate& a = random_.Pick(aggregates);
        TPiece argument = Expression(depth - 1);
        piece.Shape = Operator(nkFunction, a.code, a.name);
        piece.Shape.Operands = {argument.Shape};
        piece.Text = Join({Keyword(a.name, false), "(", At(argument, kAdditive), ")"});
        return piece;
      }
      case 1: {
        const bool upper = random_.Chance(50);
        TPiece argument = Expression(depth - 1);
        piece.Shape =
            Operator(nkFunction, upper ? op::Upper : op::Lower, upper ? "UPPER" : "LOWER");
        piece.Shape.Operands = {argument.Shape};
        piece.Text =
            Join({Keyword(upper ? "UPPER" : "LOWER", false), "(", At(argument, kAdditive), ")"});
        return piece;
      }
      case 2: {
        TPiece source = Expression(depth - 1);
        TPiece from = Expression(depth - 1);
        piece.Shape = Operator(nkFunction, op::Substring, "SUBSTRING");
        piece.Shape.Operands = {source.Shape, from.Shape};
        std::string text = Join({Keyword("SUBSTRING", false), "(", At(source, kAdditive),
                                 Keyword("FROM"), At(from, kPrimary)});
        if (random_.Chance(50)) {
          TPiece count = Expression(depth - 1);
          piece.Shape.Operands.push_back(count.Shape);
          text = Join({text, Keyword("FOR"), At(count, kPrimary)});
        }
        piece.Text = Join({text, ")"});
        return piece;
      }
      case 3: {
        static const std::uint8_t codes[] = {op::TrimLeading, op::TrimTrailing, op::TrimBoth};
        static const char* words[] = {"LEADING", "TRAILING", "BOTH"};
        const int which = random_.Below(3);
        TPiece character = Expression(depth - 1);
        TPiece source = Expression(depth - 1);
        piece.Shape = Operator(nkFunction, codes[which], "TRIM");
        piece.Shape.Operands = {source.Shape, character.Shape};
        piece.Text = Join({Keyword("TRIM", false), "(", Keyword(words[which]),
                           At(character, kPrimary), Keyword("FROM"), At(source, kAdditive), ")"});
        return piece;
      }
      default: {
        static const std::uint8_t codes[] = {op::ExtractYear, op::ExtractMonth, op::ExtractDay};
        static const char* words[] = {"YEAR", "MONTH", "DAY"};
        const int which = random_.Below(3);
        TPiece source = Expression(depth - 1);
        piece.Shape = Operator(nkFunction, codes[which], "EXTRACT");
        piece.Shape.Operands = {source.Shape};
        piece.Text = Join({Keyword("EXTRACT", false), "(", Keyword(words[which]), Keyword("FROM"),
                           At(source, kPrimary), ")"});
        return piece;
      }
    }
  }

  TRandom random_;
  int parameters_ = 0;
};

// Compares a parsed node with the shape; the first difference fails the
// test with its path. Parameters found are put at their index.
class TShapeMatcher {
 public:
  TShapeMatcher(const std::string& source, int parameters)
      : source_(source), parameters_(parameters, nullptr) {}

  bool Match(const TShape& shape, const TQueryExprNode* node, const std::string& path) {
    if (node == nullptr) return Fail(path, "missing node");
    if (node->Kind != shape.Kind)
      return Fail(
          path, "kind " + std::to_string(node->Kind) + ", expected " + std::to_string(shape.Kind));
    if (shape.Text && node->Text != *shape.Text)
      return Fail(path, "text '" + node->Text + "', expected '" + *shape.Text + "'");
    switch (shape.Kind) {
      case nkColumn:
        if (node->ColumnName != shape.Column || node->TableName != shape.Table)
          return Fail(path, "column " + node->TableName + "|" + node->ColumnName);
        return NoOperands(node, path);
      case nkConstant:
        return MatchConstant(shape, *node, path) && NoOperands(node, path);
      default:
        break;
    }
    if (node->OpCode != shape.Code)
      return Fail(path, "opcode " + std::to_string(node->OpCode) + ", expected " +
                            std::to_string(shape.Code));
    const std::vector<TShape>& operands = shape.Operands;
    if (!Match(operands.at(0), node->Left.get(), path + ".L")) return false;
    if (shape.Kind == nkUnary) return node->Right == nullptr || Fail(path, "unary with Right");
    const TQueryExprNode* argument = node->Right.get();
    for (std::size_t i = 1; i < operands.size(); ++i) {
      const std::string at = path + ".R" + std::to_string(i);
      if (!Match(operands[i], argument, at)) return false;
      if (shape.Kind == nkBinary) return argument->Next == nullptr || Fail(at, "binary Next");
      argument = argument->Next.get();
    }
    if (argument != nullptr) return Fail(path, "more arguments than expected");
    if (operands.size() == 1 && node->Right != nullptr) return Fail(path, "unexpected Right");
    return true;
  }

  const std::vector<const TQueryExprNode*>& Parameters() const { return parameters_; }

 private:
  bool NoOperands(const TQueryExprNode* node, const std::string& path) {
    if (node->Left || node->Right) return Fail(path, "a leaf with operands");
    return true;
  }
  bool MatchConstant(const TShape& shape, const TQueryExprNode& node, const std::string& path) {
    const TValue& v = node.Value;
    if (v.Type != shape.Type)
      return Fail(path,
                  "type " + std::to_string(v.Type) + ", expected " + std::to_string(shape.Type));
    if (node.IsParameter != shape.Parameter) return Fail(path, "parameter flag");
    if (shape.Parameter) parameters_.at(shape.ParameterIndex) = &node;
    if (shape.AnyValue) return true;
    if (v.Null != shape.Null) return Fail(path, "null flag");
    if (shape.Null) return true;
    switch (shape.Type) {
      case ftype::Integer:
      case ftype::Boolean:
        if (v.Integer != shape.Integer)
          return Fail(path, "value " + std::to_string(v.Integer) + ", expected " +
                                std::to_string(shape.Integer));
        return true;
      case ftype::Float:
        if (v.Real != shape.Real) return Fail(path, "value " + Describe(v));
        return true;
      default:
        if (v.Text != shape.String)
          return Fail(path, "value '" + v.Text + "', expected '" + shape.String + "'");
        return true;
    }
  }
  bool Fail(const std::string& path, const std::string& what) {
    ADD_FAILURE() << "at " << path << ": " << what << "\n  in: " << source_;
    return false;
  }

  const std::string& source_;
  std::vector<const TQueryExprNode*> parameters_;
};

TEST(ExpressionProperty, WrittenTreesParseBackToTheSameTree) {
  const EngineScope engine;
  const int cases = CaseCount(3000);
  int failures = 0;
  for (int i = 0; i < cases && failures < 5; ++i) {
    TTreeWriter writer(0x5EED0000u + i);
    const TPiece piece = writer.Expression(1 + i % 5);
    TParameterList parameters;
    TExprTree tree;
    const std::string message = SqlMessageOf(
        [&] { tree = ParseText(piece.Text, kAllParseFlags, kClauseCondition, &parameters); });
    if (message != "(no error)") {
      ADD_FAILURE() << "case " << i << " refused: " << message << "\n  in: " << piece.Text;
      ++failures;
      continue;
    }
    TShapeMatcher matcher(piece.Text, writer.Parameters());
    if (!matcher.Match(piece.Shape, tree.get(), "root") || tree->Next != nullptr) {
      ++failures;
      continue;
    }
    const std::vector<const TQueryExprNode*> listed(parameters.begin(), parameters.end());
    if (listed != matcher.Parameters()) {
      ADD_FAILURE() << "case " << i << ": parameters out of order\n  in: " << piece.Text;
      ++failures;
    }
  }
}

// ===========================================================================
// Evaluation against a reference.

using namespace ftype;

constexpr double kPerDay = 86400000.0;

// Day numbers (1 = 1 January of year 1) from and to a civil date, by the
// usual era arithmetic.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719163;  // days since 1970, then from year 1
}
void CivilFromDays(std::int64_t n, std::int64_t& y, int& m, int& d) {
  const std::int64_t z = n - 719163 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

// A value as the rules see it.
struct TRef {
  std::uint8_t Type = 0;
  bool Null = true;
  std::int64_t Integer = 0;  // integer kinds, date, time, boolean; BCD in 1/10000
  double Real = 0;           // float, timestamp
  std::string Text;
  int Decimals = 0;  // BCD
};

TRef NullRef(std::uint8_t type, int decimals = 0) {
  TRef r;
  r.Type = type;
  r.Decimals = decimals;
  return r;
}
TRef IntegerRef(std::uint8_t type, std::int64_t value) {
  TRef r = NullRef(type);
  r.Null = false;
  r.Integer = value;
  return r;
}
TRef RealRef(std::uint8_t type, double value) {
  TRef r = NullRef(type);
  r.Null = false;
  r.Real = value;
  return r;
}
TRef TextRef(std::string text) {
  TRef r = NullRef(String);
  r.Null = false;
  r.Text = std::move(text);
  return r;
}
TRef BoolRef(bool value) {
  return IntegerRef(ftype::Boolean, value ? 1 : 0);
}

std::int64_t Wrap32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFF));
}
// Numbers as plain values; BCD as its amount.
double Numeric(const TRef& r) {
  if (r.Type == Float || r.Type == TimeStamp) return r.Real;
  if (r.Type == Bcd) return static_cast<double>(r.Integer) / 10000;
  return static_cast<double>(r.Integer);
}
// Rounds numerator / denominator half away from zero.
__int128 RoundedQuotient(__int128 numerator, __int128 denominator) {
  if (denominator < 0) numerator = -numerator, denominator = -denominator;
  const __int128 twice = 2 * numerator + (numerator >= 0 ? denominator : -denominator);
  return twice / (2 * denominator);
}
// An operand of BCD arithmetic in 1/10000 units.
__int128 Amount(const TRef& r) {
  if (r.Type == Bcd) return r.Integer;
  if (r.Type == Float) return static_cast<__int128>(std::llround(r.Real * 10000));
  return static_cast<__int128>(r.Integer) * 10000;
}

// -1, 0, 1 for two non-null values that may be compared.
int Order(const TRef& a, const TRef& b) {
  const auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (a.Type == String) {
    const std::size_t n = std::min(a.Text.size(), b.Text.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto x = static_cast<unsigned char>(a.Text[i]);
      const auto y = static_cast<unsigned char>(b.Text[i]);
      if (x != y) return sign(x, y);
    }
    return sign(a.Text.size(), b.Text.size());
  }
  const bool aStamp = a.Type == TimeStamp || a.Type == Date;
  if (aStamp && (b.Type == TimeStamp || b.Type == Date)) {
    const double x = a.Type == Date ? a.Integer * kPerDay : a.Real;
    const double y = b.Type == Date ? b.Integer * kPerDay : b.Real;
    return sign(x, y);
  }
  if (a.Type == Bcd || b.Type == Bcd) {
    // The other number scaled by 10 000.
    const auto scaled = [](const TRef& r) -> long double {
      if (r.Type == Bcd) return static_cast<long double>(r.Integer);
      if (r.Type == Float) return static_cast<long double>(r.Real) * 10000;
      return static_cast<long double>(r.Integer) * 10000;
    };
    return sign(scaled(a), scaled(b));
  }
  if (a.Type == Float || b.Type == Float) return sign(Numeric(a), Numeric(b));
  return sign(a.Integer, b.Integer);
}
bool Equal(const TRef& a, const TRef& b) {
  if (a.Null || b.Null) return a.Null && b.Null;
  return Order(a, b) == 0;
}
bool IsTrue(const TRef& r) {
  return !r.Null && r.Integer != 0;
}

// `l op r` for a checked pair whose result has `type` and `decimals`.
TRef Arithmetic(char op, std::uint8_t type, int decimals, const TRef& l, const TRef& r) {
  TRef result = NullRef(type, decimals);
  if (l.Null || r.Null) return result;
  result.Null = false;
  switch (type) {
    case String:
      result.Text = (l.Text + r.Text).substr(0, 250);
      return result;
    case Float: {
      const double a = l.Type == TimeStamp ? l.Real : Numeric(l);
      const double b = r.Type == TimeStamp ? r.Real : Numeric(r);
      if (op == '/' && b == 0) return NullRef(type);
      result.Real = op == '+' ? a + b : op == '-' ? a - b : op == '*' ? a * b : a / b;
      return result;
    }
    case Bcd: {
      const __int128 a = Amount(l), b = Amount(r);
      static const std::int64_t steps[] = {10000, 1000, 100, 10, 1};
      const std::int64_t step = steps[std::min(decimals, 4)];
      __int128 exactNumerator = 0, exactDenominator = 1;  // in 1/10000 units
      switch (op) {
        case '+':
          exactNumerator = a + b;
          break;
        case '-':
          exactNumerator = a - b;
          break;
        case '*':
          exactNumerator = a * b, exactDenominator = 10000;
          break;
        default:
          if (b == 0) return NullRef(type, decimals);
          exactNumerator = a * 10000, exactDenominator = b;
          break;
      }
      result.Integer = static_cast<std::int64_t>(
          RoundedQuotient(exactNumerator, exactDenominator * step) * step);
      return result;
    }
    case Date:
    case Time:
      // Days or milliseconds, the moving operand on either side.
      result.Integer = Wrap32(op == '-' ? l.Integer - r.Integer : l.Integer + r.Integer);
      return result;
    case TimeStamp: {
      const bool stampLeft = l.Type == TimeStamp;
      const double stamp = stampLeft ? l.Real : r.Real;
      const double days = static_cast<double>(stampLeft ? r.Integer : l.Integer);
      result.Real = op == '-' ? stamp - days * kPerDay : stamp + days * kPerDay;
      return result;
    }
    default:  // Integer or Word
      if (l.Type == TimeStamp && r.Type == Date) {
        result.Integer = static_cast<std::int64_t>(std::floor(l.Real / kPerDay)) - r.Integer;
        return result;
      }
      if (op == '+') result.Integer = Wrap32(l.Integer + r.Integer);
      if (op == '-') result.Integer = Wrap32(l.Integer - r.Integer);
      if (op == '*') result.Integer = Wrap32(l.Integer * r.Integer);
      return result;
  }
}

bool Like(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty();
  if (text.empty()) return pattern == "%";
  if (pattern[0] == '%') return Like(text, pattern.substr(1)) || Like(text.substr(1), pattern);
  return (pattern[0] == '_' || pattern[0] == text[0]) && Like(text.substr(1), pattern.substr(1));
}

// A generated expression: its text, grammar level, and the value the rules
// give it over the record.
struct TTerm {
  std::string Text;
  int Level = kPrimary;
  TRef Value;
};

// One column of each name; the first letter tells the type.
struct TRecordColumn {
  const char* Name;
  std::uint8_t Type;
  std::uint16_t Size;
  std::uint8_t SubType;
  std::uint8_t Decimals;
};
const std::vector<TRecordColumn>& RecordColumns() {
  static const std::vector<TRecordColumn> columns = {{"S1", String, 31, 0, 0},
                                                     {"S2", String, 31, 0, 0},
                                                     {"D1", Date, 4, 0, 0},
                                                     {"D2", Date, 4, 0, 0},
                                                     {"T1", Time, 4, 0, 0},
                                                     {"T2", Time, 4, 0, 0},
                                                     {"P1", TimeStamp, 8, 0, 0},
                                                     {"P2", TimeStamp, 8, 0, 0},
                                                     {"B1", ftype::Boolean, 2, 0, 0},
                                                     {"B2", ftype::Boolean, 2, 0, 0},
                                                     {"H1", SmallInt, 2, 0, 0},
                                                     {"H2", SmallInt, 2, 0, 0},
                                                     {"I1", Integer, 4, 0, 0},
                                                     {"I2", Integer, 4, 0, 0},
                                                     {"F1", Float, 8, 0, 0},
                                                     {"F2", Float, 8, 0, 0},
                                                     {"M1", Float, 8, fsubtype::Money, 0},
                                                     {"C1", Bcd, 8, 0, 2},
                                                     {"C2", Bcd, 8, 0, 4},
                                                     {"W1", Word, 2, 0, 0},
                                                     {"W2", Word, 2, 0, 0}};
  return columns;
}

const std::vector<std::uint8_t> kAllTypes = {String,   Date,    Time,  TimeStamp, ftype::Boolean,
                                             SmallInt, Integer, Float, Bcd,       Word};
const std::vector<std::uint8_t> kIntTypes = {SmallInt, Integer, Word};
const std::vector<std::uint8_t> kNumberTypes = {SmallInt, Integer, Word, Float, Bcd};

class TTypedWriter {
 public:
  TTypedWriter(std::uint64_t seed, const std::map<std::string, TRef>& record)
      : random_(seed), record_(record) {}

  // An expression of type `type`.
  TTerm Of(std::uint8_t type, int depth) {
    if (depth <= 0 || random_.Chance(25)) return Leaf(type);
    for (int attempt = 0; attempt < 6; ++attempt) {
      std::optional<TTerm> term = Compound(type, depth);
      if (term && Sane(term->Value)) {
        Note(*term);
        return *term;
      }
    }
    return Leaf(type);
  }

  // Every compound expression made, in the order made (inner ones first).
  const std::vector<TTerm>& Made() const { return made_; }

 private:
  void Note(const TTerm& term) { made_.push_back(term); }

  // Values far outside what a record holds are not generated: dates outside
  // the calendar, amounts near the 64-bit range.
  static bool Sane(const TRef& v) {
    if (v.Null) return true;
    switch (v.Type) {
      case Date:
        return v.Integer >= 1 && v.Integer <= 3652059;
      case TimeStamp:
        return v.Real >= kPerDay && v.Real <= 3652059 * kPerDay;
      case Bcd:
        return v.Integer > -1000000000000000 && v.Integer < 1000000000000000;
      case Float:
        return std::isfinite(v.Real) && std::fabs(v.Real) < 1e13;
      default:
        return true;
    }
  }

  std::string At(const TTerm& term, int level) {
    return term.Level >= level ? term.Text : "(" + term.Text + ")";
  }

  std::string ColumnOf(std::uint8_t type, std::uint8_t* subType = nullptr) {
    std::vector<const TRecordColumn*> fits;
    for (const TRecordColumn& entry : RecordColumns())
      if (entry.Type == type) fits.push_back(&entry);
    const TRecordColumn* entry = random_.Pick(fits);
    if (subType != nullptr) *subType = entry->SubType;
    return entry->Name;
  }

  std::string LiteralText() {
    static const std::string alphabet = "abcxyzABC '";
    std::string value;
    const int length = 1 + random_.Below(6);
    for (int i = 0; i < length; ++i) value += alphabet[random_.Below(alphabet.size())];
    return value;
  }
  static std::string Quoted(const std::string& value) {
    std::string text = "'";
    for (char c : value) {
      text += c;
      if (c == '\'') text += c;
    }
    return text + "'";
  }

  // A constant of `type`, as predicate values and literals take it.
  TTerm ConstantOf(std::uint8_t type) {
    TTerm term;
    if (random_.Chance(8)) {
      term.Text = "NULL";
      term.Value = NullRef(0);
      return term;
    }
    switch (type) {
      case String:
        if (random_.Chance(10)) {
          term.Text = "''";
          term.Value = NullRef(String);
          return term;
        }
        {
          const std::string value = LiteralText();
          term.Text = Quoted(value);
          term.Value = TextRef(value);
        }
        return term;
      case ftype::Boolean: {
        const bool truth = random_.Chance(50);
        term.Text = truth ? "TRUE" : "FALSE";
        term.Value = BoolRef(truth);
        return term;
      }
      case Date:
      case Time:
      case TimeStamp:
        return DateLiteral(type);
      default: {
        if (random_.Chance(40)) {
          // A negative constant is a minus in front of one.
          const int whole = random_.Below(2000) - 1000;
          char digits[32];
          std::snprintf(digits, sizeof digits, "%d.%02d", std::abs(whole), random_.Below(100));
          const double magnitude = std::strtod(digits, nullptr);
          term.Text = (whole < 0 ? "-" : "") + std::string(digits);
          term.Value = RealRef(Float, whole < 0 ? -magnitude : magnitude);
          return term;
        }
        const int value = random_.Below(2000) - 1000;
        term.Text = value < 0 ? "-" + std::to_string(-value) : std::to_string(value);
        term.Value = IntegerRef(Integer, value);
        return term;
      }
    }
  }

  // A quoted date, time or timestamp in the built-in formats.
  TTerm DateLiteral(std::uint8_t type) {
    const int year = 1950 + random_.Below(100), month = 1 + random_.Below(12),
              day = 1 + random_.Below(28);
    const int hour = random_.Below(24), minute = random_.Below(60), second = random_.Below(60);
    const std::string date =
        std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
    char time[16];
    std::snprintf(time, sizeof time, "%d:%02d:%02d", hour, minute, second);
    const double ms = ((hour * 60.0 + minute) * 60 + second) * 1000;
    TTerm term;
    if (type == Date) {
      term.Text = "'" + date + "'";
      term.Value = IntegerRef(Date, DaysFromCivil(year, month, day));
    } else if (type == Time) {
      term.Text = "'" + std::string(time) + "'";
      term.Value = IntegerRef(Time, static_cast<std::int64_t>(ms));
    } else {
      term.Text = "'" + date + " " + time + "'";
      term.Value = RealRef(TimeStamp, DaysFromCivil(year, month, day) * kPerDay + ms);
    }
    return term;
  }

  TTerm Leaf(std::uint8_t type) {
    TTerm term;
    const bool literal = random_.Chance(30);
    if (literal && type == Integer) {
      const std::int64_t value =
          random_.Chance(80) ? random_.Below(500) : random_.Between(0, 2147483647);
      term.Text = std::to_string(value);
      term.Value = IntegerRef(Integer, value);
      return term;
    }
    if (literal && type == Float) {
      term.Text = std::to_string(random_.Below(1000)) + "." + std::to_string(random_.Below(10));
      term.Value = RealRef(Float, std::strtod(term.Text.c_str(), nullptr));
      return term;
    }
    if (literal && type == String) {
      if (random_.Chance(15)) {
        term.Text = "''";
        term.Value = NullRef(String);
        return term;
      }
      const std::string value = LiteralText();
      term.Text = Quoted(value);
      term.Value = TextRef(value);
      return term;
    }
    if (literal && type == ftype::Boolean) {
      const bool truth = random_.Chance(50);
      term.Text = random_.Chance(50) ? (truth ? "TRUE" : "FALSE") : (truth ? "'true'" : "'False'");
      term.Value = BoolRef(truth);
      return term;
    }
    term.Text = ColumnOf(type);
    term.Value = record_.at(term.Text);
    return term;
  }

  // A term built from `left op right` with the result type and level.
  TTerm Combine(char op, const TTerm& left, const TTerm& right, std::uint8_t type) {
    TTerm term;
    const int leftLevel = op == '*' || op == '/' ? kUnary : kMultiplicative;
    term.Level = op == '*' || op == '/' ? kMultiplicative : kAdditive;
    const std::string written = op == '|' ? "||" : std::string(1, op);
    term.Text = At(left, leftLevel) + " " + written + " " + At(right, term.Level);
    const int decimals = std::max(left.Value.Decimals, right.Value.Decimals);
    term.Value = Arithmetic(op == '|' ? '+' : op, type, decimals, left.Value, right.Value);
    return term;
  }

  TTerm Negated(const TTerm& operand, bool minus) {
    TTerm term;
    term.Text = std::string(minus ? "-" : "+") + At(operand, kPrimary);
    term.Level = kUnary;
    TRef v = operand.Value;
    if (minus && !v.Null) {
      if (v.Type == Float || v.Type == TimeStamp) {
        v.Real = -v.Real;
      } else if (v.Type == Bcd) {
        v.Integer = -v.Integer;
      } else {
        v.Integer = Wrap32(-v.Integer);
      }
    }
    term.Value = v;
    return term;
  }

  std::optional<TTerm> Compound(std::uint8_t type, int depth) {
    const int d = depth - 1;
    switch (type) {
      case ftype::Boolean:
        return Condition(d);
      case String:
        return Text(d);
      case SmallInt:
        return Negated(Of(SmallInt, d), random_.Chance(70));
      case Word:
        if (random_.Chance(30)) return Negated(Of(Word, d), false);
        return Combine('-', Of(Word, d), Of(random_.Pick(kIntTypes), d), Word);
      case Integer:
        switch (random_.Below(7)) {
          case 0:
          case 1: {
            static const char ops[] = {'+', '-', '*'};
            const char op = ops[random_.Below(3)];
            const std::uint8_t left =
                op == '-' ? (random_.Chance(50) ? SmallInt : Integer) : random_.Pick(kIntTypes);
            return Combine(op, Of(left, d), Of(random_.Pick(kIntTypes), d), Integer);
          }
          case 2: {
            const std::uint8_t left =
                random_.Pick(std::vector<std::uint8_t>{Date, Time, TimeStamp});
            const std::uint8_t right = left == TimeStamp ? Date : left;
            return Difference(left, right, Integer, d);
          }
          case 3:
            return Extract(d);
          case 4:
            return Negated(Of(Integer, d), random_.Chance(70));
          default:
            return Combine('+', Of(Integer, d), Of(random_.Pick(kIntTypes), d), Integer);
        }
      case Float: {
        switch (random_.Below(6)) {
          case 0:
            return Difference(TimeStamp, TimeStamp, Float, d);
          case 1:
            return Combine(
                '/', Of(random_.Pick(kIntTypes), d),
                Of(random_.Pick(std::vector<std::uint8_t>{SmallInt, Integer, Word, Float}), d),
                Float);
          case 2:
            return Negated(Of(Float, d), true);
          default: {
            // A float on one side, any number on the other.
            static const char ops[] = {'+', '-', '*', '/'};
            const char op = ops[random_.Below(4)];
            const std::uint8_t other = random_.Pick(kNumberTypes);
            if (random_.Chance(50)) return Combine(op, Of(Float, d), Of(other, d), Float);
            return Combine(op, Of(other, d), Of(Float, d), Float);
          }
        }
      }
      case Bcd: {
        static const char ops[] = {'+', '-', '*', '/'};
        const char op = ops[random_.Below(4)];
        switch (random_.Below(4)) {
          case 0:
            return Negated(Of(Bcd, d), true);
          case 1:
            return Combine(op, Of(random_.Pick(kIntTypes), d), Of(Bcd, d), Bcd);
          default:
            return Combine(
                op, Of(Bcd, d),
                Of(random_.Pick(std::vector<std::uint8_t>{SmallInt, Integer, Word, Bcd}), d), Bcd);
        }
      }
      case Date:
      case Time:
      case TimeStamp: {
        const std::uint8_t days = random_.Pick(kIntTypes);
        switch (random_.Below(3)) {
          case 0:
            return Combine('+', Of(days, d), Of(type, d), type);
          case 1:
            return Combine('-', Of(type, d), Of(days, d), type);
          default:
            return Combine('+', Of(type, d), Of(days, d), type);
        }
      }
      default:
        return std::nullopt;
    }
  }

  // left - right of two date kinds; either side may be a quoted literal,
  // which takes the type of the other side.
  TTerm Difference(std::uint8_t left, std::uint8_t right, std::uint8_t type, int d) {
    const int literal = left == right ? random_.Below(3) : 0;  // 0 none, 1 left, 2 right
    const TTerm l = literal == 1 ? DateLiteral(left) : Of(left, d);
    const TTerm r = literal == 2 ? DateLiteral(right) : Of(right, d);
    return Combine('-', l, r, type);
  }

  TTerm Extract(int d) {
    static const char* parts[] = {"YEAR", "MONTH", "DAY"};
    const int part = random_.Below(3);
    const TTerm source = Of(random_.Chance(50) ? Date : TimeStamp, d);
    TTerm term;
    term.Text = std::string("EXTRACT(") + parts[part] + " FROM " + At(source, kPrimary) + ")";
    term.Value = NullRef(Integer);
    if (!source.Value.Null) {
      const std::int64_t day =
          source.Value.Type == Date
              ? source.Value.Integer
              : static_cast<std::int64_t>(std::floor(source.Value.Real / kPerDay));
      std::int64_t y;
      int m, dd;
      CivilFromDays(day, y, m, dd);
      term.Value = IntegerRef(Integer, part == 0 ? y : part == 1 ? m : dd);
    }
    return term;
  }

  TTerm Text(int d) {
    TTerm term;
    const TTerm source = Of(String, d);
    const TRef& s = source.Value;
    switch (random_.Below(4)) {
      case 0:
        return Combine(random_.Chance(50) ? '+' : '|', source, Of(String, d), String);
      case 1: {
        const bool upper = random_.Chance(50);
        term.Text = std::string(upper ? "UPPER(" : "LOWER(") + At(source, kAdditive) + ")";
        term.Value = s;
        for (char& c : term.Value.Text) {
          if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
          if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return term;
      }
      case 2: {
        const int from = 1 + random_.Below(8);
        const bool count = random_.Chance(50);
        const int length = 1 + random_.Below(6);
        term.Text = "SUBSTRING(" + At(source, kAdditive) + " FROM " + std::to_string(from) +
                    (count ? " FOR " + std::to_string(length) : "") + ")";
        term.Value = s;
        if (!s.Null)
          term.Value.Text = static_cast<std::size_t>(from) > s.Text.size()
                                ? ""
                                : s.Text.substr(from - 1, count ? length : std::string::npos);
        return term;
      }
      default: {
        static const char* kinds[] = {"LEADING", "TRAILING", "BOTH"};
        const int kind = random_.Below(3);
        const char c = std::string("ax '")[random_.Below(4)];
        term.Text = std::string("TRIM(") + kinds[kind] + " " + Quoted(std::string(1, c)) +
                    " FROM " + At(source, kAdditive) + ")";
        term.Value = s;
        if (!s.Null) {
          std::size_t first = 0, last = s.Text.size();
          if (kind != 1)
            while (first < last && s.Text[first] == c) ++first;
          if (kind != 0)
            while (last > first && s.Text[last - 1] == c) --last;
          term.Value.Text = s.Text.substr(first, last - first);
        }
        return term;
      }
    }
  }

  // A type that meets `type` under "=" (ordering: `ordering`).
  std::uint8_t Partner(std::uint8_t type) {
    if (IsNumberKind(type)) return random_.Pick(kNumberTypes);
    if (type == Date || type == TimeStamp) return random_.Chance(50) ? Date : TimeStamp;
    return type;
  }

  TTerm Condition(int d) {
    TTerm term;
    term.Level = kComparison;
    switch (random_.Below(9)) {
      case 0:
      case 1: {
        const bool conjunction = random_.Chance(50);
        const TTerm l = Of(ftype::Boolean, d), r = Of(ftype::Boolean, d);
        term.Text = At(l, kComparison) + (conjunction ? " AND " : " OR ") + At(r, kLogical);
        term.Level = kLogical;
        term.Value = BoolRef(conjunction ? IsTrue(l.Value) && IsTrue(r.Value)
                                         : IsTrue(l.Value) || IsTrue(r.Value));
        return term;
      }
      case 2: {
        const TTerm operand = Of(ftype::Boolean, d);
        term.Text = "NOT " + At(operand, kPrimary);
        term.Level = kUnary;
        term.Value = BoolRef(!IsTrue(operand.Value));
        return term;
      }
      case 3:
      case 4: {
        // A comparison of two compatible types.
        std::uint8_t left = random_.Pick(kAllTypes);
        static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
        const int which = left == ftype::Boolean ? random_.Below(2) : random_.Below(6);
        const std::uint8_t right = Partner(left);
        TTerm l = Of(left, d), r = Of(right, d);
        if (IsDateKind(left) && random_.Chance(30)) {
          // A quoted literal beside a date kind takes its type.
          if (random_.Chance(50)) {
            r = DateLiteral(left);
          } else {
            l = DateLiteral(right);
          }
        }
        term.Text = At(l, kAdditive) + " " + ops[which] + " " + At(r, kComparison);
        const TRef& a = l.Value;
        const TRef& b = r.Value;
        const bool both = !a.Null && !b.Null;
        switch (which) {
          case 0:
            term.Value = BoolRef(Equal(a, b));
            break;
          case 1:
            term.Value = BoolRef(!Equal(a, b));
            break;
          case 2:
            term.Value = BoolRef(both && Order(a, b) < 0);
            break;
          case 3:
            term.Value = BoolRef(both && Order(a, b) > 0);
            break;
          case 4:
            term.Value = BoolRef(both && Order(a, b) <= 0);
            break;
          default:
            term.Value = BoolRef(both && Order(a, b) >= 0);
            break;
        }
        return term;
      }
      case 5: {
        // Against NULL: IS [NOT] NULL, = NULL, NULL <> x ...
        const TTerm x = Of(random_.Pick(kAllTypes), d);
        const bool negated = random_.Chance(50);
        switch (random_.Below(3)) {
          case 0:
            term.Text = At(x, kAdditive) + (negated ? " IS NOT NULL" : " IS NULL");
            break;
          case 1:
            term.Text = At(x, kAdditive) + (negated ? " <> NULL" : " = NULL");
            break;
          default:
            term.Text = std::string(negated ? "NULL <> " : "NULL = ") + At(x, kComparison);
            break;
        }
        term.Value = BoolRef(x.Value.Null != negated);
        return term;
      }
      case 6: {
        const TTerm x = Of(String, d);
        static const std::string alphabet = "abcA %_";
        std::string pattern;
        const int length = random_.Below(6);
        for (int i = 0; i < length; ++i) pattern += alphabet[random_.Below(alphabet.size())];
        const bool negated = random_.Chance(40);
        term.Text = At(x, kAdditive) + (negated ? " NOT LIKE " : " LIKE ") + Quoted(pattern);
        const bool matches = !x.Value.Null && !pattern.empty() && Like(x.Value.Text, pattern);
        term.Value = BoolRef(matches != negated);
        return term;
      }
      case 7: {
        const std::uint8_t type = random_.Pick(kAllTypes);
        const TTerm x = Of(type, d);
        const bool negated = random_.Chance(40);
        term.Text = At(x, kAdditive) + (negated ? " NOT IN (" : " IN (");
        bool found = false;
        const int count = 1 + random_.Below(4);
        for (int i = 0; i < count; ++i) {
          const TTerm value = ConstantOf(type);
          term.Text += (i ? ", " : "") + value.Text;
          found = found || Equal(x.Value, value.Value);
        }
        term.Text += ")";
        term.Value = BoolRef(found != negated);
        return term;
      }
      default: {
        const std::uint8_t type = random_.Pick(kAllTypes);
        const TTerm x = Of(type, d);
        const TTerm low = ConstantOf(type), high = ConstantOf(type);
        const bool negated = random_.Chance(40);
        term.Text = At(x, kAdditive) + (negated ? " NOT BETWEEN " : " BETWEEN ") + low.Text +
                    " AND " + high.Text;
        const bool inside = !x.Value.Null && !low.Value.Null && !high.Value.Null &&
                            Order(x.Value, low.Value) >= 0 && Order(x.Value, high.Value) <= 0;
        term.Value = BoolRef(inside != negated);
        return term;
      }
    }
  }

  TRandom random_;
  const std::map<std::string, TRef>& record_;
  std::vector<TTerm> made_;
};

// A random record: each column NULL now and then.
std::map<std::string, TRef> RandomRecord(TRandom& random) {
  std::map<std::string, TRef> record;
  for (const TRecordColumn& entry : RecordColumns()) {
    TRef v = NullRef(entry.Type, entry.Decimals);
    if (!random.Chance(15)) {
      v.Null = false;
      switch (entry.Type) {
        case String: {
          static const std::string alphabet = "abcxyzABC '";
          const int length = 1 + random.Below(12);
          for (int i = 0; i < length; ++i) v.Text += alphabet[random.Below(alphabet.size())];
          break;
        }
        case Date:
          v.Integer =
              DaysFromCivil(1900 + random.Below(200), 1 + random.Below(12), 1 + random.Below(28));
          break;
        case Time:
          v.Integer = random.Below(86400000);
          break;
        case TimeStamp:
          v.Real =
              DaysFromCivil(1900 + random.Below(200), 1 + random.Below(12), 1 + random.Below(28)) *
                  kPerDay +
              random.Below(86400000);
          break;
        case ftype::Boolean:
          v.Integer = random.Below(2);
          break;
        case SmallInt:
          v.Integer = random.Chance(70) ? random.Between(-100, 100) : random.Between(-32768, 32767);
          break;
        case Integer:
          v.Integer = random.Chance(85) ? random.Between(-100000, 100000)
                                        : random.Between(-2147483647 - 1, 2147483647);
          break;
        case Word:
          v.Integer = random.Chance(70) ? random.Between(0, 300) : random.Between(0, 65535);
          break;
        case Float:
          v.Real = static_cast<double>(random.Between(-1000000, 1000000)) / 100;
          break;
        case Bcd:
          v.Integer = entry.Decimals == 2 ? random.Between(-10000000, 10000000) * 100
                                          : random.Between(-1000000000, 1000000000);
          break;
      }
    }
    record[entry.Name] = v;
  }
  return record;
}

TValue ToValue(const TRef& r) {
  TValue v;
  v.Type = r.Type;
  v.Null = r.Null;
  v.Integer = r.Integer;
  v.Real = r.Real;
  v.Text = r.Text;
  v.Decimals = static_cast<std::uint8_t>(r.Decimals);
  return v;
}

// Whether the engine's value agrees with the reference.
bool Agrees(const TRef& expected, const TValue& actual) {
  if (actual.Null != expected.Null) return false;
  if (expected.Type != 0 && actual.Type != expected.Type) return false;
  if (expected.Null) return true;
  switch (expected.Type) {
    case String:
      return actual.Text == expected.Text;
    case Float:
    case TimeStamp:
      return std::fabs(actual.Real - expected.Real) <=
             1e-9 * std::max(1.0, std::fabs(expected.Real));
    default:
      return actual.Integer == expected.Integer;
  }
}

std::string RefText(const TRef& r) {
  return Describe(ToValue(r));
}

TEST(ExpressionProperty, EvaluationAgreesWithTheRules) {
  std::vector<TFakeColumn> columns;
  for (const TRecordColumn& entry : RecordColumns())
    columns.push_back({entry.Name, entry.Type, entry.Size, entry.SubType, entry.Decimals});
  TFakeTable table(columns);
  const EngineScope engine;

  const int cases = CaseCount(3000);
  // The smallest failing part of each failing case, by its text with the
  // digits left out; the first few of them are shown.
  std::map<std::string, int> faults;
  int failing = 0;
  for (int i = 0; i < cases; ++i) {
    TRandom random(0xE7A10000u + i);
    const std::map<std::string, TRef> values = RandomRecord(random);
    TFakeRecord record(table);
    for (const auto& [name, value] : values) record.Set(name, ToValue(value));
    TTypedWriter writer(0xC0DE0000u + i, values);
    const std::uint8_t type = kAllTypes[i % kAllTypes.size()];
    const TTerm term = writer.Of(type, 1 + i % 4);

    // The whole expression first; when it disagrees, the smallest part that
    // disagrees on its own.
    const auto check = [&](const TTerm& t, std::string& what) {
      TValue actual;
      const std::string message =
          SqlMessageOf([&] { actual = EvaluateText(t.Text, table, record); });
      if (message != "(no error)") {
        what = "refused: " + message;
        return false;
      }
      if (Agrees(t.Value, actual)) return true;
      what = "gives " + Describe(actual) + ", expected " + RefText(t.Value);
      return false;
    };
    std::string what;
    if (check(term, what)) continue;
    ++failing;
    TTerm smallest = term;
    std::string smallestWhat = what;
    for (const TTerm& part : writer.Made()) {
      std::string partWhat;
      if (part.Text.size() < smallest.Text.size() && !check(part, partWhat)) {
        smallest = part;
        smallestWhat = partWhat;
      }
    }
    std::string signature;
    for (char c : smallest.Text)
      if (!std::isdigit(static_cast<unsigned char>(c))) signature += c;
    if (faults[signature]++ > 0 || faults.size() > 4) continue;
    std::string columnsUsed;
    for (const auto& [name, value] : values)
      if (smallest.Text.find(name) != std::string::npos)
        columnsUsed += " " + name + "=" + RefText(value);
    ADD_FAILURE() << "case " << i << ": " << smallest.Text << "\n  " << smallestWhat << "\n  with"
                  << columnsUsed << "\n  (whole case: " << term.Text << ")";
  }
  EXPECT_EQ(failing, 0) << "of " << cases << " cases";
}

}  // namespace
}  // namespace quire::testing
