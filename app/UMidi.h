#pragma once
// The main window: a folder list, the list of lyric files in it, and the
// buttons that import those files into the song catalogue, remove the
// selected song, write the conversion batch and end the program.
//
// Threads. Import and removal run in the workers of TaskThread1 and
// TaskThread2, so the window stays responsive; everything they do to the
// window (button states, the status line, message boxes) is carried to the
// window thread through the dispatcher and waited for. While one of them
// runs, "ลงรายชื่อเพลง", "ลบเพลง" and "ปิด" are disabled, so the catalogue
// has one user at a time; "แปลงระบบ" stays usable and runs in the window thread.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/DirectoryListBox.h"
#include "app/FileListBox.h"
#include "app/MessagePresenter.h"
#include "app/QtDispatcher.h"
#include "app/SearchWindow.h"
#include "app/catalogue/SongCatalogue.h"
#include "runner/TaskThread.h"

namespace lyrabook {

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Stand-ins for the window's three operations, for tests that need them to
  // run slowly or fail. An empty one leaves the window's own operation.
  struct TOperations {
    std::function<void()> ImportSongFiles;
    std::function<void()> RemoveSelectedSong;
    std::function<void()> WriteConversionBatch;
  };

  // Builds the window and every control. `messages` shows the message and
  // error boxes and must outlive the window; `programFolder` is the folder of
  // the program with a trailing '/', where "usersong" is looked for.
  // Must be made on the window thread.
  TForm1(TMessagePresenter& messages, std::string programFolder, TOperations operations = {});
  // While an import or a removal runs, waits for it to end, serving the window
  // thread's events meanwhile.
  ~TForm1() override;

  // True while an import or a removal runs.
  bool IsBusy() const;

  // The four table password slots, Password1 to Password4. Empty until the
  // window is first shown; the fourth is never filled.
  std::array<std::string, 4> TablePasswords() const;

  // The controls, under the names the rest of the program knows them by.
  // Owned by the window.
  TDirectoryListBox* DirectoryListBox1;
  TFileListBox* FileListBox1;
  QPushButton* Button4;
  QPushButton* Button1;
  QPushButton* Button3;
  QPushButton* Button2;
  QLabel* Label1;
  // In the free space below "แปลงระบบ": open the search window, write the
  // song book.
  QPushButton* SearchButton;
  QPushButton* SongBookButton;

  // Asks where "สมุดเพลง" writes the song book (.pdf or .html); empty when
  // the user declines. A file dialog unless a test puts its own answer.
  std::function<QString()> AskSongBookFileName;

  // The search window once "ค้นหาเพลง" has opened it (null before).
  TSearchWindow* SearchWindow() const { return searchWindow_.get(); }
  // Beyond the catalogue's own controls: the import's progress under the
  // status line, and "ยกเลิก", which asks a running import to stop between
  // two files.
  QProgressBar* ImportProgress;
  QPushButton* CancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void CentreOnScreen();

  // Window thread handlers. Each passes an error to ReportErrors.
  void FormShow();
  void Button4Click();
  void Button1Click();
  void Button3Click();
  void Button2Click();
  void SearchButtonClick();
  void SongBookButtonClick();
  void DirectoryListBox1Choose(const QString& directory);
  void CancelButtonClick();
  // TaskThread1's progress event: the files done of the total.
  void ShowImportProgress();

  // Worker handlers.
  void TaskThread1Execute(runner::TTaskThreadBase* Sender, runner::TTaskExecuteThread* Thread,
                          void*& Data);
  void TaskThread2Execute(runner::TTaskThreadBase* Sender, runner::TTaskExecuteThread* Thread,
                          void*& Data);
  // Enables or disables Button1, Button2 and Button4, in that order, on the
  // window thread; from a worker it waits until that has been done.
  void SetOperationButtonsEnabled(bool enabled);

  void AssignTablePasswords();
  // Returns the files imported and whether the import was asked to stop
  // before the last one.
  int ImportSongFiles(runner::TTaskExecuteThread& thread, bool& stopped);
  void RemoveSelectedSong();
  void WriteConversionBatch();

  // Runs `handler` on the window thread; an exception it throws is shown in
  // the default error box instead of crossing Qt's event loop.
  void ReportErrors(const std::function<void()>& handler);

  TMessagePresenter& messages_;
  const std::string programFolder_;
  const TOperations operations_;
  bool shownBefore_ = false;
  // Set by the import's worker, read by the progress event.
  std::atomic<int> filesDone_{0};
  std::atomic<int> filesTotal_{0};

  // dbSong, tbSong, tbList, Query1 and the password slots Password1 to
  // Password4; made with the window, as its stored definition would.
  TSongCatalogue catalogue_;
  // Made on the first "ค้นหาเพลง" and kept, so that it keeps its text.
  std::unique_ptr<TSearchWindow> searchWindow_;

  // Declared before the task threads, so that it outlives their workers.
  TQtDispatcher dispatcher_;
  runner::TTaskThread TaskThread1;
  runner::TTaskThread TaskThread2;
};

}  // namespace lyrabook
