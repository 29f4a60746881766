#pragma once
// Names of result columns. A column is named by its alias (cut to 30
// characters); else a plain column by its field's name and an aggregate
// over one by "Sum Of ", "Min Of ", "Max Of ", "Average Of " or "Count Of "
// and the field's name; else "Expression", or for an aggregate over an
// expression "Sum Of Expr", "Min Of Expr" and so on. A name that another
// column already has (letter case aside) gets "_1", "_2" ... with the base
// cut so that the whole stays within 30 characters.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quire {

inline constexpr std::size_t kMaxResultNameLength = 30;

// The name before it is made unique. `aggregate` is op::Sum ... op::Avg or
// 0; `columnName` the field's name when the value is a plain column, else
// empty.
std::string BaseResultName(std::string_view alias, std::uint8_t aggregate,
                           std::string_view columnName);

// `base` with the lowest counter that no name in `taken` has (letter case
// aside); `base` itself when free.
std::string UniqueResultName(const std::string& base, const std::vector<std::string>& taken);

}  // namespace quire
