// The search window over a real catalogue: the table follows the text as it
// is typed, shows Thai as Thai, is read-only, and shows songs imported while
// it was open; "ค้นหาเพลง" in the main window's free space opens it.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <filesystem>

#include "app/SearchWindow.h"
#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/SongImport.h"
#include "engine/Engine.h"
#include "platform/Cp874.h"
#include "support/FormFixture.h"
#include "support/ListedFiles.h"

namespace lyrabook {
namespace {

using test::FormTest;

using test::TNames;
using test::TNoStatus;

class SearchWindowTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    quire::StartEngine();
    folder_ = ProgramFolder().toStdString();
    std::filesystem::copy(LYRABOOK_DEMO_FOLDER "/usersong", folder_ + "usersong");
    CreateCatalogueTables(Data());
    Import({"10001.txt", "10002.txt", "10003.txt", "10004.txt", "A0005.TXT"});
  }

  std::string Data() const { return folder_ + "Data"; }

  // Imports files of usersong, as the window's import does.
  void Import(std::vector<std::string> names) {
    QDir::setCurrent(QString::fromStdString(folder_ + "usersong"));
    TSongCatalogue catalogue;
    catalogue.AssignTablePasswords();
    TNames files(std::move(names));
    TNoStatus status;
    ImportSongFiles(catalogue, Data(), files, status);
  }

  static std::vector<QString> Column(const TSearchWindow& window, int column) {
    std::vector<QString> texts;
    for (int row = 0; row < window.SongTable->rowCount(); ++row)
      texts.push_back(window.SongTable->item(row, column)->text());
    return texts;
  }

  std::string folder_;
};

TEST_F(SearchWindowTest, TableFollowsTheTextAsItIsTyped) {
  TSearchWindow window(Data());
  window.show();
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("ค้นหาเพลง"));
  EXPECT_EQ(window.SongTable->rowCount(), 0);  // nothing typed, nothing listed
  // "ด": ดอกไม้ริมทาง by name and ดวงใจ ริมน้ำ by singer are one song.
  window.SearchBox->insert(QString::fromUtf8("ด"));
  EXPECT_EQ(Column(window, 0), std::vector<QString>{"A0005"});
  EXPECT_EQ(Column(window, 1), std::vector<QString>{QString::fromUtf8("ดอกไม้ริมทาง")});
  EXPECT_EQ(Column(window, 2), std::vector<QString>{QString::fromUtf8("ดวงใจ ริมน้ำ")});
  EXPECT_EQ(window.CountLabel->text(), QString::fromUtf8("พบ 1 เพลง"));
  // Each further letter narrows the list; a backspace widens it again.
  window.SearchBox->insert(QString::fromUtf8("ว"));
  EXPECT_EQ(Column(window, 1), std::vector<QString>{QString::fromUtf8("ดอกไม้ริมทาง")});
  window.SearchBox->insert(QString::fromUtf8("x"));
  EXPECT_EQ(window.SongTable->rowCount(), 0);
  EXPECT_EQ(window.CountLabel->text(), QString::fromUtf8("พบ 0 เพลง"));
  window.SearchBox->backspace();
  window.SearchBox->backspace();
  EXPECT_EQ(window.SongTable->rowCount(), 1);
  // Codes, ignoring the case of Latin letters.
  window.SearchBox->setText("a0");
  EXPECT_EQ(Column(window, 0), std::vector<QString>{"A0005"});
  window.SearchBox->setText("1000");
  EXPECT_EQ(Column(window, 0), (std::vector<QString>{"10001", "10002", "10003", "10004"}));
  // Only singers: "(วง" is a band's name, never a song's.
  window.SearchBox->setText(QString::fromUtf8("(ว"));
  window.KindBox->setCurrentIndex(2);
  EXPECT_EQ(Column(window, 0), std::vector<QString>{"10003"});
  window.KindBox->setCurrentIndex(1);
  EXPECT_EQ(window.SongTable->rowCount(), 0);
  window.SearchBox->clear();
  EXPECT_EQ(window.SongTable->rowCount(), 0);
  EXPECT_TRUE(window.CountLabel->text().isEmpty());
}

TEST_F(SearchWindowTest, ShowsWhatTheSearchFindsReadOnlyInAThaiFont) {
  TSearchWindow window(Data());
  TCatalogueSearch direct(Data());
  for (const char* text : {"ค", "ร", "ฝ", "ท", "1", "A", "ต้น"}) {
    window.SearchBox->setText(QString::fromUtf8(text));
    const TSearchResult found = direct.Find(*Utf8ToCp874(text));
    ASSERT_EQ(window.SongTable->rowCount(), static_cast<int>(found.Songs.size())) << text;
    ASSERT_FALSE(found.Songs.empty()) << text;
    for (int row = 0; row < window.SongTable->rowCount(); ++row) {
      EXPECT_EQ(window.SongTable->item(row, 0)->text().toStdString(),
                Cp874ToUtf8(found.Songs[row].Code));
      EXPECT_EQ(window.SongTable->item(row, 2)->text().toStdString(),
                Cp874ToUtf8(found.Songs[row].Singer));
      EXPECT_FALSE(window.SongTable->item(row, 1)->flags() & Qt::ItemIsEditable);
    }
  }
  EXPECT_EQ(window.SongTable->editTriggers(), QAbstractItemView::NoEditTriggers);
  // The font the table is drawn in has Thai letters.
  const QString family = QFontInfo(window.SongTable->font()).family();
  EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::Thai))
      << family.toStdString();
}

