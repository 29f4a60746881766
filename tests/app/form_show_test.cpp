#include <gtest/gtest.h>

#include <QDir>
#include <QTreeWidgetItemIterator>

#include "support/FormFixture.h"

namespace lyrabook {
namespace {

using test::Canonical;
using test::FormTest;
using test::WriteFile;

// The folder list's line for `path`, or none.
QTreeWidgetItem* FolderItem(TDirectoryListBox& list, const QString& path) {
  for (QTreeWidgetItemIterator it(&list); *it; ++it) {
    if ((*it)->toolTip(0) == path) return *it;
  }
  return nullptr;
}

TEST_F(FormTest, ShowMovesTheListsToUsersongBesideTheProgram) {
  const QString usersong = MakeUsersong(
      {"b.txt", "A0005.TXT", "10002.txt", "10001.Txt", "20001.lyr", "10003.txt.bak", ".10004.txt"});
  ASSERT_TRUE(QDir(usersong).mkdir("old.txt"));
  TForm1& form = MakeForm();
  form.show();

  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(form.DirectoryListBox1->Directory(), Canonical(usersong));
  EXPECT_EQ(QDir::currentPath(), Canonical(usersong));
  EXPECT_EQ(form.FileListBox1->Directory(), Canonical(usersong));
  EXPECT_EQ(form.FileListBox1->Names(),
            QStringList({"10001.Txt", "10002.txt", "A0005.TXT", "b.txt"}));
  // The chosen folder is the list's current line.
  ASSERT_NE(form.DirectoryListBox1->currentItem(), nullptr);
  EXPECT_EQ(form.DirectoryListBox1->currentItem()->text(0), "usersong");
}

TEST_F(FormTest, ShowFillsThreeOfTheFourPasswordSlots) {
  MakeUsersong({});
  TForm1& form = MakeForm();
  EXPECT_EQ(form.TablePasswords(), (std::array<std::string, 4>{}));
  form.show();
  EXPECT_EQ(form.TablePasswords(),
            (std::array<std::string, 4>{"q4]h7>nZp2;c6", "w3k[?mabz8;5t1y", "Rj];f2Lm47V?", ""}));
}

TEST_F(FormTest, MissingUsersongShowsTheErrorBoxAndLeavesTheListsWhereTheyWere) {
  // The program starts in another folder that has lyric files of its own.
  const QString startFolder = programFolder_.filePath("start");
  ASSERT_TRUE(QDir().mkpath(startFolder));
  WriteFile(startFolder + "/here.txt", "x");
  ASSERT_TRUE(QDir::setCurrent(startFolder));

  TForm1& form = MakeForm();
  form.show();

  ASSERT_EQ(messages_.Errors(), std::vector<QString>{"Cannot open folder \"" + ProgramFolder() +
                                                     "/usersong\": No such file or directory"});
  EXPECT_TRUE(messages_.boxes.front().onWindowThread);
  EXPECT_TRUE(messages_.Messages().empty());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(QDir::currentPath(), Canonical(startFolder));
  EXPECT_EQ(form.DirectoryListBox1->Directory(), Canonical(startFolder));
  EXPECT_EQ(form.FileListBox1->Names(), QStringList({"here.txt"}));
  // The passwords were assigned before the folder change failed.
  EXPECT_EQ(form.TablePasswords()[0], "q4]h7>nZp2;c6");
  // The window still works: the buttons are all enabled.
  EXPECT_TRUE(form.Button4->isEnabled() && form.Button1->isEnabled() && form.Button2->isEnabled() &&
              form.Button3->isEnabled());
}

TEST_F(FormTest, OpeningAFolderMakesItCurrentAndRefillsTheFileList) {
  const QString usersong = MakeUsersong({"10001.txt"});
  ASSERT_TRUE(QDir(usersong).mkdir("more"));
  WriteFile(usersong + "/more/B12.TXT", "x");
  TForm1& form = MakeForm();
  form.show();

  const QString more = Canonical(usersong + "/more");
  QTreeWidgetItem* item = FolderItem(*form.DirectoryListBox1, more);
  ASSERT_NE(item, nullptr);
  emit form.DirectoryListBox1->itemActivated(item, 0);

  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(QDir::currentPath(), more);
  EXPECT_EQ(form.DirectoryListBox1->Directory(), more);
  EXPECT_EQ(form.FileListBox1->Names(), QStringList({"B12.TXT"}));

  // Back up through the path line of the parent folder.
  item = FolderItem(*form.DirectoryListBox1, Canonical(usersong));
  ASSERT_NE(item, nullptr);
  emit form.DirectoryListBox1->itemActivated(item, 0);
  EXPECT_EQ(form.FileListBox1->Names(), QStringList({"10001.txt"}));
}

TEST_F(FormTest, OpeningAFolderThatVanishedShowsTheErrorAndChangesNothing) {
  const QString usersong = MakeUsersong({"10001.txt"});
  ASSERT_TRUE(QDir(usersong).mkdir("gone"));
  TForm1& form = MakeForm();
  form.show();
  const QString gone = Canonical(usersong + "/gone");
  QTreeWidgetItem* item = FolderItem(*form.DirectoryListBox1, gone);
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(QDir(gone).removeRecursively());

  emit form.DirectoryListBox1->itemActivated(item, 0);

  EXPECT_EQ(messages_.Errors(),
            std::vector<QString>{"Cannot open folder \"" + gone + "\": No such file or directory"});
  EXPECT_EQ(QDir::currentPath(), Canonical(usersong));
  EXPECT_EQ(form.DirectoryListBox1->Directory(), Canonical(usersong));
  EXPECT_EQ(form.FileListBox1->Names(), QStringList({"10001.txt"}));
}

}  // namespace
}  // namespace lyrabook
