#pragma once
// The dataset layer's database error: a failure of a component rather than
// of the engine, carrying one fixed English text and no engine code. The
// filter expression parser raises it too, so it lives with the engine.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quire {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws EDatabaseError with `text` as its message.
[[noreturn]] void RaiseDatabaseError(std::string text);

// Throws EDatabaseError with the resource text `resource`, its first "%s"
// replaced by `argument` (the name or token concerned).
[[noreturn]] void RaiseDatabaseError(std::string_view resource, std::string_view argument);

}  // namespace quire
