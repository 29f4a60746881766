#include "sql/QueryExprNode.h"

#include <vector>

#include "sql/ExpressionParser.h"

namespace quire {

bool IsComparisonOp(std::uint8_t code) {
  return code >= op::Equal && code <= op::LessOrEqual;
}

bool IsAggregateOp(std::uint8_t code) {
  return code >= op::Sum && code <= op::Avg;
}

std::uint8_t MirroredComparison(std::uint8_t code) {
  switch (code) {
    case op::Greater:
      return op::Less;
    case op::Less:
      return op::Greater;
    case op::GreaterOrEqual:
      return op::LessOrEqual;
    case op::LessOrEqual:
      return op::GreaterOrEqual;
    default:
      return code;
  }
}

TQueryExprNode::~TQueryExprNode() {
  std::vector<TExprTree> pending;
  const auto detach = [&pending](TQueryExprNode& node) {
    if (node.Left) pending.push_back(std::move(node.Left));
    if (node.Right) pending.push_back(std::move(node.Right));
    if (node.Next) pending.push_back(std::move(node.Next));
  };
  detach(*this);
  while (!pending.empty()) {
    TExprTree node = std::move(pending.back());
    pending.pop_back();
    detach(*node);
  }  // each node dies here with no operands left
}

TExprTree MakeConstant(const TValue& value, std::string_view text) {
  auto node = std::make_unique<TQueryExprNode>();
  node->Kind = nkConstant;
  node->Value = value;
  node->Text = text.substr(0, kMaxTokenText);
  return node;
}

TExprTree MakeColumn(std::string_view table, std::string_view column) {
  auto node = std::make_unique<TQueryExprNode>();
  node->Kind = nkColumn;
  node->TableName = table.substr(0, kMaxTokenText);
  node->ColumnName = column.substr(0, kMaxTokenText);
  node->Text = table.empty() ? node->ColumnName : node->TableName + "." + node->ColumnName;
  node->Text.resize(std::min(node->Text.size(), kMaxTokenText));
  return node;
}

TExprTree MakeOperator(TNodeKind kind, std::uint8_t code, std::string_view text, TExprTree left,
                       TExprTree right) {
  auto node = std::make_unique<TQueryExprNode>();
  node->Kind = kind;
  node->OpCode = code;
  node->Text = text.substr(0, kMaxTokenText);
  node->Left = std::move(left);
  node->Right = std::move(right);
  return node;
}

void FreeTree(TExprTree tree) {
  tree.reset();
}

TExprTree CopyTree(const TQueryExprNode& source) {
  // Iterative for the same reason as the destructor.
  const auto copyNode = [](const TQueryExprNode& from) {
    auto to = std::make_unique<TQueryExprNode>();
    to->Text = from.Text;
    to->Kind = from.Kind;
    to->OpCode = from.OpCode;
    to->IndexGrade = from.IndexGrade;
    to->JoinKind = from.JoinKind;
    to->ColumnName = from.ColumnName;
    to->TableName = from.TableName;
    to->FieldNo = from.FieldNo;
    to->SourceTable = from.SourceTable;
    to->Value = from.Value;
    to->IsParameter = from.IsParameter;
    to->FromString = from.FromString;
    to->SavedString = from.SavedString;
    to->PartialLength = from.PartialLength;
    to->CaseInsensitive = from.CaseInsensitive;
    return to;
  };
  TExprTree root = copyNode(source);
  std::vector<std::pair<const TQueryExprNode*, TQueryExprNode*>> pending{{&source, root.get()}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    const auto link = [&](const TExprTree& child, TExprTree& target, TQueryExprNode* parent) {
      if (!child) return;
      target = copyNode(*child);
      target->Parent = parent;
      pending.emplace_back(child.get(), target.get());
    };
    link(from->Left, to->Left, to);
    link(from->Right, to->Right, to);
    link(from->Next, to->Next, to->Parent);
  }
  return root;
}

}  // namespace quire
