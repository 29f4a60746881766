#pragma once
// What the window tests share: the application object, an event pump, a gate
// that holds an operation inside its worker, and files in temporary folders.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>

#include "support/RecordingPresenter.h"

namespace lyrabook::test {

// The presenter of the tests' application object: errors that reached the
// event loop.
TRecordingPresenter& ApplicationErrors();

// Serves the window thread's events until `done` holds; false if it still does
// not hold after `limit` (a guard against hanging, not a speed check).
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// Serves the window thread's events for about `span`.
void PumpFor(std::chrono::milliseconds span);

// Holds a worker inside an operation until the test opens it.
class TGate {
 public:
  // Called by the operation: marks it entered and waits until Open.
  void Pass();
  void Open();
  bool Entered() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable opened_;
  bool entered_ = false;
  bool open_ = false;
};

// Writes `bytes` to `path`, replacing it.
void WriteFile(const QString& path, const QByteArray& bytes);
// The absolute path of an existing folder or file, symbolic links resolved.
QString Canonical(const QString& path);

}  // namespace lyrabook::test

// Lets GoogleTest print texts in its failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
