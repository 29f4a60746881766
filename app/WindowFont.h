#pragma once
// The main window's font. The window was laid out for "MS Sans Serif" at 11
// pixels; its captions are Thai, so the family must also be able to show Thai.

#include <QFont>
#include <QStringList>

namespace lyrabook {

// "MS Sans Serif" when it is among `thaiFamilies` (the installed families
// that can show Thai); otherwise the first of a list of families known to
// show Thai well that is among them; otherwise the first of them; with none
// at all, "MS Sans Serif" and Qt's own substitution.
QString ChooseWindowFontFamily(const QStringList& thaiFamilies);

// The font for the window and its controls: the chosen family at 11 pixels.
QFont WindowFont();

}  // namespace lyrabook
