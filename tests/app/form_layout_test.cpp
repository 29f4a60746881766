#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <vector>

#include "app/WindowFont.h"
#include "support/FormFixture.h"

namespace lyrabook {
namespace {

using test::FormTest;

TEST_F(FormTest, WindowCaptionAndSize) {
  TForm1& form = MakeForm();
  EXPECT_EQ(form.windowTitle(), "เพิ่มรายชื่อเพลง");
  EXPECT_EQ(form.size(), QSize(476, 354));
}

TEST_F(FormTest, ControlsSitWhereTheWindowPlacesThem) {
  TForm1& form = MakeForm();
  struct TButton {
    QPushButton* button;
    const char* caption;
    QRect geometry;
  };
  const std::vector<TButton> buttons = {
      {form.Button4, "ลงรายชื่อเพลง", QRect(350, 10, 111, 31)},
      {form.Button1, "ลบเพลง", QRect(350, 45, 111, 26)},
      {form.Button3, "แปลงระบบ", QRect(350, 90, 111, 31)},
      {form.Button2, "ปิด", QRect(350, 265, 111, 41)},
  };
  for (const TButton& b : buttons) {
    EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
    EXPECT_EQ(b.button->geometry(), b.geometry) << b.caption;
    EXPECT_TRUE(b.button->isEnabled()) << b.caption;
  }
  EXPECT_EQ(form.DirectoryListBox1->geometry(), QRect(5, 10, 180, 296));
  EXPECT_EQ(form.FileListBox1->geometry(), QRect(190, 10, 156, 296));
  EXPECT_EQ(form.FileListBox1->Mask(), "*.txt");
  EXPECT_EQ(form.Label1->text(), "Song :");
  EXPECT_EQ(form.Label1->pos(), QPoint(5, 310));
  // Sized to its text, and so fully inside the window.
  EXPECT_EQ(form.Label1->size(), form.Label1->sizeHint());
  EXPECT_LE(form.Label1->geometry().bottom(), form.height());
}

TEST_F(FormTest, TabOrderFollowsTheButtonsOfTheWindow) {
  TForm1& form = MakeForm();
  const std::vector<QWidget*> expected = {form.Button4, form.FileListBox1,      form.Button1,
                                          form.Button2, form.DirectoryListBox1, form.Button3};
  // Walk the focus chain once round and keep the six controls in the order met.
  std::vector<QWidget*> met;
  QWidget* widget = form.Button4;
  do {
    if (std::find(expected.begin(), expected.end(), widget) != expected.end())
      met.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != form.Button4);
  EXPECT_EQ(met, expected);
  EXPECT_EQ(form.Label1->focusPolicy(), Qt::NoFocus);
}

TEST_F(FormTest, CaptionsUseAFontThatShowsThai) {
  TForm1& form = MakeForm();
  const QStringList thaiFamilies = QFontDatabase::families(QFontDatabase::Thai);
  ASSERT_FALSE(thaiFamilies.isEmpty()) << "no Thai font installed (fonts-thai-tlwg)";
  EXPECT_TRUE(thaiFamilies.contains(form.Button4->font().family()))
      << form.Button4->font().family().toStdString();
  EXPECT_EQ(form.Button4->font().pixelSize(), 11);
  EXPECT_TRUE(QFontMetrics(form.Button4->font()).inFontUcs4(U'ล'));
}

TEST(WindowFont, PrefersTheDesignedFamilyThenKnownThaiFamilies) {
  EXPECT_EQ(ChooseWindowFontFamily({"Garuda", "MS Sans Serif", "Loma"}), "MS Sans Serif");
  EXPECT_EQ(ChooseWindowFontFamily({"Waree", "Garuda", "Loma"}), "Loma");
  EXPECT_EQ(ChooseWindowFontFamily({"Noto Sans Thai", "Umpush"}), "Umpush");
  EXPECT_EQ(ChooseWindowFontFamily({"Noto Sans Thai"}), "Noto Sans Thai");
  EXPECT_EQ(ChooseWindowFontFamily({}), "MS Sans Serif");
}

TEST_F(FormTest, FirstShowCentresTheWindowOnTheScreen) {
  MakeUsersong({});
  TForm1& form = MakeForm();
  form.show();
  const QRect available = form.screen()->availableGeometry();
  EXPECT_LE(std::abs(form.frameGeometry().center().x() - available.center().x()), 1);
  EXPECT_LE(std::abs(form.frameGeometry().center().y() - available.center().y()), 1);

  // Shown again after the user moved it, it stays where the user put it.
  form.hide();
  form.move(3, 4);
  form.show();
  EXPECT_EQ(form.pos(), QPoint(3, 4));
}

}  // namespace
}  // namespace lyrabook
