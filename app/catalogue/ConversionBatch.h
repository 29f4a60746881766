#pragma once
// The conversion batch: convert.bat in the chosen folder, one line
// "LYR2TXT " + name (without its last four characters) per lyric file of
// lyr/0 to lyr/9, each ended by CR LF, then started. The folder list ends
// where it began, the file list back on "*.txt".

#include <string>

#include "app/catalogue/CatalogueHost.h"

namespace lyrabook {

inline constexpr char kBatchStartedMessage[] =
    "เมื่อเสร็จสิ้นการทำงานแล้ว ให้ท่านกดปุ่มลงรายชื่อเพลงเพื่อเพิ่มเพลงเข้าสู่ระบบ";

// Returns the number of lines written. A missing lyr/n folder or a batch
// file that cannot be made is an input/output error; the batch is then not
// started and the file list keeps the "*.lyr" mask.
int WriteConversionBatch(TLyricFolders& folders, TBatchLauncher& launcher, TMessageBoxes& messages);

// Starts a batch detached in its folder: a shell runs each line as a
// command, its line end removed. Started means the shell was started.
class TShellBatchLauncher : public TBatchLauncher {
 public:
  bool Start(const std::string& batchFile, const std::string& folder) override;
};

}  // namespace lyrabook
