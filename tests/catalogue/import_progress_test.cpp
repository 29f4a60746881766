// The import's progress reports and its stop between two files.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/catalogue/SongImport.h"
#include "support/CatalogueScratch.h"

namespace lyrabook {
namespace {

using testing::TListedFiles;

// Records every report; asks to stop once `stopAfter` files are done.
class TRecordedProgress : public TImportProgress {
 public:
  explicit TRecordedProgress(int stopAfter = -1) : stopAfter_(stopAfter) {}
  void FilesDone(int done, int total) override { reports.emplace_back(done, total); }
  bool StopRequested() override {
    ++questions;
    return stopAfter_ >= 0 && !reports.empty() && reports.back().first >= stopAfter_;
  }

  std::vector<std::pair<int, int>> reports;
  int questions = 0;

 private:
  int stopAfter_;
};

class ImportProgress : public testing::CatalogueScratch {
 protected:
  void SetUp() override {
    for (const char* code : {"A1", "B2", "C3", "D4"})
      Write(std::string(code) + ".txt",
            std::string("m\r\nG\r\nx\r\nF\r\nName ") + code + "\r\nSinger\r\nAuthor\r\n");
  }

  int ImportWith(TImportProgress& progress) {
    TListedFiles files({"A1.txt", "B2.txt", "C3.txt", "D4.txt"});
    return ImportSongFiles(catalogue_, Data(), files, status_, &progress);
  }
};

TEST_F(ImportProgress, ReportsEveryFileInOrderUpToTheWhole) {
  TRecordedProgress progress;
  EXPECT_EQ(ImportWith(progress), 4);
  EXPECT_EQ(progress.reports,
            (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(progress.questions, 4);  // once before each file
}

TEST_F(ImportProgress, AStopEndsTheImportBetweenTwoFilesWithEachSongWhole) {
  // The rows of B2 from an earlier import must still be there afterwards:
  // the stop comes before B2 is deleted and written again.
  TListedFiles first({"B2.txt"});
  ASSERT_EQ(ImportSongFiles(catalogue_, Data(), first, status_), 1);
  TRecordedProgress progress(/*stopAfter=*/1);
  EXPECT_EQ(ImportWith(progress), 1);
  EXPECT_EQ(progress.reports, (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}}));
  EXPECT_EQ(status_.shown.back(), "Song : A1");
  EXPECT_EQ(Rows(catalogue_.tbSong, {"Code"}), (std::vector<std::string>{"A1", "B2"}));
  EXPECT_EQ(ListRows().size(), 6u);
  EXPECT_EQ(CheckBothTables(), std::vector<std::string>{});
}

TEST_F(ImportProgress, AStopBeforeTheFirstFileImportsNothing) {
  TRecordedProgress progress(/*stopAfter=*/0);
  EXPECT_EQ(ImportWith(progress), 0);
  EXPECT_EQ(progress.reports, (std::vector<std::pair<int, int>>{{0, 4}}));
  EXPECT_TRUE(SongRows().empty());
}

}  // namespace
}  // namespace lyrabook
