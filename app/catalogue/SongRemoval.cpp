#include "app/catalogue/SongRemoval.h"

#include "app/catalogue/SongCode.h"

namespace lyrabook {

std::string RemoveSelectedSong(TSongCatalogue& catalogue, const std::string& dataFolder,
                               TFileList& files, TMessageBoxes& messages) {
  catalogue.Connect(dataFolder);
  const std::string selected = files.SelectedFileName();
  const std::string name = selected.substr(selected.find_last_of('/') + 1);
  const std::string code = SongCode(name);
  catalogue.RunStatement("Delete from Song where Code = :Code", StoredCode(code));
  catalogue.RunStatement("Delete from List where Code = :Code", StoredCode(code));
  messages.ShowMessage(kCompletionMessage);
  return code;
}

}  // namespace lyrabook
