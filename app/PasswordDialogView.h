#pragma once
// The password dialog on screen: a fixed, centred QDialog that draws
// quire::TQuirePasswordDialog and hands it the user's actions. The rules
// (what each button does, when it is enabled) are the access layer's; this
// view only shows them.
//
//   +- Password -----------------------------+
//   | [********                            ] |
//   | [&Add]     [&Remove]    [Re&move all]  |
//   +----------------------------------------+
//                          [&OK]   [Cancel]

#include <QDialog>
#include <string>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quire {
class TQuirePasswordDialog;
}
namespace runner {
class TDispatcher;
}

namespace lyrabook {

class TPasswordDialogView final : public QDialog {
 public:
  explicit TPasswordDialogView(quire::TQuirePasswordDialog& dialog);

  // The controls, for the program's tests.
  QGroupBox* Group() const { return group_; }
  QLineEdit* Box() const { return box_; }
  QPushButton* AddButton() const { return add_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPushButton* RemoveAllButton() const { return removeAll_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BoxChanged(const QString& text);
  // Runs one of the dialog's actions, then shows the box and the buttons as
  // the dialog now has them and puts the focus back in the box.
  void Act(void (quire::TQuirePasswordDialog::*action)());
  void ShowState();

  quire::TQuirePasswordDialog& dialog_;
  QGroupBox* group_;
  QLineEdit* box_;
  QPushButton* add_;
  QPushButton* remove_;
  QPushButton* removeAll_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// Shows the dialog modally on the calling (window) thread; true when it
// closed with OK.
bool ShowPasswordDialog(quire::TQuirePasswordDialog& dialog);

// For its lifetime, the session list asks for passwords through this dialog.
// The engine asks in whichever thread opens a table, so the dialog is shown
// on the window thread through `dispatcher`, and the asking thread waits for
// the answer. The dispatcher must outlive the installation.
class TPasswordDialogInstallation {
 public:
  explicit TPasswordDialogInstallation(runner::TDispatcher& dispatcher);
  ~TPasswordDialogInstallation();
  TPasswordDialogInstallation(const TPasswordDialogInstallation&) = delete;
  TPasswordDialogInstallation& operator=(const TPasswordDialogInstallation&) = delete;
};

}  // namespace lyrabook
