#include "sql/JoinPlan.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/FieldTypes.h"
#include "sql/JoinComparisons.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

constexpr std::string_view kUnknownJoinTable =
    "Internal join error attempting to validate table correlation names involved in join";

// Positions in the source list of the tables whose columns `tree` reads. A
// column bound to no source table is refused: as a join error inside a
// join comparison, else as a name the FROM clause lacks.
std::set<std::size_t> TablesOf(const TQueryExprNode& tree, const TStatement& statement,
                               bool inJoin) {
  std::set<std::size_t> found;
  std::vector<const TQueryExprNode*> pending{&tree};
  while (!pending.empty()) {
    const TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (node->IsColumn()) {
      const auto& sources = statement.SourceTables;
      const auto at = std::find_if(sources.begin(), sources.end(), [&](const auto& source) {
        return source.get() == node->SourceTable;
      });
      if (at == sources.end()) {
        if (inJoin) RaiseSqlError(kUnknownJoinTable);
        RaiseSqlError("Table correlation name '" + node->TableName +
                      "' referenced in WHERE clause is not defined in the FROM clause");
      }
      found.insert(static_cast<std::size_t>(at - sources.begin()));
    }
    for (const auto* link : {node->Left.get(), node->Right.get(), node->Next.get()})
      if (link != nullptr) pending.push_back(link);
  }
  return found;
}

bool IsOuter(std::uint8_t kind) {
  return kind == jkLeft || kind == jkRight;
}

// The first comparison an outer join's ON marked, looking through AND, OR
// and unary nodes as the marking does.
const TQueryExprNode* OuterComparison(const TQueryExprNode& tree) {
  std::vector<const TQueryExprNode*> pending{&tree};
  while (!pending.empty()) {
    const TQueryExprNode* node = pending.back();
    pending.pop_back();
    if (IsComparisonOp(node->OpCode) && node->Kind == nkBinary && IsOuter(node->JoinKind))
      return node;
    if (node->Kind == nkUnary || node->Kind == nkBinary)
      for (const auto* link : {node->Left.get(), node->Right.get()})
        if (link != nullptr) pending.push_back(link);
  }
  return nullptr;
}

// The parts of `tree` below its top AND nodes, moved out of it.
void SplitConjuncts(TExprTree tree, std::vector<TExprTree>& parts) {
  std::vector<TExprTree> pending;
  pending.push_back(std::move(tree));
  while (!pending.empty()) {
    TExprTree node = std::move(pending.back());
    pending.pop_back();
    if (node->Kind == nkBinary && node->OpCode == op::And) {
      // Right first on the stack, so that the parts keep the text's order.
      pending.push_back(std::move(node->Right));
      pending.push_back(std::move(node->Left));
      continue;
    }
    parts.push_back(std::move(node));
  }
}

// One conjunct and what it reads.
struct TConjunct {
  TExprTree Tree;
  std::set<std::size_t> Tables;
  // A comparison whose sides read one table each, two tables in all.
  bool JoinComparison = false;
  std::size_t LeftTable = 0;
};

class TPlanner {
 public:
  TPlanner(const TStatement& statement, TOpenTables& tables) : statement_(statement) {
    for (const auto& source : statement.SourceTables) {
      TPlannedTable& planned = plan_.Tables.emplace_back();
      planned.Source = source.get();
      planned.Table = &tables.Table(*source);
    }
  }

  TJoinPlan Plan() {
    if (!statement_.HasCondition || !statement_.Condition) return std::move(plan_);
    std::vector<TExprTree> parts;
    SplitConjuncts(CopyTree(*statement_.Condition), parts);
    std::vector<TConjunct> conjuncts;
    for (TExprTree& part : parts) conjuncts.push_back(Classify(std::move(part)));
    for (const TConjunct& conjunct : conjuncts) NoteOuterTarget(conjunct);
    for (TConjunct& conjunct : conjuncts) Assign(conjunct);
    return std::move(plan_);
  }

