#include "app/DirectoryListBox.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QStyle>
#include <cerrno>
#include <system_error>

#include "app/InOutError.h"

namespace lyrabook {

namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem* AddFolder(QTreeWidgetItem* parent, QTreeWidget* tree, const QString& label,
                           const QString& path, const QIcon& icon) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  item->setText(0, label);
  item->setData(0, kPathRole, path);
  item->setIcon(0, icon);
  item->setToolTip(0, path);
  return item;
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent)
    : QTreeWidget(parent), directory_(QDir::currentPath()) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(8);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    emit DirectoryChosen(item->data(0, kPathRole).toString());
  });
  Fill();
}

void TDirectoryListBox::SetDirectory(const QString& directory) {
  if (::chdir(QFile::encodeName(directory).constData()) != 0) {
    const int error = errno;
    throw EInOutError(error, "Cannot open folder \"" + directory.toStdString() +
                                 "\": " + std::generic_category().message(error));
  }
  // getcwd names the folder reached, free of doubled separators, "." and "..".
  directory_ = QDir::currentPath();
  Fill();
  emit DirectoryChanged(directory_);
}

void TDirectoryListBox::Fill() {
  clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

  // The path from the root down to the chosen folder, one line per folder.
  QTreeWidgetItem* current =
      AddFolder(nullptr, this, QStringLiteral("/"), QStringLiteral("/"), openIcon);
  QString path;
  for (const QString& part : directory_.split(u'/', Qt::SkipEmptyParts)) {
    path += u'/' + part;
    current = AddFolder(current, this, part, path, openIcon);
  }
  // Then the folders inside it.
  const QDir chosen(directory_);
  const QStringList children =
      chosen.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& child : children) {
    AddFolder(current, this, child, chosen.filePath(child), closedIcon);
  }
  expandAll();
  setCurrentItem(current);
  scrollToItem(current);
}

}  // namespace lyrabook
