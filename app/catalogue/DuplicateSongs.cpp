#include "app/catalogue/DuplicateSongs.h"

#include <map>
#include <utility>

#include "engine/BlankText.h"

namespace lyrabook {

std::vector<TDuplicateSongs> FindDuplicateSongs(TSongCatalogue& catalogue,
                                                const std::string& dataFolder) {
  catalogue.Connect(dataFolder);
  catalogue.tbSong.SetIndexName("");  // code order, so each group's codes come sorted
  catalogue.OpenTables();
  quire::TQuireTable& song = catalogue.tbSong;
  // Keyed as the comparison sees them; the map gives the order of names.
  std::map<std::pair<std::string, std::string>, TDuplicateSongs> groups;
  for (song.First(); !song.Eof(); song.Next()) {
    const std::string name = song.FieldByName("Name").Value().Text;
    const std::string singer = song.FieldByName("Singer").Value().Text;
    if (quire::TrimBlanks(name).empty()) continue;
    const auto key = std::make_pair(quire::UpperAscii(quire::TrimBlanks(name)),
                                    quire::UpperAscii(quire::TrimBlanks(singer)));
    TDuplicateSongs& group = groups[key];
    if (group.Codes.empty()) {
      group.Name = name;
      group.Singer = singer;
    }
    group.Codes.push_back(song.FieldByName("Code").Value().Text);
  }
  std::vector<TDuplicateSongs> found;
  for (auto& [key, group] : groups)
    if (group.Codes.size() > 1) found.push_back(std::move(group));
  return found;
}

}  // namespace lyrabook
