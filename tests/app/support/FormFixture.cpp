#include "support/FormFixture.h"

#include <QDir>

namespace lyrabook::test {

void FormTest::SetUp() {
  ASSERT_TRUE(programFolder_.isValid());
  savedDirectory_ = QDir::currentPath();
  applicationErrorsBefore_ = ApplicationErrors().boxes.size();
}

void FormTest::TearDown() {
  gate_.Open();
  secondGate_.Open();
  form_.reset();
  QDir::setCurrent(savedDirectory_);
  // Nothing the window did may have escaped to the application's error box.
  EXPECT_EQ(ApplicationErrors().boxes.size(), applicationErrorsBefore_);
}

QString FormTest::MakeUsersong(std::initializer_list<const char*> files) {
  const QString usersong = ProgramFolder() + "usersong";
  EXPECT_TRUE(QDir().mkpath(usersong));
  for (const char* name : files) WriteFile(usersong + "/" + name, "x");
  return usersong;
}

TForm1& FormTest::MakeForm(TForm1::TOperations operations) {
  form_ = std::make_unique<TForm1>(messages_, ProgramFolder().toStdString(), std::move(operations));
  return *form_;
}

}  // namespace lyrabook::test
