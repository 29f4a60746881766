#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "access/PasswordDialog.h"
#include "access/Session.h"
#include "app/PasswordDialogView.h"
#include "app/QtDispatcher.h"
#include "support/TestSupport.h"

namespace lyrabook {
namespace {

using quire::TQuirePasswordDialog;
using quire::TQuireSession;

// A session of its own per test, so that passwords go with it.
class PasswordDialogViewTest : public ::testing::Test {
 protected:
  PasswordDialogViewTest() : session_("Session1") {
    static int counter = 0;
    session_.SetSessionName("DialogView" + std::to_string(++counter));
  }

  struct TEnabled {
    bool ok, add, remove;
    bool operator==(const TEnabled&) const = default;
  };
  static TEnabled Enabled(const TPasswordDialogView& view) {
    return {view.OkButton()->isEnabled(), view.AddButton()->isEnabled(),
            view.RemoveButton()->isEnabled()};
  }

  // Runs `user` on the password dialog once the window thread shows one.
  static void WhenShown(std::function<void(TPasswordDialogView&)> user) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, user = std::move(user)] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* view = dynamic_cast<TPasswordDialogView*>(widget);
        if (view == nullptr || !view->isVisible()) continue;
        poll->stop();
        poll->deleteLater();
        user(*view);
        return;
      }
    });
    poll->start(5);
  }

  TQuireSession session_;
};

TEST_F(PasswordDialogViewTest, ShowsTheCaptionsAtItsFixedSize) {
  TQuirePasswordDialog dialog(session_);
  TPasswordDialogView view(dialog);
  EXPECT_EQ(view.windowTitle(), "Enter password");
  EXPECT_EQ(view.size(), QSize(273, 132));
  EXPECT_EQ(view.minimumSize(), view.maximumSize());
  EXPECT_EQ(view.Group()->title(), "Password");
  EXPECT_EQ(view.AddButton()->text(), "&Add");
  EXPECT_EQ(view.RemoveButton()->text(), "&Remove");
  EXPECT_EQ(view.RemoveAllButton()->text(), "Re&move all");
  EXPECT_EQ(view.OkButton()->text(), "&OK");
  EXPECT_EQ(view.CancelButton()->text(), "Cancel");
  EXPECT_TRUE(view.OkButton()->isDefault());
  EXPECT_EQ(view.Box()->echoMode(), QLineEdit::Password);
  // Every control lies inside the client area.
  for (const QWidget* child : view.findChildren<QWidget*>()) {
    const QRect area = QRect(child->mapTo(&view, QPoint(0, 0)), child->size());
    EXPECT_TRUE(view.rect().contains(area)) << child->metaObject()->className();
  }
}

TEST_F(PasswordDialogViewTest, ButtonsAreEnabledAsTheBoxAndAddedPasswordsSay) {
  TQuirePasswordDialog dialog(session_);
  TPasswordDialogView view(dialog);
  view.show();
  EXPECT_EQ(Enabled(view), (TEnabled{false, false, false}));
  EXPECT_TRUE(view.RemoveAllButton()->isEnabled());
  EXPECT_EQ(view.focusWidget(), view.Box());

  view.Box()->insert("Ly");
  EXPECT_EQ(Enabled(view), (TEnabled{true, true, true}));
  view.Box()->clear();
  EXPECT_EQ(Enabled(view), (TEnabled{false, false, false}));

  view.Box()->insert("Lyra");
  view.RemoveAllButton()->setFocus();
  view.AddButton()->click();
  EXPECT_TRUE(session_.HasPassword("Lyra"));
  EXPECT_EQ(view.Box()->text(), "");
  EXPECT_EQ(Enabled(view), (TEnabled{true, false, false}));  // OK: a password was added
  EXPECT_EQ(view.focusWidget(), view.Box());

  view.Box()->insert("Lyra");
  view.RemoveButton()->click();
  EXPECT_FALSE(session_.HasPassword("Lyra"));
  EXPECT_EQ(view.Box()->text(), "");

  session_.RegisterPassword("other");
  view.Box()->insert("kept");
  view.RemoveAllButton()->click();
  EXPECT_FALSE(session_.HasPassword("other"));
  EXPECT_EQ(view.Box()->text(), "kept");  // Remove all leaves the box alone
  EXPECT_EQ(view.focusWidget(), view.Box());
  view.hide();
}

TEST_F(PasswordDialogViewTest, OkRegistersTheBoxAndClosesWithOkAndCancelDoesNeither) {
  TQuirePasswordDialog dialog(session_);
  WhenShown([](TPasswordDialogView& view) {
    view.Box()->insert("Lyra");
    view.OkButton()->click();
  });
  EXPECT_TRUE(ShowPasswordDialog(dialog));
  EXPECT_TRUE(session_.HasPassword("Lyra"));

  TQuirePasswordDialog again(session_);
  WhenShown([](TPasswordDialogView& view) {
    view.Box()->insert("never");
    view.CancelButton()->click();
  });
  EXPECT_FALSE(ShowPasswordDialog(again));
  EXPECT_FALSE(session_.HasPassword("never"));
}

TEST_F(PasswordDialogViewTest, AWorkerThreadAsksThroughTheWindowThreadAndWaits) {
  TQtDispatcher dispatcher;
  const TPasswordDialogInstallation installation(dispatcher);
  std::atomic<bool> shownOnWindowThread = false;
  WhenShown([&](TPasswordDialogView& view) {
    shownOnWindowThread = QThread::currentThread() == qApp->thread();
    view.Box()->insert("Lyra");
    view.OkButton()->click();
  });
  std::atomic<int> answer = -1;
  std::thread worker([&] { answer = session_.PromptForPassword() ? 1 : 0; });
  const bool answered = test::PumpUntil([&] { return answer != -1; });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer, 1);
  EXPECT_TRUE(shownOnWindowThread);
  EXPECT_TRUE(session_.HasPassword("Lyra"));
}

TEST_F(PasswordDialogViewTest, TheInstallationEndsWithItsScope) {
  {
    TQtDispatcher dispatcher;
    const TPasswordDialogInstallation installation(dispatcher);
    EXPECT_TRUE(static_cast<bool>(quire::TQuireSessionList::Instance().PasswordDialogHost()));
  }
  EXPECT_FALSE(static_cast<bool>(quire::TQuireSessionList::Instance().PasswordDialogHost()));
  EXPECT_FALSE(session_.PromptForPassword());  // nobody to ask
}

}  // namespace
}  // namespace lyrabook
