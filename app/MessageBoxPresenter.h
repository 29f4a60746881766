#pragma once
// Message boxes as the user sees them: modal QMessageBox windows without a
// parent (Qt centres those on the screen), captioned with the application
// title.

#include "app/MessagePresenter.h"

namespace lyrabook {

class TMessageBoxPresenter final : public TMessagePresenter {
 public:
  void ShowMessage(const QString& text) override;
  void ShowError(const QString& text) override;
};

}  // namespace lyrabook
