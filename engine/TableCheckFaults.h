#pragma once
// TCheckFaults: the fault lines a table check collects, one per fault, each
// naming the file, the place and what is wrong ("FILE: PLACE: TEXT").
//
// A badly damaged file can repeat one fault for every record or entry; past
// a limit per kind of fault the lines are only counted, and one closing line
// per kind says how many more there were, so the report stays readable.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quire {

class TCheckFaults {
 public:
  // Lines kept per kind of fault before they are only counted.
  static constexpr std::size_t kLinesPerKind = 100;

  // Adds `line`, a fault of kind `kind` (any text that groups alike faults,
  // e.g. "t.IDX: index Primary: missing entry").
  void Add(std::string_view kind, std::string line);
  // Adds a fault of a kind of its own (never capped).
  void Add(std::string line) { lines_.push_back(std::move(line)); }

  // The lines in the order added, then one "KIND: N more" line for every
  // kind that went past the limit.
  std::vector<std::string> Lines() const;
  bool Empty() const { return lines_.empty(); }

 private:
  std::vector<std::string> lines_;
  std::map<std::string, std::size_t, std::less<>> perKind_;
};

}  // namespace quire
