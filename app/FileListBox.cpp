#include "app/FileListBox.h"

#include <QDir>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/FileMask.h"

namespace lyrabook {

TFileListBox::TFileListBox(QWidget* parent)
    : QListWidget(parent), directory_(QDir::currentPath()), mask_(QStringLiteral("*.txt")) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  Refresh();
}

void TFileListBox::SetDirectory(const QString& directory) {
  directory_ = directory;
  Refresh();
}

void TFileListBox::SetMask(const QString& mask) {
  mask_ = mask;
  Refresh();
}

void TFileListBox::Refresh() {
  clear();
  addItems(ListMatchingFiles(directory_, mask_));
}

QStringList TFileListBox::Names() const {
  QStringList names;
  names.reserve(count());
  for (int i = 0; i < count(); ++i) names << item(i)->text();
  return names;
}

QString TFileListBox::Name(int index) const {
  if (index < 0 || index >= count()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return item(index)->text();
}

QStringList ListMatchingFiles(const QString& directory, const QString& mask) {
  // Qt's own name filters fold case by Unicode rules; masks fold ASCII only,
  // so every file is listed and the mask applied here.
  const QStringList files = QDir(directory).entryList(QDir::Files, QDir::NoSort);
  QStringList names;
  for (const QString& name : files) {
    if (MatchesFileMask(name, mask)) names << name;
  }
  // Names equal but for case keep a fixed order between them.
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
  });
  return names;
}

}  // namespace lyrabook
