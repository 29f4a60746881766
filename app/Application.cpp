#include "app/Application.h"

#include <QIcon>

#include "app/ExceptionText.h"

namespace lyrabook {

TApplication::TApplication(int& argc, char** argv, TMessagePresenter& errors)
    : QApplication(argc, argv), errors_(errors) {
  // The name, not the display name: Qt appends a display name to every
  // window caption, and the main window's caption must stay as it is.
  setApplicationName(QString::fromUtf8(kApplicationTitle));
  // The desktop entry and icon that an installation puts in place; run from
  // a build folder, the theme has no such icon and the window has none.
  setDesktopFileName(QStringLiteral("lyrabook"));
  setWindowIcon(QIcon::fromTheme(QStringLiteral("lyrabook")));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  // Qt's widget library is built without exception support, so the window's
  // own handlers catch their errors at their edge; this is the net for any
  // handler that does not. An exception must not leave the event loop.
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    errors_.ShowError(ExceptionText(std::current_exception()));
    return false;
  }
}

}  // namespace lyrabook
