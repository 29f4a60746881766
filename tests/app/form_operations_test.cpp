#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "app/InOutError.h"
#include "support/FormFixture.h"

namespace lyrabook {
namespace {

using test::FormTest;
using test::PumpUntil;
using test::TShownBox;

const QString kCompletion = QString::fromUtf8("เสร็จสิ้นการทำงาน");

bool OnWindowThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The enabled state of Button4, Button1, Button3 and Button2, in that order.
std::array<bool, 4> ButtonStates(const TForm1& form) {
  return {form.Button4->isEnabled(), form.Button1->isEnabled(), form.Button3->isEnabled(),
          form.Button2->isEnabled()};
}

constexpr std::array<bool, 4> kIdle = {true, true, true, true};
constexpr std::array<bool, 4> kRunning = {false, false, true, false};

class FormOperationsTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    MakeUsersong({"10001.txt"});
  }

  // Shows a window whose import or removal (`slot`) passes the gate, then
  // throws `failure` when it is set.
  TForm1& ShowWithHeldOperation(std::function<void()> TForm1::TOperations::*slot,
                                const char* failure = nullptr) {
    TForm1::TOperations operations;
    operations.*slot = [this, failure] {
      ranInWorker_ = !OnWindowThread();
      ++runs_;
      gate_.Pass();
      if (failure) throw EInOutError(5, failure);
      finished_ = true;
    };
    TForm1& form = MakeForm(std::move(operations));
    form.show();
    return form;
  }

  std::atomic<int> runs_{0};
  std::atomic<bool> ranInWorker_{false};
  std::atomic<bool> finished_{false};
};

TEST_F(FormOperationsTest, ImportDisablesThreeButtonsWhileItRunsAndShowsTheMessageOnce) {
  int conversions = 0;
  bool conversionOnWindowThread = false;
  TForm1::TOperations operations;
  operations.ImportSongFiles = [this] {
    ranInWorker_ = !OnWindowThread();
    gate_.Pass();
    finished_ = true;
  };
  operations.WriteConversionBatch = [&] {
    ++conversions;
    conversionOnWindowThread = OnWindowThread();
  };
  TForm1& form = MakeForm(std::move(operations));
  form.show();
  ASSERT_EQ(ButtonStates(form), kIdle);

  // What the window looked like while the completion box was open.
  std::array<bool, 4> statesWhileBoxOpen{};
  bool importDoneWhenBoxOpened = false;
  messages_.whileOpen = [&](const TShownBox&) {
    statesWhileBoxOpen = ButtonStates(form);
    importDoneWhenBoxOpened = finished_;
  };

  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  EXPECT_TRUE(form.IsBusy());
  EXPECT_TRUE(ranInWorker_);
  EXPECT_EQ(ButtonStates(form), kRunning);
  EXPECT_TRUE(form.DirectoryListBox1->isEnabled());
  EXPECT_TRUE(form.FileListBox1->isEnabled());

  // The conversion button works meanwhile, in the window thread.
  form.Button3->click();
  EXPECT_EQ(conversions, 1);
  EXPECT_TRUE(conversionOnWindowThread);
  EXPECT_TRUE(messages_.boxes.empty());

  gate_.Open();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy(); }));
  EXPECT_EQ(ButtonStates(form), kIdle);
  ASSERT_EQ(messages_.boxes.size(), 1u);
  EXPECT_EQ(messages_.boxes[0].kind, TShownBox::TKind::kMessage);
  EXPECT_EQ(messages_.boxes[0].text, kCompletion);
  EXPECT_TRUE(messages_.boxes[0].onWindowThread);
  // The box comes after the import, and the buttons return only once it is closed.
  EXPECT_TRUE(importDoneWhenBoxOpened);
  EXPECT_EQ(statesWhileBoxOpen, kRunning);
}

TEST_F(FormOperationsTest, FailedImportEnablesTheButtonsAndShowsNothing) {
  TForm1& form =
      ShowWithHeldOperation(&TForm1::TOperations::ImportSongFiles, "Cannot open 10001.txt");
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  EXPECT_EQ(ButtonStates(form), kRunning);

  gate_.Open();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy(); }));
  EXPECT_EQ(ButtonStates(form), kIdle);
  EXPECT_FALSE(finished_);
  EXPECT_TRUE(messages_.boxes.empty());  // neither the completion nor the error
}

TEST_F(FormOperationsTest, ClicksWhileAnImportRunsStartNoSecondOne) {
  TForm1& form = ShowWithHeldOperation(&TForm1::TOperations::ImportSongFiles);
  // Two clicks before the worker has disabled anything: the second is ignored.
  form.Button4->click();
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  form.Button4->click();  // disabled now
  gate_.Open();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy(); }));
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(messages_.Messages(), std::vector<QString>{kCompletion});

  // Once idle, the next click imports again, with its own message.
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return runs_ == 2 && !form.IsBusy(); }));
  EXPECT_EQ(messages_.Messages(), (std::vector<QString>{kCompletion, kCompletion}));
}

TEST_F(FormOperationsTest, RemovalDisablesThreeButtonsAndLeavesTheMessageToTheRemoval) {
  TForm1& form = ShowWithHeldOperation(&TForm1::TOperations::RemoveSelectedSong);
  form.Button1->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  EXPECT_TRUE(ranInWorker_);
  EXPECT_EQ(ButtonStates(form), kRunning);

  // The import cannot start beside it: its button is disabled.
  form.Button4->click();
  gate_.Open();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy(); }));
  EXPECT_TRUE(finished_);
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(ButtonStates(form), kIdle);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(FormOperationsTest, FailedRemovalEnablesTheButtonsAndShowsNothing) {
  TForm1& form = ShowWithHeldOperation(&TForm1::TOperations::RemoveSelectedSong, "locked");
  form.Button1->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  gate_.Open();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy(); }));
  EXPECT_EQ(ButtonStates(form), kIdle);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(FormOperationsTest, ConversionErrorIsShownByTheErrorBox) {
  TForm1::TOperations operations;
  operations.WriteConversionBatch = [] { throw EInOutError(13, "Cannot create convert.bat"); };
  TForm1& form = MakeForm(std::move(operations));
  form.show();
  form.Button3->click();
  ASSERT_EQ(messages_.Errors(), std::vector<QString>{"Cannot create convert.bat"});
  EXPECT_TRUE(messages_.boxes[0].onWindowThread);
  EXPECT_EQ(ButtonStates(form), kIdle);
}

TEST_F(FormOperationsTest, ClosingWhileAnImportRunsWaitsForItToFinish) {
  TForm1& form = ShowWithHeldOperation(&TForm1::TOperations::ImportSongFiles);
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return gate_.Entered(); }));
  form.close();

  // The import is let go only from inside the window's destruction, which
  // must serve the window thread's events while it waits.
  QTimer::singleShot(0, [this] { gate_.Open(); });
  form_.reset();
  EXPECT_TRUE(finished_);
  // The import ended normally, so its completion message was still shown.
  EXPECT_EQ(messages_.Messages(), std::vector<QString>{kCompletion});
}

TEST_F(FormOperationsTest, CloseButtonEndsTheEventLoop) {
  TForm1& form = MakeForm();
  form.show();
  QObject guard;  // drops the fallback timer when the test ends
  QTimer::singleShot(0, &guard, [&form] { form.Button2->click(); });
  QTimer::singleShot(std::chrono::seconds(30), &guard, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
}

}  // namespace
}  // namespace lyrabook
