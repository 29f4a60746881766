#pragma once
// The main window as the catalogue operations see it: its file list, its
// status line, its message boxes and its folder lists. A worker's calls are
// carried to the window thread and waited for, so that each reads the list
// as it is at that moment and each change is on screen before it goes on.

#include "app/DirectoryListBox.h"
#include "app/FileListBox.h"
#include "app/MessagePresenter.h"
#include "app/catalogue/CatalogueHost.h"
#include "runner/Dispatcher.h"

#include <QLabel>

namespace lyrabook {

class TWindowFileList : public TFileList {
 public:
  TWindowFileList(runner::TDispatcher& dispatcher, TFileListBox& list)
      : dispatcher_(dispatcher), list_(list) {}
  int Count() override;
  std::string NameAt(int index) override;
  std::string SelectedFileName() override;

 private:
  runner::TDispatcher& dispatcher_;
  TFileListBox& list_;
};

class TWindowStatusLine : public TStatusLine {
 public:
  TWindowStatusLine(runner::TDispatcher& dispatcher, QLabel& label)
      : dispatcher_(dispatcher), label_(label) {}
  // Shows code page 874 text decoded, sized to it.
  void ShowStatus(std::string_view text) override;

 private:
  runner::TDispatcher& dispatcher_;
  QLabel& label_;
};

class TWindowMessages : public TMessageBoxes {
 public:
  TWindowMessages(runner::TDispatcher& dispatcher, TMessagePresenter& presenter)
      : dispatcher_(dispatcher), presenter_(presenter) {}
  void ShowMessage(std::string_view text) override;

 private:
  runner::TDispatcher& dispatcher_;
  TMessagePresenter& presenter_;
};

// The folder and file lists, moved by the conversion batch in the window
// thread.
class TWindowFolders : public TLyricFolders {
 public:
  TWindowFolders(TDirectoryListBox& folders, TFileListBox& files)
      : folders_(folders), files_(files) {}
  std::string CurrentFolder() override;
  void SetMask(std::string_view mask) override;
  void SetFolder(const std::string& folder) override;
  std::vector<std::string> Names() override;

 private:
  TDirectoryListBox& folders_;
  TFileListBox& files_;
};

}  // namespace lyrabook
