#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/Database.h"
#include "access/PasswordDialog.h"
#include "access/Session.h"
#include "access/Table.h"
#include "engine/EngineError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CodeOf;
using testing::CreateSongTable;
using testing::TDialogHostScope;
using testing::UniqueName;

// A session of its own, so that the passwords a test registers go with it.
class PasswordDialogTest : public ::testing::Test {
 protected:
  PasswordDialogTest() : session_("Session1") { session_.SetSessionName(UniqueName("Dialog")); }

  struct TEnabled {
    bool ok, add, remove;
    bool operator==(const TEnabled&) const = default;
  };
  static TEnabled Enabled(const TQuirePasswordDialog& dialog) {
    return {dialog.OkEnabled(), dialog.AddEnabled(), dialog.RemoveEnabled()};
  }

  TQuireSession session_;
};

TEST_F(PasswordDialogTest, CaptionsAndSize) {
  EXPECT_EQ(TQuirePasswordDialog::kCaption, "Enter password");
  EXPECT_EQ(TQuirePasswordDialog::kGroupCaption, "Password");
  EXPECT_EQ(TQuirePasswordDialog::kAddCaption, "&Add");
  EXPECT_EQ(TQuirePasswordDialog::kRemoveCaption, "&Remove");
  EXPECT_EQ(TQuirePasswordDialog::kRemoveAllCaption, "Re&move all");
  EXPECT_EQ(TQuirePasswordDialog::kOkCaption, "&OK");
  EXPECT_EQ(TQuirePasswordDialog::kCancelCaption, "Cancel");
  EXPECT_EQ(TQuirePasswordDialog::kClientWidth, 273);
  EXPECT_EQ(TQuirePasswordDialog::kClientHeight, 132);
}

TEST_F(PasswordDialogTest, ButtonsFollowTheBoxAndWhetherAPasswordWasAdded) {
  TQuirePasswordDialog dialog(session_);
  EXPECT_EQ(Enabled(dialog), (TEnabled{false, false, false}));
  dialog.TextChanged("s");
  EXPECT_EQ(Enabled(dialog), (TEnabled{true, true, true}));
  dialog.TextChanged("");
  EXPECT_EQ(Enabled(dialog), (TEnabled{false, false, false}));

  dialog.TextChanged("secret");
  dialog.Add();
  EXPECT_TRUE(session_.HasPassword("secret"));
  EXPECT_EQ(dialog.Text(), "");
  // With the box empty again, OK stays enabled for the password added.
  EXPECT_EQ(Enabled(dialog), (TEnabled{true, false, false}));
  dialog.TextChanged("x");
  dialog.TextChanged("");
  EXPECT_EQ(Enabled(dialog), (TEnabled{true, false, false}));

  // A new dialog starts without the added mark.
  TQuirePasswordDialog next(session_);
  EXPECT_EQ(Enabled(next), (TEnabled{false, false, false}));
}

TEST_F(PasswordDialogTest, RemoveRemoveAllAndOk) {
  session_.RegisterPassword("one");
  session_.RegisterPassword("two");
  TQuirePasswordDialog dialog(session_);
  dialog.TextChanged("one");
  dialog.Remove();
  EXPECT_FALSE(session_.HasPassword("one"));
  EXPECT_TRUE(session_.HasPassword("two"));
  EXPECT_EQ(dialog.Text(), "");
  EXPECT_EQ(Enabled(dialog), (TEnabled{false, false, false}));  // removing adds nothing

  dialog.RemoveAll();
  EXPECT_FALSE(session_.HasPassword("two"));

  dialog.TextChanged("three");
  dialog.Ok();
  EXPECT_TRUE(session_.HasPassword("three"));
  // OK with an empty box registers nothing.
  TQuirePasswordDialog empty(session_);
  empty.Ok();
  EXPECT_FALSE(session_.HasPassword(""));
}

// An encrypted table opened through the dialog seam, the test playing the
// user: each answer is a password typed and how the dialog is closed.
class EncryptedTableTest : public PasswordDialogTest {
 protected:
  EncryptedTableTest() {
    CreateSongTable(folder_.Path("Song.DAT"), "Lyra");
    database_.SetDatabaseName(UniqueName("Locked"));
    database_.SetDirectory(folder_.Path(""));
    table_.SetSessionName(session_.SessionName());
    table_.SetDatabaseName(database_.DatabaseName());
    table_.SetTableName("Song.DAT");
  }

  struct TAnswer {
    std::string typed;
    bool ok;
  };
  // A host that plays `answers` in turn and counts the dialogs shown.
  TPasswordDialogHost Play(std::vector<TAnswer> answers) {
    return [this, answers](TQuirePasswordDialog& dialog) {
      EXPECT_EQ(&dialog.Session(), &session_);
      EXPECT_FALSE(dialog.OkEnabled());
      const TAnswer& answer = answers.at(shown_++);
      dialog.TextChanged(answer.typed);
      if (!answer.ok) return false;
      dialog.Ok();
      return true;
    };
  }

  testing::TCatalogFolder folder_;
  TQuireDatabase database_{&session_};
  TQuireTable table_;
  int shown_ = 0;
};

TEST_F(EncryptedTableTest, AWrongPasswordBringsTheDialogBack) {
  const TDialogHostScope host(Play({{"wrong", true}, {"Lyra", true}}));
  table_.Open();
  EXPECT_TRUE(table_.Active());
  EXPECT_EQ(shown_, 2);
  EXPECT_TRUE(session_.HasPassword("wrong"));  // OK registers what was typed
  EXPECT_TRUE(session_.HasPassword("Lyra"));
  table_.Close();
  // The password is in the list now: no dialog for the next open.
  table_.Open();
  EXPECT_EQ(shown_, 2);
}

TEST_F(EncryptedTableTest, CancelFailsTheOpenWith10498) {
  const TDialogHostScope host(Play({{"wrong", true}, {"Lyra", false}}));
  EXPECT_EQ(CodeOf([&] { table_.Open(); }), 10498);
  EXPECT_EQ(shown_, 2);
  EXPECT_FALSE(table_.Active());
  EXPECT_FALSE(session_.HasPassword("Lyra"));  // cancelled, not registered
  EXPECT_TRUE(database_.DataSets().empty());
}

TEST_F(EncryptedTableTest, AnOnPasswordHandlerLeavingTheFlagFalseFailsAtOnce) {
  int asked = 0;
  session_.OnPassword = [&](TQuireSession&, bool&) { ++asked; };
  const TDialogHostScope host(Play({}));  // never shown
  EXPECT_EQ(CodeOf([&] { table_.Open(); }), 10498);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(shown_, 0);
  EXPECT_FALSE(table_.Active());

  // A handler that registers the password and asks to go on opens it.
  session_.OnPassword = [&](TQuireSession& sender, bool& Continue) {
    ++asked;
    sender.RegisterPassword("Lyra");
    Continue = true;
  };
  table_.Open();
  EXPECT_TRUE(table_.Active());
  EXPECT_EQ(asked, 2);
}

TEST_F(EncryptedTableTest, APasswordRegisteredBeforehandNeedsNoDialog) {
  session_.RegisterPassword("Lyra");
  const TDialogHostScope host(Play({}));
  table_.Open();
  EXPECT_TRUE(table_.Active());
  EXPECT_EQ(shown_, 0);
}

}  // namespace
}  // namespace quire
