#pragma once
// The folder list of the main window. It shows the chosen folder as a path
// from the root, one line per folder, followed by the folders inside it; the
// chosen folder is always the process's current directory, because the import
// opens the listed files by their bare names.

#include <QString>
#include <QTreeWidget>

namespace lyrabook {

class TDirectoryListBox : public QTreeWidget {
  Q_OBJECT

 public:
  // Shows the process's current directory; does not change it.
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The chosen folder, absolute and without symbolic links.
  QString Directory() const { return directory_; }

  // Makes `directory` the process's current directory, shows it and emits
  // DirectoryChanged. When the folder cannot be entered, throws EInOutError
  // and changes nothing: neither the current directory nor the list.
  void SetDirectory(const QString& directory);

 signals:
  // After a successful SetDirectory, with the new folder.
  void DirectoryChanged(const QString& directory);
  // The user opened a folder of the list (double click or Enter). The list
  // does not move by itself: its owner calls SetDirectory, so that a failure
  // reaches the owner's error handling.
  void DirectoryChosen(const QString& directory);

 protected:
  // Every line is always open, so no expand or collapse marks are drawn.
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  void Fill();

  QString directory_;
};

}  // namespace lyrabook
