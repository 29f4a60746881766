// The window's own operations over a real catalogue beside a temporary
// program folder: the demo lyric files imported through "ลงรายชื่อเพลง",
// the status line, the completion message, removal of the selected file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <filesystem>

#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/SongCatalogue.h"
#include "engine/DataFile.h"
#include "engine/Value.h"
#include "support/FormFixture.h"

namespace lyrabook {
namespace {

using test::FormTest;
using test::PumpUntil;

const QString kCompletion = QString::fromUtf8("เสร็จสิ้นการทำงาน");

class FormCatalogueTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    const std::string folder = ProgramFolder().toStdString();
    std::filesystem::copy(LYRABOOK_DEMO_FOLDER "/usersong", folder + "usersong");
    CreateCatalogueTables(folder + "Data");
  }

  // The codes in Song, and the number of List rows, read straight from the
  // files (the window's import has registered the passwords).
  std::pair<std::vector<std::string>, int> Catalogue() {
    const std::string data = ProgramFolder().toStdString() + "Data/";
    quire::TDataFile song;
    song.SetFileName(data + "Song.DAT");
    song.Open();
    std::vector<std::string> codes;
    std::vector<std::uint8_t> record = song.NewRecordBuffer();
    song.First();
    while (song.GetNextRecord(record) == 0)
      codes.push_back(quire::ReadValue(song.LogicalFields()[0], record).Text);
    quire::TDataFile list;
    list.SetFileName(data + "list.DAT");
    list.Open();
    return {codes, list.RecordCount()};
  }
};

TEST_F(FormCatalogueTest, ImportFillsTheCatalogueFromTheListedFiles) {
  TForm1& form = MakeForm();
  form.show();
  ASSERT_EQ(form.FileListBox1->count(), 5);
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button4->isEnabled(); }));
  EXPECT_EQ(messages_.Messages(), std::vector<QString>{kCompletion});
  EXPECT_TRUE(messages_.Errors().empty());
  // The status line shows the last file's code.
  EXPECT_EQ(form.Label1->text(), QStringLiteral("Song : A0005"));
  const auto [codes, listRows] = Catalogue();
  EXPECT_EQ(codes, (std::vector<std::string>{"10001", "10002", "10003", "10004", "A0005"}));
  EXPECT_EQ(listRows, 15);
  // The window's table passwords are registered once and only once.
  EXPECT_EQ(form.TablePasswords()[0], std::string(kPassword1));
  EXPECT_TRUE(form.TablePasswords()[3].empty());
}

TEST_F(FormCatalogueTest, RemovalDeletesTheSelectedFilesSong) {
  TForm1& form = MakeForm();
  form.show();
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button4->isEnabled(); }));
  form.FileListBox1->setCurrentRow(1);  // 10002.txt
  form.Button1->click();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button1->isEnabled(); }));
  EXPECT_EQ(messages_.Messages(), (std::vector<QString>{kCompletion, kCompletion}));
  const auto [codes, listRows] = Catalogue();
  EXPECT_EQ(codes, (std::vector<std::string>{"10001", "10003", "10004", "A0005"}));
  EXPECT_EQ(listRows, 12);
}

}  // namespace
}  // namespace lyrabook
