#include "app/UMidi.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <cstdint>

#include "app/ExceptionText.h"
#include "app/WindowFont.h"
#include "app/WindowHosts.h"
#include "app/catalogue/ConversionBatch.h"
#include "app/catalogue/SongBookWriter.h"
#include "app/catalogue/SongImport.h"
#include "app/catalogue/SongRemoval.h"

namespace lyrabook {

namespace {

const char kCaption[] = "เพิ่มรายชื่อเพลง";

QPushButton* MakeButton(QWidget* window, const char* caption, int left, int top, int width,
                        int height) {
  auto* button = new QPushButton(QString::fromUtf8(caption), window);
  button->setGeometry(left, top, width, height);
  return button;
}

}  // namespace

TForm1::TForm1(TMessagePresenter& messages, std::string programFolder, TOperations operations)
    : messages_(messages),
      programFolder_(std::move(programFolder)),
      operations_(std::move(operations)),
      TaskThread1(dispatcher_),
      TaskThread2(dispatcher_) {
  CreateControls();
  TaskThread1.SetOnExecute([this](runner::TTaskThreadBase* sender,
                                  runner::TTaskExecuteThread* thread,
                                  void*& data) { TaskThread1Execute(sender, thread, data); });
  TaskThread1.SetOnUpdate([this](runner::TTaskThreadBase*, runner::TTaskExecuteThread*, void*&,
                                 int) { ShowImportProgress(); });
  TaskThread2.SetOnExecute([this](runner::TTaskThreadBase* sender,
                                  runner::TTaskExecuteThread* thread,
                                  void*& data) { TaskThread2Execute(sender, thread, data); });
}

// The task threads' own destructors do the waiting; they run before the
// controls go, so a worker's last calls into the window still find them.
TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  setWindowTitle(QString::fromUtf8(kCaption));
  setFont(WindowFont());
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Window);
  resize(476, 354);

  DirectoryListBox1 = new TDirectoryListBox(this);
  DirectoryListBox1->setGeometry(5, 10, 180, 296);
  FileListBox1 = new TFileListBox(this);
  FileListBox1->setGeometry(190, 10, 156, 296);
  FileListBox1->SetDirectory(DirectoryListBox1->Directory());
  Button4 = MakeButton(this, "ลงรายชื่อเพลง", 350, 10, 111, 31);
  Button1 = MakeButton(this, "ลบเพลง", 350, 45, 111, 26);
  Button3 = MakeButton(this, "แปลงระบบ", 350, 90, 111, 31);
  Button2 = MakeButton(this, "ปิด", 350, 265, 111, 41);
  SearchButton = MakeButton(this, "ค้นหาเพลง", 350, 130, 111, 31);
  SongBookButton = MakeButton(this, "สมุดเพลง", 350, 165, 111, 31);
  Label1 = new QLabel(QStringLiteral("Song :"), this);
  Label1->move(5, 310);
  Label1->adjustSize();
  ImportProgress = new QProgressBar(this);
  ImportProgress->setGeometry(5, 330, 341, 18);
  ImportProgress->setRange(0, 1);
  ImportProgress->setValue(0);
  ImportProgress->setFormat(QStringLiteral("%v / %m"));
  CancelButton = MakeButton(this, "ยกเลิก", 350, 229, 111, 31);
  CancelButton->setEnabled(false);

  // Tab order: Button4, FileListBox1, Button1, Button2, DirectoryListBox1, Button3.
  setTabOrder(Button4, FileListBox1);
  setTabOrder(FileListBox1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, DirectoryListBox1);
  setTabOrder(DirectoryListBox1, Button3);
  setTabOrder(Button3, SearchButton);
  setTabOrder(SearchButton, SongBookButton);
  Button4->setFocus();

  connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, FileListBox1,
          &TFileListBox::SetDirectory);
  connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChosen, this,
          [this](const QString& directory) { DirectoryListBox1Choose(directory); });
  connect(Button4, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { Button4Click(); }); });
  connect(Button1, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { Button1Click(); }); });
  connect(Button3, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { Button3Click(); }); });
  connect(Button2, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { Button2Click(); }); });
  connect(SearchButton, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { SearchButtonClick(); }); });
  connect(SongBookButton, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { SongBookButtonClick(); }); });
  AskSongBookFileName = [this] {
    return QFileDialog::getSaveFileName(this, QString::fromUtf8("สมุดเพลง"),
                                        QString::fromStdString(programFolder_ + "songbook.pdf"),
                                        QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
  };
  connect(CancelButton, &QPushButton::clicked, this,
          [this] { ReportErrors([this] { CancelButtonClick(); }); });
}

