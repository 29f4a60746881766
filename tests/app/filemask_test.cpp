#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <stdexcept>

#include "app/FileListBox.h"
#include "app/FileMask.h"
#include "support/TestSupport.h"

namespace lyrabook {
namespace {

using test::WriteFile;

TEST(FileMask, MatchesTheExtensionIgnoringAsciiCase) {
  EXPECT_TRUE(MatchesFileMask("10001.txt", "*.txt"));
  EXPECT_TRUE(MatchesFileMask("10001.TXT", "*.txt"));
  EXPECT_TRUE(MatchesFileMask("A0005.TxT", "*.TXT"));
  EXPECT_TRUE(MatchesFileMask("เพลงไทย.txt", "*.txt"));
  EXPECT_TRUE(MatchesFileMask(".txt", "*.txt"));
  EXPECT_FALSE(MatchesFileMask("10001.txt.bak", "*.txt"));
  EXPECT_FALSE(MatchesFileMask("10001txt", "*.txt"));
  EXPECT_FALSE(MatchesFileMask("10001.tx", "*.txt"));
  EXPECT_FALSE(MatchesFileMask("10001.lyr", "*.txt"));
}

TEST(FileMask, FoldsOnlyAsciiLetters) {
  // Latin small letter dotless i is not an ASCII letter: it must not match 'I'.
  EXPECT_FALSE(MatchesFileMask(QString::fromUtf8("a.\u0131yr"), "*.Iyr"));
  // Full-width letters differ from ASCII ones in any case.
  EXPECT_FALSE(MatchesFileMask(QString::fromUtf8("a.\uFF54xt"), "*.txt"));
  EXPECT_TRUE(MatchesFileMask("ABC.LYR", "abc.lyr"));
}

TEST(FileMask, StarsAndQuestionMarks) {
  EXPECT_TRUE(MatchesFileMask("anything", "*"));
  EXPECT_TRUE(MatchesFileMask("", "*"));
  EXPECT_FALSE(MatchesFileMask("", "?"));
  EXPECT_TRUE(MatchesFileMask("B12.txt", "B??.txt"));
  EXPECT_FALSE(MatchesFileMask("B1.txt", "B??.txt"));
  EXPECT_TRUE(MatchesFileMask("a.b.c.txt", "*.*.txt"));
  EXPECT_TRUE(MatchesFileMask("xaxbxc", "*a*b*c"));
  EXPECT_FALSE(MatchesFileMask("xaxbx", "*a*b*c"));
  // Backtracking over a long run must still find the match at the end.
  EXPECT_TRUE(MatchesFileMask(QString(200, u'a') + "b", "*a*a*a*b"));
  EXPECT_FALSE(MatchesFileMask(QString(200, u'a'), "*a*a*a*b"));
}

TEST(FileMask, SeveralPatternsSeparatedBySemicolons) {
  EXPECT_TRUE(MatchesFileMask("x.lyr", "*.txt;*.lyr"));
  EXPECT_TRUE(MatchesFileMask("x.TXT", "*.txt;*.lyr"));
  EXPECT_FALSE(MatchesFileMask("x.doc", "*.txt;*.lyr"));
  // An empty pattern between separators matches nothing.
  EXPECT_FALSE(MatchesFileMask("x.doc", "*.txt;;"));
  EXPECT_FALSE(MatchesFileMask("x.doc", ""));
}

class FileListTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    for (const char* name : {"b.txt", "A.TXT", "a10.txt", "a2.txt", "C.Txt", "c.txt", "notes.lyr",
                             "x.txt.bak", ".hidden.txt"}) {
      WriteFile(folder_.filePath(name), "x");
    }
    ASSERT_TRUE(QDir(folder_.path()).mkdir("folder.txt"));
  }

  QTemporaryDir folder_;
};

TEST_F(FileListTest, ListsMatchingRegularFilesSortedIgnoringCase) {
  // "a.txt" sorts before "a10.txt" ('.' < '1'); "C.Txt" and "c.txt" differ by case
  // only and keep a fixed order. Folders and hidden files are not listed.
  EXPECT_EQ(ListMatchingFiles(folder_.path(), "*.txt"),
            QStringList({"A.TXT", "a10.txt", "a2.txt", "b.txt", "C.Txt", "c.txt"}));
  EXPECT_EQ(ListMatchingFiles(folder_.path(), "*.LYR"), QStringList({"notes.lyr"}));
}

TEST_F(FileListTest, AFolderThatCannotBeReadListsNothing) {
  EXPECT_TRUE(ListMatchingFiles(folder_.filePath("missing"), "*.txt").isEmpty());
}

TEST_F(FileListTest, FileListBoxFollowsItsFolderAndMask) {
  TFileListBox list;
  EXPECT_EQ(list.Mask(), "*.txt");
  EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);

  list.SetDirectory(folder_.path());
  EXPECT_EQ(list.Directory(), folder_.path());
  EXPECT_EQ(list.Names(), QStringList({"A.TXT", "a10.txt", "a2.txt", "b.txt", "C.Txt", "c.txt"}));
  EXPECT_EQ(list.Name(3), "b.txt");

  list.SetMask("*.lyr");
  EXPECT_EQ(list.Names(), QStringList({"notes.lyr"}));

  // A file that appears later shows after Refresh, not before.
  WriteFile(folder_.filePath("z.LYR"), "x");
  EXPECT_EQ(list.count(), 1);
  list.Refresh();
  EXPECT_EQ(list.Names(), QStringList({"notes.lyr", "z.LYR"}));
}

TEST_F(FileListTest, NameOutsideTheListThrows) {
  TFileListBox list;
  list.SetDirectory(folder_.path());
  EXPECT_THROW(list.Name(-1), std::out_of_range);
  EXPECT_THROW(list.Name(list.count()), std::out_of_range);
}

}  // namespace
}  // namespace lyrabook
