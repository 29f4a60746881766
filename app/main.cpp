// Program start: the application object with its title, the main window,
// then the event loop until the application is asked to end.

#include "app/Application.h"
#include "app/MessageBoxPresenter.h"
#include "app/UMidi.h"
#include "platform/ProgramFolder.h"

int main(int argc, char** argv) {
  lyrabook::TMessageBoxPresenter messages;
  lyrabook::TApplication application(argc, argv, messages);
  lyrabook::TForm1 form(messages, lyrabook::ProgramFolder());
  form.show();
  // The window goes before the application object; its task threads wait
  // there for a running import or removal, still serving events.
  return application.exec();
}