bool TForm1::IsBusy() const {
  return TaskThread1.IsRunning() || TaskThread2.IsRunning();
}

std::array<std::string, 4> TForm1::TablePasswords() const {
  return catalogue_.TablePasswords();
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A spontaneous show comes from the window system (restored from an icon);
  // only the program's own show runs FormShow.
  if (event->spontaneous()) return;
  if (!shownBefore_) {
    shownBefore_ = true;
    CentreOnScreen();
  }
  ReportErrors([this] { FormShow(); });
}

void TForm1::CentreOnScreen() {
  const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!target) return;
  // move() places the frame, so centre the frame; its size is known once the
  // platform window exists (a window manager may still add to it later).
  winId();
  const QRect frame(QPoint(0, 0), frameGeometry().size());
  move(target->availableGeometry().center() - frame.center());
}

void TForm1::FormShow() {
  AssignTablePasswords();
  // The folder text keeps the doubled separator that joining the program
  // folder (which ends in '/') with "/usersong" gives; it is harmless, and
  // the folder list shows the folder it reached.
  DirectoryListBox1->SetDirectory(QString::fromStdString(programFolder_ + "/usersong"));
}

void TForm1::AssignTablePasswords() {
  // dbSong is connected from the window's creation on, so setting it
  // connected here changes nothing and registers no password.
  catalogue_.AssignTablePasswords();
}

void TForm1::Button4Click() {
  TaskThread1.Start();
}

void TForm1::Button1Click() {
  TaskThread2.Start();
}

void TForm1::Button3Click() {
  WriteConversionBatch();
}

void TForm1::Button2Click() {
  QCoreApplication::quit();
}

void TForm1::CancelButtonClick() {
  CancelButton->setEnabled(false);
  TaskThread1.Stop();
}

void TForm1::ShowImportProgress() {
  const int total = filesTotal_.load();
  ImportProgress->setRange(0, std::max(total, 1));
  ImportProgress->setValue(std::min(filesDone_.load(), std::max(total, 1)));
}

void TForm1::SearchButtonClick() {
  if (!searchWindow_)
    searchWindow_ = std::make_unique<TSearchWindow>(CatalogueFolder(programFolder_));
  searchWindow_->show();
  searchWindow_->raise();
  searchWindow_->activateWindow();
  // Songs imported since the window was last used show at once.
  searchWindow_->Search();
}

void TForm1::SongBookButtonClick() {
  const QString file = AskSongBookFileName ? AskSongBookFileName() : QString();
  if (file.isEmpty()) return;
  // The book reads the catalogue through a session of its own, so an import
  // running meanwhile is no obstacle; the window waits for the book.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  std::size_t songs = 0;
  try {
    songs = WriteSongBook(CatalogueFolder(programFolder_), file, TBookOrder::Singer,
                          DefaultBookHeader());
  } catch (...) {
    QGuiApplication::restoreOverrideCursor();
    throw;
  }
  QGuiApplication::restoreOverrideCursor();
  messages_.ShowMessage(QString::fromUtf8("เขียนสมุดเพลง %1 เพลงลงใน %2 แล้ว").arg(songs).arg(file));
}

void TForm1::DirectoryListBox1Choose(const QString& directory) {
  ReportErrors([this, &directory] { DirectoryListBox1->SetDirectory(directory); });
}