 private:
  TConjunct Classify(TExprTree tree) {
    TConjunct conjunct;
    const TQueryExprNode& node = *tree;
    if (node.Kind == nkBinary && IsComparisonOp(node.OpCode) && node.Left && node.Right) {
      const auto left = TablesOf(*node.Left, statement_, true);
      const auto right = TablesOf(*node.Right, statement_, true);
      if (!left.empty() && !right.empty()) {
        if (left.size() > 1 || right.size() > 1)
          RaiseSqlError(
              "The join condition cannot contain multiple table correlation names in either the "
              "left or right operand in WHERE or JOIN clause");
        conjunct.JoinComparison = *left.begin() != *right.begin();
        conjunct.LeftTable = *left.begin();
      }
    }
    conjunct.Tables = TablesOf(node, statement_, false);
    conjunct.Tree = std::move(tree);
    return conjunct;
  }

  // The table an outer join fills with NULLs: the later of the two tables
  // its marked comparison joins (a right join's own table stands first).
  std::optional<std::size_t> OuterTarget(const TConjunct& conjunct) const {
    if (conjunct.Tables.size() < 2) return std::nullopt;
    const TQueryExprNode* marked = OuterComparison(*conjunct.Tree);
    if (marked == nullptr) return std::nullopt;
    const auto left = TablesOf(*marked->Left, statement_, true);
    const auto right = TablesOf(*marked->Right, statement_, true);
    if (left.empty() || right.empty()) return std::nullopt;
    return std::max(*left.rbegin(), *right.rbegin());
  }

  void NoteOuterTarget(const TConjunct& conjunct) {
    const auto target = OuterTarget(conjunct);
    if (!target) return;
    const std::uint8_t kind = OuterComparison(*conjunct.Tree)->JoinKind;
    const auto [entry, added] = outerTargets_.emplace(*target, kind);
    if (!added && entry->second != kind) RaiseMultipleTargets(*target);
  }

  void Assign(TConjunct& conjunct) {
    if (conjunct.Tables.empty()) {
      AddToRows(std::move(conjunct.Tree));
    } else if (conjunct.Tables.size() == 1) {
      TPlannedTable& table = plan_.Tables[*conjunct.Tables.begin()];
      table.Condition = AndTogether(std::move(table.Condition), std::move(conjunct.Tree));
    } else if (const auto outer = OuterTarget(conjunct)) {
      // Every table it reads must come before the one it fills.
      if (*conjunct.Tables.rbegin() != *outer) RaiseMultipleTargets(*outer);
      AddToLink(*outer, conjunct, true);
    } else if (conjunct.JoinComparison && !outerTargets_.contains(*conjunct.Tables.rbegin())) {
      AddToLink(*conjunct.Tables.rbegin(), conjunct, false);
    } else {
      AddToRows(std::move(conjunct.Tree));
    }
  }

  void AddToLink(std::size_t target, TConjunct& conjunct, bool outer) {
    TQueryExprNode& node = *conjunct.Tree;
    // The linked table's side on the left, as an index answers it once
    // the other side is a constant.
    if (conjunct.JoinComparison && conjunct.LeftTable != target) {
      std::swap(node.Left, node.Right);
      node.OpCode = MirroredComparison(node.OpCode);
    }
    TPlannedTable& table = plan_.Tables[target];
    table.Link = AndTogether(std::move(table.Link), std::move(conjunct.Tree));
    if (outer) table.LeftJoin = true;
  }

  void AddToRows(TExprTree tree) {
    plan_.RowCondition = AndTogether(std::move(plan_.RowCondition), std::move(tree));
  }

  [[noreturn]] void RaiseMultipleTargets(std::size_t table) const {
    RaiseSqlError("Internal join error - table correlation name \"" +
                  statement_.SourceTables[table]->CorrelationName() +
                  "\" is target of multiple join conditions in WHERE or JOIN clause");
  }

  const TStatement& statement_;
  TJoinPlan plan_;
  // Tables an outer join fills with NULLs, with the join's kind.
  std::map<std::size_t, std::uint8_t> outerTargets_;
};

}  // namespace

TExprTree AndTogether(TExprTree left, TExprTree right) {
  if (!left) return right;
  if (!right) return left;
  TExprTree both = MakeOperator(nkBinary, op::And, "AND", std::move(left), std::move(right));
  both->Value = TValue::NullOf(ftype::Boolean, 2);
  return both;
}

TJoinPlan PlanJoins(const TStatement& statement, TOpenTables& tables) {
  return TPlanner(statement, tables).Plan();
}

}  // namespace quire
