#pragma once
// A message presenter for tests: records each box instead of showing it, and
// closes it at once.

#include <QString>
#include <functional>
#include <vector>

#include "app/MessagePresenter.h"

namespace lyrabook::test {

struct TShownBox {
  enum class TKind { kMessage, kError };
  TKind kind;
  QString text;
  bool onWindowThread;
};

class TRecordingPresenter final : public TMessagePresenter {
 public:
  void ShowMessage(const QString& text) override;
  void ShowError(const QString& text) override;

  // The texts shown so far of one kind, in order.
  std::vector<QString> Messages() const;
  std::vector<QString> Errors() const;

  std::vector<TShownBox> boxes;
  // Runs while a box is "open", before it is closed.
  std::function<void(const TShownBox&)> whileOpen;

 private:
  void Record(TShownBox::TKind kind, const QString& text);
  std::vector<QString> Texts(TShownBox::TKind kind) const;
};

}  // namespace lyrabook::test
