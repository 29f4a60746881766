#include "engine/TableCheckFaults.h"

namespace quire {

void TCheckFaults::Add(std::string_view kind, std::string line) {
  auto it = perKind_.find(kind);
  if (it == perKind_.end()) it = perKind_.emplace(std::string(kind), 0).first;
  if (++it->second <= kLinesPerKind) lines_.push_back(std::move(line));
}

std::vector<std::string> TCheckFaults::Lines() const {
  std::vector<std::string> lines = lines_;
  for (const auto& [kind, count] : perKind_) {
    if (count > kLinesPerKind)
      lines.push_back(kind + ": " + std::to_string(count - kLinesPerKind) + " more");
  }
  return lines;
}

}  // namespace quire
