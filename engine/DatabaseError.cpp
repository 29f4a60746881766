#include "engine/DatabaseError.h"

namespace quire {

void RaiseDatabaseError(std::string text) {
  throw EDatabaseError(text);
}

void RaiseDatabaseError(std::string_view resource, std::string_view argument) {
  std::string text(resource);
  if (const std::size_t at = text.find("%s"); at != std::string::npos)
    text.replace(at, 2, argument);
  RaiseDatabaseError(std::move(text));
}

}  // namespace quire
