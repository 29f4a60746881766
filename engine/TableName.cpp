#include "engine/TableName.h"

namespace quire {

std::string NormaliseTableFileName(std::string_view name, std::string_view extension) {
  const auto first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string(extension);
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  const auto slash = name.rfind('/');
  const auto dot = name.rfind('.');
  // A dot inside a folder name ("my.tables/songs") is not an extension.
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    name = name.substr(0, dot);
  std::string result(name);
  result += extension;
  return result;
}

}  // namespace quire
