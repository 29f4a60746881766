#pragma once
// The file list of the main window: the names of the files of one folder that
// match a mask, sorted by name ignoring letter case, one selectable at a time.
// The import and the removal work on the names it shows.

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace lyrabook {

class TFileListBox : public QListWidget {
  Q_OBJECT

 public:
  // Lists the process's current directory with the mask "*.txt".
  explicit TFileListBox(QWidget* parent = nullptr);

  // The folder whose files are listed.
  QString Directory() const { return directory_; }
  // Lists the files of `directory`. A folder that cannot be read lists nothing.
  void SetDirectory(const QString& directory);

  QString Mask() const { return mask_; }
  // Sets the mask (see MatchesFileMask) and lists the folder again.
  void SetMask(const QString& mask);

  // Reads the folder again.
  void Refresh();

  // The listed names, in list order: with extension, without folder.
  QStringList Names() const;
  // The name at `index`; throws std::out_of_range outside 0 to count() - 1.
  QString Name(int index) const;

 private:
  QString directory_;
  QString mask_;
};

// The names of the regular files of `directory` (hidden ones left out) that
// match `mask`, sorted by name ignoring letter case.
QStringList ListMatchingFiles(const QString& directory, const QString& mask);

}  // namespace lyrabook
