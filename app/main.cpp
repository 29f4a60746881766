// Program start: the application object with its title, the main window,
// the password dialog for tables that need one, then the event loop until
// the application is asked to end.

#include <exception>
#include <string>

#include "app/Application.h"
#include "app/ExceptionText.h"
#include "app/MessageBoxPresenter.h"
#include "app/PasswordDialogView.h"
#include "app/QtDispatcher.h"
#include "app/UMidi.h"
#include "platform/DataFolder.h"
#include "platform/ProgramFolder.h"

namespace {

// The folder of usersong and Data (platform/DataFolder.h), made ready. When
// it cannot be, the error box says why and the window opens anyway; it then
// reports the folder it could not open.
std::string ReadyDataFolder(lyrabook::TMessagePresenter& messages) {
  std::string folder = lyrabook::ProgramFolder();
  try {
    const lyrabook::TDataFolder data = lyrabook::FindDataFolder(folder, lyrabook::UserDataHome());
    folder = data.folder;
    lyrabook::SeedDataFolder(data);
  } catch (...) {
    messages.ShowError(lyrabook::ExceptionText(std::current_exception()));
  }
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  lyrabook::TMessageBoxPresenter messages;
  lyrabook::TApplication application(argc, argv, messages);
  // A table that needs a password the session lacks asks through the
  // password dialog, on the window thread, whichever thread opens it.
  lyrabook::TQtDispatcher windowThread;
  const lyrabook::TPasswordDialogInstallation passwordDialog(windowThread);
  lyrabook::TForm1 form(messages, ReadyDataFolder(messages));
  form.show();
  // The window goes before the application object; its task threads wait
  // there for a running import or removal, still serving events.
  return application.exec();
}
