#include "app/WindowHosts.h"

#include <QDir>

#include "platform/Cp874.h"

namespace lyrabook {

int TWindowFileList::Count() {
  int count = 0;
  dispatcher_.Send([&] { count = list_.count(); });
  return count;
}

std::string TWindowFileList::NameAt(int index) {
  std::string name;
  dispatcher_.Send([&] { name = list_.Name(index).toStdString(); });
  return name;
}

std::string TWindowFileList::SelectedFileName() {
  std::string name;
  dispatcher_.Send([&] {
    const QListWidgetItem* item = list_.currentItem();
    if (item != nullptr && item->isSelected())
      name = QDir(list_.Directory()).filePath(item->text()).toStdString();
  });
  return name;
}

void TWindowStatusLine::ShowStatus(std::string_view text) {
  const QString shown = QString::fromStdString(Cp874ToUtf8(text));
  dispatcher_.Send([&] {
    label_.setText(shown);
    label_.adjustSize();
  });
}

void TWindowMessages::ShowMessage(std::string_view text) {
  const QString shown = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
  dispatcher_.Send([&] { presenter_.ShowMessage(shown); });
}

std::string TWindowFolders::CurrentFolder() {
  QString folder = QDir::cleanPath(folders_.Directory());
  return folder.toStdString();
}

void TWindowFolders::SetMask(std::string_view mask) {
  files_.SetMask(QString::fromStdString(std::string(mask)));
}

void TWindowFolders::SetFolder(const std::string& folder) {
  folders_.SetDirectory(QString::fromStdString(folder));
}

std::vector<std::string> TWindowFolders::Names() {
  std::vector<std::string> names;
  for (const QString& name : files_.Names()) names.push_back(name.toStdString());
  return names;
}

}  // namespace lyrabook
