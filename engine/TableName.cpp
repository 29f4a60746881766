#include "engine/TableName.h"

#include "engine/BlankText.h"

namespace quire {

std::string NormaliseTableFileName(std::string_view name, std::string_view extension) {
  name = TrimBlanks(name);
  if (name.empty()) return std::string(extension);
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
