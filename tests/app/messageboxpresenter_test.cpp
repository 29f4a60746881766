#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "app/MessageBoxPresenter.h"
#include "support/TestSupport.h"

namespace lyrabook {
namespace {

struct TSeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  int buttonCount = 0;
  bool modal = false;
};

// Shows a box through `show` and, from inside its modal loop, records what it
// looks like and presses its button.
TSeenBox ShowAndAnswer(const std::function<void()>& show) {
  TSeenBox seen;
  QObject guard;
  std::function<void()> poll;
  poll = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      QTimer::singleShot(5, &guard, poll);
      return;
    }
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.modal = box->isModal();
    seen.buttons = box->standardButtons();
    seen.buttonCount = int(box->buttons().size());
    box->buttons().front()->click();
  };
  QTimer::singleShot(0, &guard, poll);
  show();  // returns only once the box has been answered
  return seen;
}

TEST(MessageBoxPresenter, MessageBoxHasTheTitleAndOneOkButton) {
  TMessageBoxPresenter presenter;
  const TSeenBox seen =
      ShowAndAnswer([&] { presenter.ShowMessage(QString::fromUtf8("เสร็จสิ้นการทำงาน")); });
  EXPECT_EQ(seen.title, "Lyrabook");
  EXPECT_EQ(seen.text, QString::fromUtf8("เสร็จสิ้นการทำงาน"));
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.buttonCount, 1);
  EXPECT_TRUE(seen.modal);
}

TEST(MessageBoxPresenter, ErrorBoxCarriesTheErrorSign) {
  TMessageBoxPresenter presenter;
  const TSeenBox seen = ShowAndAnswer([&] { presenter.ShowError("Cannot open folder"); });
  EXPECT_EQ(seen.title, "Lyrabook");
  EXPECT_EQ(seen.text, "Cannot open folder");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.buttonCount, 1);
}

}  // namespace
}  // namespace lyrabook