TEST_F(SearchWindowTest, ManyMatchesAreCutAndNewSongsShowOnTheNextSearch) {
  TSearchWindow window(Data());
  window.SearchBox->setText("Z");
  EXPECT_EQ(window.SongTable->rowCount(), 0);
  // Imported while the window stays open.
  std::vector<std::string> names;
  const std::size_t count = TSearchWindow::kShownSongs + 3;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = "Z" + std::to_string(1000 + i) + ".txt";
    test::WriteFile(QString::fromStdString(folder_ + "usersong/" + name),
                    "a\r\nb\r\nc\r\nd\r\nZebra\r\nZed\r\n");
    names.push_back(name);
  }
  Import(names);
  window.SearchBox->setText("ZE");
  EXPECT_EQ(window.SongTable->rowCount(), static_cast<int>(TSearchWindow::kShownSongs));
  EXPECT_EQ(window.CountLabel->text(),
            QString::fromUtf8("แสดง %1 เพลงแรก พิมพ์ต่อเพื่อให้แคบลง").arg(TSearchWindow::kShownSongs))
      << window.CountLabel->text().toStdString();
  window.SearchBox->setText("Z1002");
  EXPECT_EQ(Column(window, 0), std::vector<QString>{"Z1002"});
}

TEST_F(SearchWindowTest, AMissingCatalogueIsSaidInTheCountLine) {
  TSearchWindow window(folder_ + "Elsewhere");
  window.SearchBox->setText("a");
  EXPECT_EQ(window.SongTable->rowCount(), 0);
  EXPECT_FALSE(window.CountLabel->text().isEmpty());
}

TEST_F(SearchWindowTest, MainWindowOpensItFromItsFreeSpace) {
  TForm1& form = MakeForm();
  form.show();
  EXPECT_EQ(form.SearchButton->text(), QString::fromUtf8("ค้นหาเพลง"));
  EXPECT_EQ(form.SongBookButton->text(), QString::fromUtf8("สมุดเพลง"));
  // Below "แปลงระบบ", above "ปิด", inside the window, over no other control.
  for (QPushButton* added : {form.SearchButton, form.SongBookButton}) {
    EXPECT_TRUE(form.rect().contains(added->geometry()));
    for (QWidget* other : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (other != added) {
        EXPECT_FALSE(other->geometry().intersects(added->geometry()))
            << added->text().toStdString() << " over " << other->metaObject()->className();
      }
  }
  EXPECT_EQ(form.SearchWindow(), nullptr);
  form.SearchButton->click();
  ASSERT_NE(form.SearchWindow(), nullptr);
  EXPECT_TRUE(form.SearchWindow()->isVisible());
  form.SearchWindow()->SearchBox->setText(QString::fromUtf8("คิด"));
  EXPECT_EQ(Column(*form.SearchWindow(), 0), std::vector<QString>{"10002"});
  // A second click brings the same window back, with its text.
  form.SearchWindow()->hide();
  TSearchWindow* first = form.SearchWindow();
  form.SearchButton->click();
  EXPECT_EQ(form.SearchWindow(), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->SearchBox->text(), QString::fromUtf8("คิด"));
  EXPECT_TRUE(messages_.Errors().empty());
}

TEST_F(SearchWindowTest, SongBookButtonWritesTheFileAskedFor) {
  TForm1& form = MakeForm();
  form.show();
  const QString book = ProgramFolder() + "book.html";
  int asked = 0;
  form.AskSongBookFileName = [&] {
    ++asked;
    return asked == 1 ? QString() : book;
  };
  form.SongBookButton->click();  // declined: nothing written, nothing said
  EXPECT_FALSE(QFile::exists(book));
  EXPECT_TRUE(messages_.Messages().empty());
  form.SongBookButton->click();
  EXPECT_EQ(asked, 2);
  QFile file(book);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(file.readAll());
  for (const char* code : {"10001", "10002", "10003", "10004", "A0005"})
    EXPECT_EQ(html.count(QString::fromLatin1(">%1<").arg(code)), 1) << code;
  EXPECT_EQ(messages_.Messages(),
            std::vector<QString>{QString::fromUtf8("เขียนสมุดเพลง 5 เพลงลงใน %1 แล้ว").arg(book)});
  // A file the book cannot have is an error box, and the window goes on.
  form.AskSongBookFileName = [&] { return ProgramFolder() + "book.doc"; };
  form.SongBookButton->click();
  EXPECT_EQ(messages_.Errors().size(), 1u);
}

}  // namespace
}  // namespace lyrabook
