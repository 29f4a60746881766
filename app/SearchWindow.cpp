#include "app/SearchWindow.h"

#include <QFont>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/ExceptionText.h"
#include "app/WindowFont.h"
#include "platform/Cp874.h"

namespace lyrabook {
namespace {

// Thai marks above and below the line need room: larger than the main
// window's 11 pixels.
constexpr int kPixelSize = 15;

QString Shown(const std::string& bytes) {
  return QString::fromStdString(Cp874ToUtf8(bytes));
}

QTableWidgetItem* Cell(const std::string& bytes) {
  auto* item = new QTableWidgetItem(Shown(bytes));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

TSearchWindow::TSearchWindow(std::string dataFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), search_(std::move(dataFolder)) {
  setWindowTitle(QString::fromUtf8("ค้นหาเพลง"));
  QFont font = WindowFont();
  font.setPixelSize(kPixelSize);
  setFont(font);
  resize(640, 480);

  SearchBox = new QLineEdit(this);
  SearchBox->setPlaceholderText(QString::fromUtf8("พิมพ์ชื่อเพลง นักร้อง หรือรหัสเพลง"));
  SearchBox->setClearButtonEnabled(true);
  KindBox = new QComboBox(this);
  for (const char* kind : {"ทั้งหมด", "ชื่อเพลง", "นักร้อง", "รหัสเพลง"})
    KindBox->addItem(QString::fromUtf8(kind));
  SongTable = new QTableWidget(0, 3, this);
  SongTable->setHorizontalHeaderLabels(
      {QString::fromUtf8("รหัส"), QString::fromUtf8("ชื่อเพลง"), QString::fromUtf8("นักร้อง")});
  SongTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SongTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  SongTable->verticalHeader()->setVisible(false);
  SongTable->horizontalHeader()->setStretchLastSection(true);
  SongTable->setColumnWidth(0, 110);
  SongTable->setColumnWidth(1, 280);
  CountLabel = new QLabel(this);

  auto* top = new QHBoxLayout;
  top->addWidget(SearchBox, 1);
  top->addWidget(KindBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(SongTable, 1);
  layout->addWidget(CountLabel);

  connect(SearchBox, &QLineEdit::textChanged, this, [this] { Search(); });
  connect(KindBox, &QComboBox::currentIndexChanged, this, [this] { Search(); });
  SearchBox->setFocus();
}

void TSearchWindow::Search() {
  const QString text = SearchBox->text();
  if (text.isEmpty()) {
    SongTable->setRowCount(0);
    CountLabel->clear();
    return;
  }
  // A character the catalogue's code page cannot hold is in no song.
  const std::optional<std::string> prefix = Utf8ToCp874(text.toStdString());
  if (!prefix) {
    Show({});
    return;
  }
  try {
    Show(search_.Find(*prefix, static_cast<TSearchKind>(KindBox->currentIndex()), kShownSongs));
  } catch (...) {
    SongTable->setRowCount(0);
    CountLabel->setText(ExceptionText(std::current_exception()));
  }
}

void TSearchWindow::Show(const TSearchResult& result) {
  SongTable->setUpdatesEnabled(false);
  SongTable->setRowCount(static_cast<int>(result.Songs.size()));
  for (int row = 0; row < SongTable->rowCount(); ++row) {
    const TFoundSong& song = result.Songs[static_cast<std::size_t>(row)];
    SongTable->setItem(row, 0, Cell(song.Code));
    SongTable->setItem(row, 1, Cell(song.Name));
    SongTable->setItem(row, 2, Cell(song.Singer));
  }
  SongTable->setUpdatesEnabled(true);
  const QString count = QString::number(result.Songs.size());
  CountLabel->setText(result.Truncated
                          ? QString::fromUtf8("แสดง %1 เพลงแรก พิมพ์ต่อเพื่อให้แคบลง").arg(count)
                          : QString::fromUtf8("พบ %1 เพลง").arg(count));
}

}  // namespace lyrabook
