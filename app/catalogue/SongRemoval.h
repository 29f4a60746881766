#pragma once
// Removal: deletes the Song row and the List rows of the song of the file
// selected in the file list, then says it is done.

#include <string>

#include "app/catalogue/CatalogueHost.h"
#include "app/catalogue/SongCatalogue.h"

namespace lyrabook {

// Returns the song code removed (code page 874); an empty selection
// removes the rows whose code is empty.
std::string RemoveSelectedSong(TSongCatalogue& catalogue, const std::string& dataFolder,
                               TFileList& files, TMessageBoxes& messages);

// The message both operations end with.
inline constexpr char kCompletionMessage[] = "เสร็จสิ้นการทำงาน";

}  // namespace lyrabook
