#pragma once
// How the window shows its message boxes. The program shows real boxes
// (TMessageBoxPresenter); tests put a presenter in their place that records
// what would have been shown and answers at once.

#include <QString>

namespace lyrabook {

class TMessagePresenter {
 public:
  virtual ~TMessagePresenter() = default;

  // Shows `text` in a box centred on the screen, captioned with the application
  // title, with one OK button; returns once the box has been closed.
  // Window thread only.
  virtual void ShowMessage(const QString& text) = 0;

  // The default error box: `text` with the error sign, the same caption and
  // button; returns once it has been closed. Window thread only.
  virtual void ShowError(const QString& text) = 0;
};

}  // namespace lyrabook
