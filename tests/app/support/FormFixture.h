#pragma once
// A main window over a temporary program folder, for the window tests. The
// process's current directory is put back after each test.

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/UMidi.h"
#include "support/TestSupport.h"

namespace lyrabook::test {

class FormTest : public testing::Test {
 protected:
  void SetUp() override;
  // Opens the gates first, so that no worker is left waiting on one while the
  // window waits for it.
  void TearDown() override;

  // The program folder, with a trailing '/'.
  QString ProgramFolder() const { return programFolder_.path() + "/"; }
  // Creates ProgramFolder()/usersong with the given files (contents "x").
  QString MakeUsersong(std::initializer_list<const char*> files);

  TForm1& MakeForm(TForm1::TOperations operations = {});

  TRecordingPresenter messages_;
  TGate gate_;
  TGate secondGate_;
  QTemporaryDir programFolder_;
  std::unique_ptr<TForm1> form_;

 private:
  QString savedDirectory_;
  size_t applicationErrorsBefore_ = 0;
};

}  // namespace lyrabook::test
