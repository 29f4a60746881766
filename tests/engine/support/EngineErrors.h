#pragma once
// What an engine call raised, for tests that expect a refusal or none.

#include <functional>
#include <string>

#include "engine/EngineError.h"

namespace quire::testing {

struct TRaised {
  TErrorCode code = 0;  // 0 when nothing was raised
  std::string message;
};

// Runs `action` and returns the code and message of the engine error it
// raised; other exceptions pass through.
inline TRaised Raised(const std::function<void()>& action) {
  try {
    action();
  } catch (const EQuireEngineError& e) {
    return {e.Code(), e.Message()};
  }
  return {};
}

// The code `action` raised, 0 when none.
inline TErrorCode CodeOf(const std::function<void()>& action) {
  return Raised(action).code;
}

}  // namespace quire::testing
