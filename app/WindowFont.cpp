#include "app/WindowFont.h"

#include <QFontDatabase>

namespace lyrabook {

namespace {

const char kDesignedFamily[] = "MS Sans Serif";
constexpr int kDesignedPixelSize = 11;

// Families whose Thai glyphs stay legible at the window's small size, best
// first. Tahoma is what Thai Windows shows in that place; the others come
// with Debian's fonts-thai-tlwg.
const char* const kThaiFamilies[] = {"Tahoma", "Loma", "Garuda", "Waree", "Umpush", "Tlwg Typo"};

}  // namespace

QString ChooseWindowFontFamily(const QStringList& thaiFamilies) {
  const QString designed = QString::fromLatin1(kDesignedFamily);
  if (thaiFamilies.contains(designed, Qt::CaseInsensitive)) return designed;
  for (const char* family : kThaiFamilies) {
    const QString candidate = QString::fromLatin1(family);
    if (thaiFamilies.contains(candidate, Qt::CaseInsensitive)) return candidate;
  }
  return thaiFamilies.isEmpty() ? designed : thaiFamilies.front();
}

QFont WindowFont() {
  QFont font(ChooseWindowFontFamily(QFontDatabase::families(QFontDatabase::Thai)));
  font.setPixelSize(kDesignedPixelSize);
  return font;
}

}  // namespace lyrabook