void TForm1::TaskThread1Execute(runner::TTaskThreadBase*, runner::TTaskExecuteThread* thread,
                                void*&) {
  SetOperationButtonsEnabled(false);
  filesDone_ = 0;
  filesTotal_ = 0;
  dispatcher_.Send([this] {
    ShowImportProgress();
    CancelButton->setEnabled(true);
  });
  const auto ended = [this] {
    dispatcher_.Send([this] {
      CancelButton->setEnabled(false);
      ShowImportProgress();
    });
    SetOperationButtonsEnabled(true);
  };
  try {
    bool stopped = false;
    const int imported = ImportSongFiles(*thread, stopped);
    const std::string message = stopped
                                    ? "ยกเลิกแล้ว ลงรายชื่อเพลงได้ " + std::to_string(imported) + " ไฟล์"
                                    : std::string(kCompletionMessage);
    dispatcher_.Send([this, message] { messages_.ShowMessage(QString::fromStdString(message)); });
  } catch (...) {
    // A failed import ends quietly: the buttons come back, the error ends the
    // worker and nothing is shown.
    ended();
    throw;
  }
  ended();
}

void TForm1::TaskThread2Execute(runner::TTaskThreadBase*, runner::TTaskExecuteThread*, void*&) {
  SetOperationButtonsEnabled(false);
  try {
    // The removal shows its own completion message.
    RemoveSelectedSong();
  } catch (...) {
    SetOperationButtonsEnabled(true);
    throw;
  }
  SetOperationButtonsEnabled(true);
}

void TForm1::SetOperationButtonsEnabled(bool enabled) {
  dispatcher_.Send([this, enabled] {
    Button1->setEnabled(enabled);
    Button2->setEnabled(enabled);
    Button4->setEnabled(enabled);
  });
}

namespace {

// The import's progress as the worker's percent and the window's counts,
// and its stop as the worker's stop request.
class TWorkerImportProgress : public TImportProgress {
 public:
  TWorkerImportProgress(runner::TTaskExecuteThread& thread, std::atomic<int>& done,
                        std::atomic<int>& total)
      : thread_(thread), done_(done), total_(total) {}

  void FilesDone(int done, int total) override {
    done_ = done;
    total_ = total;
    thread_.SetPercent(total > 0 ? static_cast<int>(std::int64_t{done} * 100 / total) : 100);
  }
  bool StopRequested() override { return stopped = thread_.Terminated(); }

  bool stopped = false;

 private:
  runner::TTaskExecuteThread& thread_;
  std::atomic<int>& done_;
  std::atomic<int>& total_;
};

}  // namespace

int TForm1::ImportSongFiles(runner::TTaskExecuteThread& thread, bool& stopped) {
  if (operations_.ImportSongFiles) {
    operations_.ImportSongFiles();
    return 0;
  }
  TWindowFileList files(dispatcher_, *FileListBox1);
  TWindowStatusLine status(dispatcher_, *Label1);
  TWorkerImportProgress progress(thread, filesDone_, filesTotal_);
  const int imported = lyrabook::ImportSongFiles(catalogue_, CatalogueFolder(programFolder_), files,
                                                 status, &progress);
  stopped = progress.stopped;
  return imported;
}

void TForm1::RemoveSelectedSong() {
  if (operations_.RemoveSelectedSong) {
    operations_.RemoveSelectedSong();
    return;
  }
  TWindowFileList files(dispatcher_, *FileListBox1);
  TWindowMessages messages(dispatcher_, messages_);
  lyrabook::RemoveSelectedSong(catalogue_, CatalogueFolder(programFolder_), files, messages);
}

void TForm1::WriteConversionBatch() {
  if (operations_.WriteConversionBatch) {
    operations_.WriteConversionBatch();
    return;
  }
  TWindowFolders folders(*DirectoryListBox1, *FileListBox1);
  TWindowMessages messages(dispatcher_, messages_);
  TShellBatchLauncher launcher;
  lyrabook::WriteConversionBatch(folders, launcher, messages);
}

void TForm1::ReportErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    messages_.ShowError(ExceptionText(std::current_exception()));
  }
}

}  // namespace lyrabook
