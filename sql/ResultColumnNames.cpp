#include "sql/ResultColumnNames.h"

#include <algorithm>

#include "engine/BlankText.h"
#include "sql/QueryExprNode.h"

namespace quire {
namespace {

std::string_view AggregatePrefix(std::uint8_t aggregate) {
  switch (aggregate) {
    case op::Sum:
      return "Sum Of ";
    case op::Min:
      return "Min Of ";
    case op::Max:
      return "Max Of ";
    case op::Avg:
      return "Average Of ";
    case op::Count:
      return "Count Of ";
    default:
      return "";
  }
}

bool IsTaken(std::string_view name, const std::vector<std::string>& taken) {
  return std::any_of(taken.begin(), taken.end(), [&](const std::string& other) {
    return EqualsIgnoringAsciiCase(other, name);
  });
}

}  // namespace

std::string BaseResultName(std::string_view alias, std::uint8_t aggregate,
                           std::string_view columnName) {
  std::string name;
  if (!alias.empty()) {
    name = alias;
  } else if (aggregate == 0) {
    name = columnName.empty() ? "Expression" : columnName;
  } else {
    name = std::string(AggregatePrefix(aggregate)) +
           std::string(columnName.empty() ? "Expr" : columnName);
  }
  return name.substr(0, kMaxResultNameLength);
}

std::string UniqueResultName(const std::string& base, const std::vector<std::string>& taken) {
  std::string name = base;
  for (int counter = 1; IsTaken(name, taken); ++counter) {
    const std::string suffix = "_" + std::to_string(counter);
    name = base.substr(0, kMaxResultNameLength - suffix.size()) + suffix;
  }
  return name;
}

}  // namespace quire
