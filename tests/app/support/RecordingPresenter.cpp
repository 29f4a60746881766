#include "support/RecordingPresenter.h"

#include <QCoreApplication>
#include <QThread>

namespace lyrabook::test {

void TRecordingPresenter::ShowMessage(const QString& text) {
  Record(TShownBox::TKind::kMessage, text);
}

void TRecordingPresenter::ShowError(const QString& text) {
  Record(TShownBox::TKind::kError, text);
}

std::vector<QString> TRecordingPresenter::Messages() const {
  return Texts(TShownBox::TKind::kMessage);
}

std::vector<QString> TRecordingPresenter::Errors() const {
  return Texts(TShownBox::TKind::kError);
}

void TRecordingPresenter::Record(TShownBox::TKind kind, const QString& text) {
  const bool onWindowThread = QThread::currentThread() == QCoreApplication::instance()->thread();
  boxes.push_back({kind, text, onWindowThread});
  if (whileOpen) whileOpen(boxes.back());
}

std::vector<QString> TRecordingPresenter::Texts(TShownBox::TKind kind) const {
  std::vector<QString> texts;
  for (const TShownBox& box : boxes) {
    if (box.kind == kind) texts.push_back(box.text);
  }
  return texts;
}

}  // namespace lyrabook::test
