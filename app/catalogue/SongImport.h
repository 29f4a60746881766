#pragma once
// The import: every lyric file of the file list becomes a Song row and its
// three List rows (found by name, by singer and by code), replacing the
// rows its code had. Each file's steps commit as they go: an error ends the
// import where it happens and leaves what was written before it.

#include <string>

#include "app/catalogue/CatalogueHost.h"
#include "app/catalogue/SongCatalogue.h"

namespace lyrabook {

// What a long import reports between two files, and how it is asked to
// stop. Called in the import's thread.
class TImportProgress {
 public:
  virtual ~TImportProgress() = default;
  // `done` of the `total` files are imported (also 0 of `total` before the
  // first).
  virtual void FilesDone(int done, int total) = 0;
  // Asked before each file: true ends the import there. A file's old rows
  // are deleted and its new rows written in one go, so a stop never
  // leaves a song half replaced.
  virtual bool StopRequested() = 0;
};

// Imports the files of `files` (opened by bare name, in the current
// directory) into the catalogue in `dataFolder`, reporting to `progress`
// when one is given. Returns how many files were imported.
int ImportSongFiles(TSongCatalogue& catalogue, const std::string& dataFolder, TFileList& files,
                    TStatusLine& status, TImportProgress* progress = nullptr);

}  // namespace lyrabook
