#pragma once
// Runs a test with the engine started, and leaves the engine as it found it:
// other suites in this program may have started it themselves.

#include "engine/Engine.h"

namespace quire::testing {

class EngineScope {
 public:
  EngineScope() : wasStarted_(EngineStarted()) { StartEngine(); }
  ~EngineScope() {
    if (wasStarted_) {
      StartEngine();
    } else {
      StopEngine();
    }
  }
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;

 private:
  bool wasStarted_;
};

}  // namespace quire::testing
