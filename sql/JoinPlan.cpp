#include "sql/JoinPlan.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/FieldTypes.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

constexpr std::string_view kUnknownJoinTable =
    "Internal join error attempting to validate table correlation names involved in join";

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

// A conjunct with the group it belongs to (none: the whole row).
struct THomedConjunct {
  TExprTree Tree;
  std::optional<std::size_t> Home;
};

class TPlanner {
 public:
  TPlanner(const TStatement& statement, TOpenTables& tables) : statement_(statement) {
    PlaceTables(tables);
    for (const TJoinClause& join : statement.Joins)
      if (join.Kind != jkInner) AddGroup(join);
  }

  TJoinPlan Plan() {
    if (statement_.Condition) AddConjuncts(*statement_.Condition, std::nullopt);
    for (std::size_t j = 0; j < statement_.Joins.size(); ++j)
      AddConjuncts(*statement_.Joins[j].Condition, HomeOfJoin(j));
    for (THomedConjunct& conjunct : conjuncts_) Assign(conjunct);
    return std::move(plan_);
  }

 private:
  // The FROM items one after the other, each in the source list's order.
  void PlaceTables(TOpenTables& tables) {
    std::map<const TSourceDataFile*, std::size_t> itemOf;
    for (std::size_t item = 0; item < statement_.FromItems.size(); ++item)
      for (const TSourceDataFile* source : statement_.FromItems[item]) itemOf[source] = item;
    std::vector<TSourceDataFile*> order;
    for (const auto& source : statement_.SourceTables) order.push_back(source.get());
    std::stable_sort(order.begin(), order.end(), [&](const auto* left, const auto* right) {
      return itemOf[left] < itemOf[right];
    });
    for (TSourceDataFile* source : order) {
      position_[source] = plan_.Tables.size();
      TPlannedTable& planned = plan_.Tables.emplace_back();
      planned.Source = source;
      planned.Table = &tables.Table(*source);
    }
  }

  void AddGroup(const TJoinClause& join) {
    std::vector<std::size_t> filled;
    if (join.Kind == jkLeft) {
      filled.push_back(position_.at(join.Table));
    } else {
      for (const TSourceDataFile* source : statement_.FromItems[join.FromItem]) {
        if (source == join.Table) break;
        filled.push_back(position_.at(source));
      }
    }
    const auto [first, last] = std::minmax_element(filled.begin(), filled.end());
    groupOfJoin_[&join] = plan_.Groups.size();
    plan_.Groups.push_back({.First = *first, .Last = *last, .Test = nullptr});
  }

  // An outer join's ON belongs to its group; an inner join's to the group
  // of the first right join after it in its item, which fills its tables.
  std::optional<std::size_t> HomeOfJoin(std::size_t j) const {
    const TJoinClause& join = statement_.Joins[j];
    for (std::size_t k = j; k < statement_.Joins.size(); ++k) {
      const TJoinClause& later = statement_.Joins[k];
      if (later.FromItem != join.FromItem) continue;
      if (k == j ? join.Kind != jkInner : later.Kind == jkRight) return groupOfJoin_.at(&later);
    }
    return std::nullopt;
  }

  void AddConjuncts(const TQueryExprNode& condition, std::optional<std::size_t> home) {
    std::vector<TExprTree> parts;
    SplitConjuncts(CopyTree(condition), parts);
    for (TExprTree& part : parts) {
      CheckJoinComparison(*part);
      conjuncts_.push_back({std::move(part), home});
    }
  }

  // A comparison between columns of two tables must read one table on
  // each side.
  void CheckJoinComparison(const TQueryExprNode& node) const {
    if (node.Kind != nkBinary || !IsComparisonOp(node.OpCode) || !node.Left || !node.Right) return;
    const auto left = TablesOf(*node.Left, true);
    const auto right = TablesOf(*node.Right, true);
    if (!left.empty() && !right.empty() && (left.size() > 1 || right.size() > 1))
      RaiseSqlError(
          "The join condition cannot contain multiple table correlation names in either the "
          "left or right operand in WHERE or JOIN clause");
  }

  void Assign(THomedConjunct& conjunct) {
    const std::set<std::size_t> tables = TablesOf(*conjunct.Tree, false);
    const std::size_t groupStart = conjunct.Home ? plan_.Groups[*conjunct.Home].First : 0;
    if (tables.empty() && !conjunct.Home) {
      AddTo(plan_.RowCondition, std::move(conjunct.Tree));
      return;
    }
    const std::size_t last = std::max(tables.empty() ? 0 : *tables.rbegin(), groupStart);
    if (InnermostGroup(last) != conjunct.Home) {
      TExprTree& test = conjunct.Home ? plan_.Groups[*conjunct.Home].Test : plan_.RowCondition;
      AddTo(test, std::move(conjunct.Tree));
      return;
    }
    TPlannedTable& table = plan_.Tables[last];
    if (tables.size() == 1 && *tables.begin() == last) {
      AddTo(table.Condition, std::move(conjunct.Tree));
      return;
    }
    PutTableOnTheLeft(*conjunct.Tree, last);
    AddTo(table.Link, std::move(conjunct.Tree));
  }

  // The smallest group holding the table at `position`.
  std::optional<std::size_t> InnermostGroup(std::size_t position) const {
    std::optional<std::size_t> innermost;
    for (std::size_t g = 0; g < plan_.Groups.size(); ++g) {
      const TOuterGroup& group = plan_.Groups[g];
      if (position < group.First || position > group.Last) continue;
      if (!innermost ||
          group.Last - group.First < plan_.Groups[*innermost].Last - plan_.Groups[*innermost].First)
        innermost = g;
    }
    return innermost;
  }

  // The restricted table's side of a comparison on the left, as an index
  // answers it once the other side is a constant.
  void PutTableOnTheLeft(TQueryExprNode& node, std::size_t table) const {
    if (node.Kind != nkBinary || !IsComparisonOp(node.OpCode) || !node.Left || !node.Right) return;
    const auto left = TablesOf(*node.Left, true);
    const auto right = TablesOf(*node.Right, true);
    if (left.contains(table) || right != std::set<std::size_t>{table}) return;
    std::swap(node.Left, node.Right);
    node.OpCode = MirroredComparison(node.OpCode);
  }

  // Positions in the plan of the tables whose columns `tree` reads. A
  // column bound to no source table is refused: as a join error inside a
  // join comparison, else as a name the FROM clause lacks.
  std::set<std::size_t> TablesOf(const TQueryExprNode& tree, bool inJoin) const {
    std::set<std::size_t> found;
    std::vector<const TQueryExprNode*> pending{&tree};
    while (!pending.empty()) {
      const TQueryExprNode* node = pending.back();
      pending.pop_back();
      if (node->IsColumn()) {
        const auto at = position_.find(node->SourceTable);
        if (at == position_.end()) {
          if (inJoin) RaiseSqlError(kUnknownJoinTable);
          RaiseSqlError("Table correlation name '" + node->TableName +
                        "' referenced in WHERE clause is not defined in the FROM clause");
        }
        found.insert(at->second);
      }
      for (const auto* link : {node->Left.get(), node->Right.get(), node->Next.get()})
        if (link != nullptr) pending.push_back(link);
    }
    return found;
  }

  static void AddTo(TExprTree& condition, TExprTree part) {
    condition = AndTogether(std::move(condition), std::move(part));
  }

  const TStatement& statement_;
  TJoinPlan plan_;
  std::map<const TSourceDataFile*, std::size_t> position_;
  std::map<const TJoinClause*, std::size_t> groupOfJoin_;
  std::vector<THomedConjunct> conjuncts_;
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
