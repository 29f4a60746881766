// The import's progress bar and its cancel button over a real catalogue.

#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>
#include <fstream>

#include "app/catalogue/CatalogueDefinition.h"
#include "engine/DataFile.h"
#include "support/FormFixture.h"

namespace lyrabook {
namespace {

using test::FormTest;
using test::PumpUntil;

constexpr int kFiles = 40;

class FormImportProgressTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    const std::string folder = ProgramFolder().toStdString();
    std::filesystem::create_directories(folder + "usersong");
    for (int i = 1; i <= kFiles; ++i) {
      const std::string code = "F" + std::to_string(1000 + i);
      std::ofstream(folder + "usersong/" + code + ".txt", std::ios::binary)
          << "m\r\nG\r\nx\r\nF\r\nName " << code << "\r\nSinger\r\nAuthor\r\n";
    }
    CreateCatalogueTables(folder + "Data");
  }

  int SongRows() {
    quire::TDataFile song;
    song.SetFileName(ProgramFolder().toStdString() + "Data/Song.DAT");
    song.Open();
    return song.RecordCount();
  }
};

TEST_F(FormImportProgressTest, AFullImportEndsWithEveryFileCountedAndNoCancel) {
  TForm1& form = MakeForm();
  form.show();
  EXPECT_FALSE(form.CancelButton->isEnabled());
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button4->isEnabled(); }));
  EXPECT_EQ(form.ImportProgress->maximum(), kFiles);
  EXPECT_EQ(form.ImportProgress->value(), kFiles);
  EXPECT_FALSE(form.CancelButton->isEnabled());
  EXPECT_EQ(messages_.Messages(), std::vector<QString>{QString::fromUtf8("เสร็จสิ้นการทำงาน")});
  EXPECT_EQ(SongRows(), kFiles);
}

TEST_F(FormImportProgressTest, CancelStopsBetweenTwoFilesAndTellsHowManyWereImported) {
  TForm1& form = MakeForm();
  form.show();
  form.Button4->click();
  // The worker waits for the window to show each status line, so the third
  // file is being imported when the cancel is pressed: the import stops
  // before the fourth or, if the third was done first, the fifth.
  ASSERT_TRUE(PumpUntil([&] { return form.Label1->text() == QStringLiteral("Song : F1003"); }));
  ASSERT_TRUE(form.CancelButton->isEnabled());
  form.CancelButton->click();
  EXPECT_FALSE(form.CancelButton->isEnabled());
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button4->isEnabled(); }));
  const int imported = SongRows();
  EXPECT_GE(imported, 3);
  EXPECT_LE(imported, 4);
  EXPECT_EQ(messages_.Messages(),
            std::vector<QString>{QString::fromUtf8("ยกเลิกแล้ว ลงรายชื่อเพลงได้ ") +
                                 QString::number(imported) + QString::fromUtf8(" ไฟล์")});
  EXPECT_EQ(form.ImportProgress->maximum(), kFiles);
  EXPECT_EQ(form.ImportProgress->value(), imported);
  // A second import runs to the end.
  form.Button4->click();
  ASSERT_TRUE(PumpUntil([&] { return !form.IsBusy() && form.Button4->isEnabled(); }));
  EXPECT_EQ(SongRows(), kFiles);
}

}  // namespace
}  // namespace lyrabook
