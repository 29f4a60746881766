#pragma once
// The application object: its title, and the default error box for exceptions
// that reach the event loop.

#include <QApplication>

#include "app/MessagePresenter.h"

namespace lyrabook {

// The application title; it also captions every message box.
inline constexpr char kApplicationTitle[] = "Lyrabook";

class TApplication final : public QApplication {
 public:
  // Sets the title. `errors` shows the default error box and must outlive the
  // application object.
  TApplication(int& argc, char** argv, TMessagePresenter& errors);

  // Delivers the event; an exception escaping its handler is shown by the
  // default error box with its text, and the program goes on.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TMessagePresenter& errors_;
};

}  // namespace lyrabook
