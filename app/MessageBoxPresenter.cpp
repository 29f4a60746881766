#include "app/MessageBoxPresenter.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace lyrabook {

namespace {

void ShowBox(QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
  box.exec();
}

}  // namespace

void TMessageBoxPresenter::ShowMessage(const QString& text) {
  ShowBox(QMessageBox::NoIcon, text);
}

void TMessageBoxPresenter::ShowError(const QString& text) {
  ShowBox(QMessageBox::Critical, text);
}

}  // namespace lyrabook
