#pragma once
// TSearchWindow: the catalogue's songs found as the user types. A search box,
// a choice of what to look in (everything, names, singers, codes) and a
// read-only table of code, name and singer; every edit searches again, so a
// search made after an import shows its songs.
//
// The search reads through a session of its own (TCatalogueSearch), so the
// window may stay open while an import writes in a worker thread. Used on
// the window thread only.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>
#include <string>

#include "app/catalogue/CatalogueSearch.h"

namespace lyrabook {

class TSearchWindow : public QWidget {
  Q_OBJECT

 public:
  // At most this many songs are listed for one text; the count line says
  // when there were more.
  static constexpr std::size_t kShownSongs = 500;

  // Searches the catalogue in `dataFolder`.
  explicit TSearchWindow(std::string dataFolder, QWidget* parent = nullptr);

  // Owned by the window.
  QLineEdit* SearchBox;
  QComboBox* KindBox;  // ทั้งหมด, ชื่อเพลง, นักร้อง, รหัสเพลง
  QTableWidget* SongTable;
  QLabel* CountLabel;

  // Searches again for the box's text; an error (no catalogue yet, a lock
  // refused) is shown in the count line and leaves the table empty.
  void Search();

 private:
  void Show(const TSearchResult& result);

  TCatalogueSearch search_;
};

}  // namespace lyrabook
