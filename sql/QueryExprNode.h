#pragma once
// TQueryExprNode: one node of an expression tree of a statement, a table
// filter or a computed field. A tree owns its nodes through the operand
// links; freeing the root frees the tree.
//
// Operands: a unary node, a function and a predicate keep their operand (the
// tested value of a predicate) in Left. A binary node keeps its second
// operand in Right. A function's or predicate's further arguments start at
// Right and continue through each argument's Next link: SUBSTRING's FROM and
// FOR, TRIM's character, BETWEEN's low and high value, IN's list.
//
// The node's type is Value's type (Type, SubType, Size, Decimals); a constant
// also holds its value there, a column node the value its reader last gave.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Value.h"

namespace quire {

using TNodeKind = std::uint8_t;
inline constexpr TNodeKind nkUnary = 1;
inline constexpr TNodeKind nkBinary = 2;
inline constexpr TNodeKind nkCompare = 3;  // dataset filter compares
inline constexpr TNodeKind nkColumn = 4;
inline constexpr TNodeKind nkConstant = 5;
inline constexpr TNodeKind nkFunction = 10;
inline constexpr TNodeKind nkPredicate = 12;

// Operation codes; the numbers are shared with the binary filter format.
namespace op {
inline constexpr std::uint8_t IsNull = 1;
inline constexpr std::uint8_t IsNotNull = 2;
inline constexpr std::uint8_t Equal = 3;
inline constexpr std::uint8_t NotEqual = 4;
inline constexpr std::uint8_t Greater = 5;
inline constexpr std::uint8_t Less = 6;
inline constexpr std::uint8_t GreaterOrEqual = 7;
inline constexpr std::uint8_t LessOrEqual = 8;
inline constexpr std::uint8_t Not = 9;
inline constexpr std::uint8_t And = 10;
inline constexpr std::uint8_t Or = 11;
inline constexpr std::uint8_t Negate = 15;
inline constexpr std::uint8_t Plus = 16;
inline constexpr std::uint8_t Add = 17;
inline constexpr std::uint8_t Subtract = 18;
inline constexpr std::uint8_t Multiply = 19;
inline constexpr std::uint8_t Divide = 20;
inline constexpr std::uint8_t Sum = 23;
inline constexpr std::uint8_t Count = 24;
inline constexpr std::uint8_t Min = 25;
inline constexpr std::uint8_t Max = 26;
inline constexpr std::uint8_t Avg = 27;
inline constexpr std::uint8_t Like = 31;
inline constexpr std::uint8_t In = 32;
inline constexpr std::uint8_t Upper = 34;
inline constexpr std::uint8_t Lower = 35;
inline constexpr std::uint8_t Between = 39;
inline constexpr std::uint8_t NotBetween = 40;
inline constexpr std::uint8_t NotLike = 41;
inline constexpr std::uint8_t NotIn = 42;
inline constexpr std::uint8_t Substring = 43;
inline constexpr std::uint8_t TrimLeading = 44;
inline constexpr std::uint8_t TrimTrailing = 45;
inline constexpr std::uint8_t TrimBoth = 46;
inline constexpr std::uint8_t ExtractYear = 48;
inline constexpr std::uint8_t ExtractMonth = 49;
inline constexpr std::uint8_t ExtractDay = 50;
}  // namespace op

// Whether `code` is one of =, <>, >, <, >=, <=.
bool IsComparisonOp(std::uint8_t code);
bool IsAggregateOp(std::uint8_t code);
// < and > exchange, <= and >= exchange, = and <> stay: the operator that
// keeps the meaning when the operands change sides.
std::uint8_t MirroredComparison(std::uint8_t code);

class TSourceDataFile;

struct TQueryExprNode {
  TQueryExprNode() = default;
  // Frees the operands without recursing once per level, so that a deep
  // chain cannot exhaust the stack.
  ~TQueryExprNode();
  TQueryExprNode(const TQueryExprNode&) = delete;
  TQueryExprNode& operator=(const TQueryExprNode&) = delete;

  // The token or name the node was made from (a qualified column as
  // "table.column"), at most 255 characters; messages quote it.
  std::string Text;
  TNodeKind Kind = 0;
  std::uint8_t OpCode = 0;
  std::uint8_t IndexGrade = 0;  // 0, 1 or 2: how much an index answers
  std::uint8_t JoinKind = 0;    // 0, or the join kind that registered it

  // Column nodes: names as written, and what binding found.
  std::string ColumnName;
  std::string TableName;  // correlation name; empty when not given
  std::int16_t FieldNo = 0;
  TSourceDataFile* SourceTable = nullptr;  // not owned

  TValue Value;
  bool IsParameter = false;
  // A string constant that type checking took for the column of that name;
  // the constant's own type is kept so that it can turn back.
  bool FromString = false;
  TValue SavedString;

  // Dataset filter compares: the bytes compared (0 = all) and the case rule.
  std::uint8_t PartialLength = 0;
  bool CaseInsensitive = false;

  std::unique_ptr<TQueryExprNode> Left;
  std::unique_ptr<TQueryExprNode> Right;
  std::unique_ptr<TQueryExprNode> Next;
  TQueryExprNode* Parent = nullptr;  // the enclosing condition, not owned

  std::uint8_t Type() const { return Value.Type; }
  bool IsColumn() const { return Kind == nkColumn; }
  bool IsConstant() const { return Kind == nkConstant; }
};

using TExprTree = std::unique_ptr<TQueryExprNode>;

// A constant node holding `value`, with `text` for messages.
TExprTree MakeConstant(const TValue& value, std::string_view text);
// A column node for `column` of the table called `table` (empty: any).
TExprTree MakeColumn(std::string_view table, std::string_view column);
// An operator node of `kind` with its operands.
TExprTree MakeOperator(TNodeKind kind, std::uint8_t code, std::string_view text, TExprTree left,
                       TExprTree right = nullptr);

void FreeTree(TExprTree tree);

// A deep copy of the tree (the source-table links and parents are copied as
// they stand, parents re-linked inside the copy).
TExprTree CopyTree(const TQueryExprNode& node);

}  // namespace quire
