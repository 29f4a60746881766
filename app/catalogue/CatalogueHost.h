#pragma once
// What the catalogue operations need of the window (or of the command-line
// tool standing in for it): the file list, the status line, message boxes,
// and the folder list the conversion batch walks.

#include <string>
#include <string_view>
#include <vector>

namespace lyrabook {

// The lyric files an operation works on, as the file list shows them.
class TFileList {
 public:
  virtual ~TFileList() = default;
  virtual int Count() = 0;
  // The name at `index` (UTF-8, no folder part) as the list holds it now.
  virtual std::string NameAt(int index) = 0;
  // The list's folder joined with the selected name; empty when none.
  virtual std::string SelectedFileName() = 0;
};

class TStatusLine {
 public:
  virtual ~TStatusLine() = default;
  // `text` is code page 874 bytes, as the catalogue holds its texts.
  virtual void ShowStatus(std::string_view text) = 0;
};

class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  // Shows `text` (UTF-8) and waits until it is closed.
  virtual void ShowMessage(std::string_view text) = 0;
};

// The folder and file lists as the conversion batch moves them.
class TLyricFolders {
 public:
  virtual ~TLyricFolders() = default;
  // The folder list's folder, without a trailing separator.
  virtual std::string CurrentFolder() = 0;
  virtual void SetMask(std::string_view mask) = 0;
  // Moves the folder list, and the current directory, to `folder` and
  // refills the file list; an input/output error when it cannot be entered.
  virtual void SetFolder(const std::string& folder) = 0;
  // The file list's names, in list order.
  virtual std::vector<std::string> Names() = 0;
};

// Starts the conversion batch; true when the launcher started.
class TBatchLauncher {
 public:
  virtual ~TBatchLauncher() = default;
  virtual bool Start(const std::string& batchFile, const std::string& folder) = 0;
};

}  // namespace lyrabook
