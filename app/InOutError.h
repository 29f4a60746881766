#pragma once
// Input/output errors of the program: a folder that cannot be entered, a file
// that cannot be opened, read or closed. Engine failures have their own
// exception type; this one is for the program's own file work.

#include <stdexcept>
#include <string>

namespace lyrabook {

class EInOutError : public std::runtime_error {
 public:
  // `errorCode` is the errno value; `message` the full text for the user.
  EInOutError(int errorCode, const std::string& message)
      : std::runtime_error(message), errorCode_(errorCode) {}

  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

}  // namespace lyrabook
