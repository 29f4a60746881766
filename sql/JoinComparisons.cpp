#include "sql/JoinComparisons.h"

#include <vector>

namespace quire {
namespace {

bool ContainsColumn(const TQueryExprNode& tree) {
  std::vector<const TQueryExprNode*> pending{&tree};
  while (!pending.empty()) {
    const TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (node->IsColumn()) return true;
    for (const auto* link : {node->Left.get(), node->Right.get(), node->Next.get()})
      if (link != nullptr) pending.push_back(link);
  }
  return false;
}

}  // namespace

void MarkJoinComparisons(TQueryExprNode& condition, TJoinKind kind) {
  std::vector<TQueryExprNode*> pending{&condition};
  while (!pending.empty()) {
    TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (node->Kind == nkUnary) {
      if (node->Left) pending.push_back(node->Left.get());
    } else if (node->Kind == nkBinary && (node->OpCode == op::And || node->OpCode == op::Or)) {
      if (node->Left) pending.push_back(node->Left.get());
      if (node->Right) pending.push_back(node->Right.get());
    } else if (node->Kind == nkBinary && IsComparisonOp(node->OpCode) && node->Left &&
               node->Right && ContainsColumn(*node->Left) && ContainsColumn(*node->Right)) {
      node->JoinKind = kind;
    }
  }
}

}  // namespace quire
