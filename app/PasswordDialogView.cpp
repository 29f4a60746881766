#include "app/PasswordDialogView.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <optional>

#include "access/PasswordDialog.h"
#include "access/Session.h"
#include "platform/Cp874.h"
#include "runner/Dispatcher.h"

namespace lyrabook {
namespace {

using quire::TQuirePasswordDialog;

QString Caption(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Table passwords are bytes in the catalogue's code page. A character that
// code page lacks cannot be part of a stored password; such a text is passed
// on as its UTF-8 bytes, which simply matches no table.
std::string PasswordBytes(const QString& text) {
  const std::string utf8 = text.toStdString();
  return Utf8ToCp874(utf8).value_or(utf8);
}

QPushButton* Button(QWidget* parent, std::string_view caption, int x, int y, int width) {
  auto* button = new QPushButton(Caption(caption), parent);
  button->setGeometry(x, y, width, 25);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TPasswordDialogView::TPasswordDialogView(TQuirePasswordDialog& dialog)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), dialog_(dialog) {
  setWindowTitle(Caption(TQuirePasswordDialog::kCaption));
  setFixedSize(TQuirePasswordDialog::kClientWidth, TQuirePasswordDialog::kClientHeight);
  setModal(true);

  group_ = new QGroupBox(Caption(TQuirePasswordDialog::kGroupCaption), this);
  group_->setGeometry(8, 6, 257, 84);
  box_ = new QLineEdit(group_);
  box_->setGeometry(10, 20, 237, 24);
  box_->setEchoMode(QLineEdit::Password);
  box_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  add_ = Button(group_, TQuirePasswordDialog::kAddCaption, 10, 51, 73);
  remove_ = Button(group_, TQuirePasswordDialog::kRemoveCaption, 90, 51, 73);
  removeAll_ = Button(group_, TQuirePasswordDialog::kRemoveAllCaption, 170, 51, 77);
  ok_ = Button(this, TQuirePasswordDialog::kOkCaption, 110, 99, 75);
  ok_->setDefault(true);
  cancel_ = Button(this, TQuirePasswordDialog::kCancelCaption, 190, 99, 75);

  connect(box_, &QLineEdit::textChanged, this, &TPasswordDialogView::BoxChanged);
  connect(add_, &QPushButton::clicked, this, [this] { Act(&TQuirePasswordDialog::Add); });
  connect(remove_, &QPushButton::clicked, this, [this] { Act(&TQuirePasswordDialog::Remove); });
  connect(removeAll_, &QPushButton::clicked, this,
          [this] { Act(&TQuirePasswordDialog::RemoveAll); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    dialog_.Ok();
    accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  ShowState();
  box_->setFocus();
}

void TPasswordDialogView::showEvent(QShowEvent* event) {
  // Centred on the screen, not on a parent window: the dialog belongs to the
  // application and may come up while no window is active.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  box_->setFocus();
}

void TPasswordDialogView::BoxChanged(const QString& text) {
  dialog_.TextChanged(PasswordBytes(text));
  ShowState();
}

void TPasswordDialogView::Act(void (TQuirePasswordDialog::*action)()) {
  (dialog_.*action)();
  ShowState();
  box_->setFocus();
}

void TPasswordDialogView::ShowState() {
  // The box shows what the dialog holds (Add and Remove empty it); setting
  // it only when it differs keeps the change notification from looping.
  if (PasswordBytes(box_->text()) != dialog_.Text()) {
    const QSignalBlocker quiet(box_);
    box_->setText(QString::fromStdString(Cp874ToUtf8(dialog_.Text())));
  }
  ok_->setEnabled(dialog_.OkEnabled());
  add_->setEnabled(dialog_.AddEnabled());
  remove_->setEnabled(dialog_.RemoveEnabled());
}

bool ShowPasswordDialog(TQuirePasswordDialog& dialog) {
  TPasswordDialogView view(dialog);
  return view.exec() == QDialog::Accepted;
}

TPasswordDialogInstallation::TPasswordDialogInstallation(runner::TDispatcher& dispatcher) {
  quire::TQuireSessionList::Instance().SetPasswordDialogHost(
      [&dispatcher](TQuirePasswordDialog& dialog) {
        bool ok = false;
        dispatcher.Send([&] { ok = ShowPasswordDialog(dialog); });
        return ok;
      });
}

TPasswordDialogInstallation::~TPasswordDialogInstallation() {
  quire::TQuireSessionList::Instance().SetPasswordDialogHost({});
}

}  // namespace lyrabook
