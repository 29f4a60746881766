// The catalogue operations without the window: header lines, import,
// removal and the conversion batch over a scratch catalogue.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/InOutError.h"
#include "app/catalogue/ConversionBatch.h"
#include "app/catalogue/LyricHeader.h"
#include "app/catalogue/SongImport.h"
#include "app/catalogue/SongRemoval.h"
#include "support/CatalogueScratch.h"
#include "support/ScratchDir.h"

namespace lyrabook {
namespace {

using quire::testing::ScratchDir;
using testing::TCountedMessages;
using testing::TListedFiles;

class CatalogueOperations : public testing::CatalogueScratch {};

TEST(LyricHeader, LinesEndAtCrOrCrLfAndTheFileAtByte26) {
  ScratchDir dir;
  std::ofstream(dir.Path("a.txt"), std::ios::binary)
      << "one\r\ntwo\rthree\nstill three\r\r\nfive" << '\x1a' << "hidden\r\n";
  TLyricHeaderReader reader(dir.Path("a.txt"));
  EXPECT_EQ(reader.ReadLine(), "one");
  EXPECT_EQ(reader.ReadLine(), "two");
  EXPECT_EQ(reader.ReadLine(), "three\nstill three");
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.ReadLine(), "five");
  EXPECT_EQ(reader.ReadLine(), "");  // past the end: empty lines, no error
  EXPECT_EQ(reader.ReadLine(), "");
  reader.Close();
  EXPECT_THROW(TLyricHeaderReader(dir.Path("missing.txt")), EInOutError);
}

TEST_F(CatalogueOperations, ImportFillsSongAndItsThreeListRows) {
  Write("A0001.txt",
        "maker\r\nPOPULAR\r\nignored\r\nM. Am\r\nSong one\r\nSinger one\r\nAuthor\r\n");
  Write("B12.txt", "m\r\nG\r\nx\r\nF\r\nName two\r\n(Band)\r\nnot an author\r\n");
  Write("C3.txt", "only\r\nthree\r\nlines");
  EXPECT_EQ(Import({"A0001.txt", "B12.txt", "C3.txt"}), 3);
  EXPECT_EQ(status_.shown, (std::vector<std::string>{"Song : A0001", "Song : B12", "Song : C3"}));
  EXPECT_EQ(SongRows(), (std::vector<std::string>{
                            "A0001|Song one|Singer one|Author|M. Am|POPU|maker",
                            "B12|Name two|(Band)|~|F|G|m",  // "(" on line 6: no author read
                            "C3|~|~|~|~|thre|only"}));
  EXPECT_EQ(ListRows(),
            (std::vector<std::string>{"A0001|1|Song one|Am", "A0001|2|Singer one|Am",
                                      "A0001|3|A0001|Am", "B12|1|Name two|~", "B12|2|(Band)|~",
                                      "B12|3|B12|~", "C3|1|~|~", "C3|2|~|~", "C3|3|C3|~"}));
}

TEST_F(CatalogueOperations, ImportingTwiceReplacesTheRowsOfEachCode) {
  Write("O.txt", "a\r\nb\r\nc\r\nd\r\nO\r\n\r\n");
  Write("O'Neil.txt", "a\r\nb\r\nc\r\nd\r\nquoted\r\n\r\n");
  Write("ONeil.txt", "a\r\nb\r\nc\r\nd\r\nplain\r\n\r\n");
  Write("A\"B:C.txt", "a\r\nb\r\nc\r\nd\r\ncolon\r\n\r\n");
  Write("LongNameX12.txt", "a\r\nb\r\nc\r\nd\r\nlong\r\n\r\n");  // 11 characters: cut to 10
  Write("Nine char .txt", "a\r\nb\r\nc\r\nd\r\nblank\r\n\r\n");  // tenth character a blank
  const std::vector<std::string> names = {"A\"B:C.txt", "LongNameX12.txt", "Nine char .txt",
                                          "O.txt",      "O'Neil.txt",      "ONeil.txt"};
  EXPECT_EQ(Import(names), 6);
  EXPECT_EQ(Import(names), 6);
  const std::vector<std::string> songs = SongRows();
  ASSERT_EQ(songs.size(), 6u);
  EXPECT_EQ(ListRows().size(), 18u);
  const std::vector<std::string> codes = Rows(catalogue_.tbSong, {"Code"});
  EXPECT_EQ(codes, (std::vector<std::string>{"A\"B:C", "LongNameX1", "Nine char", "O", "O'Neil",
                                             "ONeil"}));
  // Removing O'Neil leaves O and ONeil.
  TListedFiles selected({}, dir_.Path("songs/O'Neil.txt"));
  TCountedMessages messages;
  EXPECT_EQ(RemoveSelectedSong(catalogue_, Data(), selected, messages), "O'Neil");
  EXPECT_EQ(messages.shown, (std::vector<std::string>{kCompletionMessage}));
  EXPECT_EQ(Rows(catalogue_.tbSong, {"Code"}),
            (std::vector<std::string>{"A\"B:C", "LongNameX1", "Nine char", "O", "ONeil"}));
  EXPECT_EQ(ListRows().size(), 15u);
  EXPECT_EQ(CheckBothTables(), std::vector<std::string>{});
}

TEST_F(CatalogueOperations, AFileThatCannotBeReadEndsTheImportKeepingWhatCameBefore) {
  Write("A.txt", "a\r\nb\r\nc\r\nd\r\nfirst\r\n\r\n");
  std::filesystem::create_directories(dir_.Path("songs/B.txt"));  // opens, but cannot be read
  Write("C.txt", "a\r\nb\r\nc\r\nd\r\nthird\r\n\r\n");
  EXPECT_THROW(Import({"A.txt", "B.txt", "C.txt"}), EInOutError);
  // A is whole; B's Song row holds what was read (nothing) and it has no
  // List rows; C was never reached.
  EXPECT_EQ(Rows(catalogue_.tbSong, {"Code", "Name"}),
            (std::vector<std::string>{"A|first", "B|~"}));
  EXPECT_EQ(ListRows().size(), 3u);
  EXPECT_THROW(Import({"missing.txt"}), EInOutError);
  EXPECT_EQ(Rows(catalogue_.tbSong, {"Code"}).size(), 2u);
}

class TRecordedLauncher : public TBatchLauncher {
 public:
  bool Start(const std::string& batch, const std::string&) override {
    started = batch;
    return true;
  }
  std::string started;
};

class TDiskFolders : public TLyricFolders {
 public:
  explicit TDiskFolders(std::string folder) : folder_(std::move(folder)) {}
  std::string CurrentFolder() override { return folder_; }
  void SetMask(std::string_view mask) override { mask_ = mask; }
  void SetFolder(const std::string& folder) override {
    if (chdir(folder.c_str()) != 0) throw EInOutError(errno, "cannot enter " + folder);
    folder_ = folder;
  }
  std::vector<std::string> Names() override {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      if (entry.path().extension() == ".lyr") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string mask_ = "*.txt";

 private:
  std::string folder_;
};

TEST(ConversionBatch, OnlyLyr3HoldsFiles) {
  ScratchDir dir;
  const std::string base = dir.Path("base");
  for (int n = 0; n <= 9; ++n)
    std::filesystem::create_directories(base + "/lyr/" + std::to_string(n));
  std::ofstream(base + "/lyr/3/A0001.lyr") << "x";
  std::ofstream(base + "/lyr/3/A0002.lyr") << "x";
  std::ofstream(base + "/convert.bat") << "old contents that must go\r\n";
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(base);
  TDiskFolders folders(base);
  TRecordedLauncher launcher;
  TCountedMessages messages;
  EXPECT_EQ(WriteConversionBatch(folders, launcher, messages), 2);
  EXPECT_EQ(ScratchDir::ReadFile(base + "/convert.bat"), "LYR2TXT A0001\r\nLYR2TXT A0002\r\n");
  EXPECT_EQ(launcher.started, base + "/convert.bat");
  EXPECT_EQ(messages.shown, (std::vector<std::string>{kBatchStartedMessage}));
  EXPECT_EQ(folders.mask_, "*.txt");
  EXPECT_EQ(folders.CurrentFolder(), base);
  // A missing lyr/5 ends it before the start, the mask left on "*.lyr".
  std::filesystem::remove(base + "/lyr/5");
  EXPECT_THROW(WriteConversionBatch(folders, launcher, messages), EInOutError);
  EXPECT_EQ(folders.mask_, "*.lyr");
  EXPECT_EQ(messages.shown.size(), 1u);
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace lyrabook
