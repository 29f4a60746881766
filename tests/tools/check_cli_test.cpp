// quire check as a user runs it: "ok" and exit 0 for a sound table, one line
// per fault and exit 1 for a damaged one, also when the engine would refuse
// to open the table at all.

#include <gtest/gtest.h>

#include <fstream>

#include "support/QuireProcess.h"

namespace {

using quire::testing::TQuireFolder;

const char kDefinition[] = R"({"blobBlockSize": 64,
  "fields": [{"name": "ID", "type": "autoinc"}, {"name": "Code", "type": "string", "size": 10},
             {"name": "Lyric", "type": "blob", "subtype": "memo"}],
  "primary": {"fields": ["Code"]},
  "indexes": [{"name": "ByID", "fields": ["ID"], "unique": true}]})";

class CheckCli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("def.json", kDefinition);
    folder_.Write("rows.jsonl", R"({"Code": "A1", "Lyric": "first song"}
{"Code": "B2", "Lyric": "second song, a little longer than one block of 46 bytes"}
{"Code": "C3"}
)");
    ASSERT_EQ(folder_.Run("create songs def.json").status, 0);
    ASSERT_EQ(folder_.Run("insert songs rows.jsonl").status, 0);
  }

  void Patch(const std::string& name, std::streamoff offset, const std::string& bytes) {
    std::fstream file(folder_.Path(name), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  TQuireFolder folder_;
};

TEST_F(CheckCli, SoundTableIsOk) {
  const auto result = folder_.Run("check songs");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "ok\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(CheckCli, FaultLinesAndExitOne) {
  Patch("songs.IDX", 8, "\x02");
  const auto result = folder_.Run("check songs.dat");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, folder_.Path("songs.IDX") + ": version 2, expected 3\n");
}

TEST_F(CheckCli, ReportsWhatOpenRefuses) {
  { std::ofstream(folder_.Path("songs.DAT"), std::ios::app | std::ios::binary) << "xyz"; }
  const auto info = folder_.Run("info songs");
  EXPECT_EQ(info.status, 1);
  const auto result = folder_.Run("check songs");
  EXPECT_EQ(result.status, 1);
  // Header 127, three descriptors, three slots of 9 + 12 + 5 bytes, 3 more.
  EXPECT_EQ(result.out, folder_.Path("songs.DAT") + ": file: length " +
                            std::to_string(127 + 3 * 768 + 3 * 26 + 3) +
                            " ends 3 bytes into a slot of 26\n");
}

TEST_F(CheckCli, MissingTableIsAnEngineError) {
  const auto result = folder_.Run("check nothing");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("11010"), std::string::npos) << result.err;
}

TEST_F(CheckCli, UsageError) {
  EXPECT_EQ(folder_.Run("check").status, 2);
  EXPECT_EQ(folder_.Run("check a b").status, 2);
}

}  // namespace
