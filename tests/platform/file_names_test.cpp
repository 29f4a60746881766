// Finding an existing file whose name differs only in letter case.
#include "platform/FileNames.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace lyrabook {
namespace {

class FileNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lyrabook-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Touch(const std::string& name) { std::ofstream(dir_ + name) << name; }

  std::string dir_;
};

TEST_F(FileNamesTest, ExactNamesStay) {
  Touch("Song.DAT");
  Touch("SONG.DAT");
  EXPECT_EQ(ResolveExistingName(dir_ + "Song.DAT"), dir_ + "Song.DAT");
}

TEST_F(FileNamesTest, AVariantInCaseIsFound) {
  Touch("LIST.dat");
  Touch("list.IDX");
  EXPECT_EQ(ResolveExistingName(dir_ + "list.DAT"), dir_ + "LIST.dat");
  EXPECT_EQ(ResolveExistingName(dir_ + "List.Idx"), dir_ + "list.IDX");
  // Each extension is matched on its own.
  EXPECT_EQ(ResolveExistingName(dir_ + "list.BLB"), dir_ + "list.BLB");
}

TEST_F(FileNamesTest, NoMatchGivesTheNameBack) {
  Touch("songs.DAT");
  EXPECT_EQ(ResolveExistingName(dir_ + "song.DAT"), dir_ + "song.DAT");
  EXPECT_EQ(ResolveExistingName(dir_ + "nofolder/song.DAT"), dir_ + "nofolder/song.DAT");
  EXPECT_EQ(ResolveExistingName(""), "");
  EXPECT_EQ(ResolveExistingName(dir_), dir_);
}

TEST_F(FileNamesTest, SeveralVariantsGiveTheFirstInByteOrder) {
  Touch("sOng.DAT");
  Touch("SONG.dat");
  Touch("song.dAT");
  EXPECT_EQ(ResolveExistingName(dir_ + "Song.DAT"), dir_ + "SONG.dat");
}

TEST_F(FileNamesTest, OnlyAsciiLettersFoldCase) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Song.DAT", "sONG.dat"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Song", "Songs"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("a[", "A{")) << "[ and { are not letters";
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xc1", "\xe1")) << "code page bytes are not folded";
}

}  // namespace
}  // namespace lyrabook
