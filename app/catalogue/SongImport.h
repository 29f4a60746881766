#pragma once
// The import: every lyric file of the file list becomes a Song row and its
// three List rows (found by name, by singer and by code), replacing the
// rows its code had. Each file's steps commit as they go: an error ends the
// import where it happens and leaves what was written before it.

#include <string>

#include "app/catalogue/CatalogueHost.h"
#include "app/catalogue/SongCatalogue.h"

namespace lyrabook {

// Imports the files of `files` (opened by bare name, in the current
// directory) into the catalogue in `dataFolder`. Returns how many files
// were imported.
int ImportSongFiles(TSongCatalogue& catalogue, const std::string& dataFolder, TFileList& files,
                    TStatusLine& status);

}  // namespace lyrabook
