// The quire tool as users and scripts drive it: the built binary, its exit
// status, its output and the files it leaves.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/QuireProcess.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using Result = quire::testing::TQuireResult;
using quire::testing::ReadAll;

class QuireCli : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  void Write(const std::string& name, const std::string& text) const { folder_.Write(name, text); }
  // Runs quire with `args` (already quoted for the shell) in the folder.
  Result Run(const std::string& args) const { return folder_.Run(args); }

  json Info(const std::string& options = "") const {
    const Result result = Run(options + " info songs");
    EXPECT_EQ(result.status, 0) << result.err;
    return json::parse(result.out);
  }

  quire::testing::TQuireFolder folder_;
  const fs::path dir_ = folder_.Dir();
};

const char kDefinition[] = R"({
  "description": "Song list",
  "blobBlockSize": 1024,
  "encrypted": false,
  "userWordA": -2, "userWordB": 7,
  "fields": [
    {"name": "ID", "type": "autoinc"},
    {"name": "Code", "type": "string", "size": 10, "required": true},
    {"name": "Price", "type": "bcd", "decimals": 2, "min": "0", "max": "999", "default": "1"},
    {"name": "Lyric", "type": "blob", "subtype": "memo"},
    {"name": "Paid", "type": "money"},
    {"name": "Total", "type": "float", "compute": "Price * 2"}
  ],
  "primary": {"fields": ["Code"], "compression": "none", "fieldDescending": [false]},
  "indexes": [
    {"name": "ByName", "fields": ["Code", "ID"], "unique": false, "descending": false,
     "caseInsensitive": true, "compression": "both", "fieldDescending": [false, true]}
  ]
})";

TEST_F(QuireCli, CreateThenInfoGivesTheDefinitionBack) {
  Write("def.json", kDefinition);
  const Result created = Run("create songs.dat def.json");
  ASSERT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(created.out, "");
  EXPECT_TRUE(fs::exists(dir_ / "songs.DAT"));
  EXPECT_TRUE(fs::exists(dir_ / "songs.IDX"));
  EXPECT_TRUE(fs::exists(dir_ / "songs.BLB"));

  const json info = Info();
  const json definition = json::parse(kDefinition);
  EXPECT_EQ(info["description"], "Song list");
  EXPECT_EQ(info["blobBlockSize"], 1024);
  EXPECT_EQ(info["userWordA"], -2);
  EXPECT_EQ(info["userWordB"], 7);
  EXPECT_EQ(info["encrypted"], false);
  EXPECT_FALSE(info.contains("password"));
  ASSERT_EQ(info["fields"].size(), 6u);
  EXPECT_EQ(info["fields"][0], json({{"name", "ID"}, {"type", "autoinc"}}));
  EXPECT_EQ(info["fields"][1], definition["fields"][1]);
  EXPECT_EQ(info["fields"][2], definition["fields"][2]);
  EXPECT_EQ(info["fields"][3], definition["fields"][3]);
  EXPECT_EQ(info["fields"][4], definition["fields"][4]);
  EXPECT_EQ(info["fields"][5], definition["fields"][5]);
  EXPECT_EQ(info["primary"]["fields"], json({"Code"}));
  EXPECT_EQ(info["indexes"][0]["name"], "ByName");
  EXPECT_EQ(info["indexes"][0]["fields"], json({"Code", "ID"}));
  EXPECT_EQ(info["indexes"][0]["fieldDescending"], json({false, true}));
  EXPECT_EQ(info["indexes"][0]["compression"], "both");
  EXPECT_EQ(info["indexes"][0]["caseInsensitive"], true);

  const json& header = info["header"];
  EXPECT_EQ(header["version"], 3);
  EXPECT_EQ(header["changeCount"], 0);
  EXPECT_EQ(header["nextRecordNumber"], 1);
  EXPECT_EQ(header["freeRecordHead"], 0);
  EXPECT_EQ(header["lastAutoIncValue"], 0);
  EXPECT_EQ(header["recordSize"], 9 + 12 + 9 + 5 + 9);
  EXPECT_EQ(header["fieldCount"], 6);
  EXPECT_EQ(header["blobFieldCount"], 1);
  EXPECT_EQ(header["computedAreaSize"], 9);
  EXPECT_EQ(header["blobBlockSize"], 1024);
  EXPECT_EQ(header["description"], "Song list");
  EXPECT_EQ(info["recordCount"], 0);

  // What info prints creates the same table again.
  json again = info;
  again.erase("header");
  again.erase("recordCount");
  Write("again.json", again.dump());
  ASSERT_EQ(Run("create copy again.json").status, 0);
  EXPECT_EQ(ReadAll(dir_ / "copy.DAT").substr(127), ReadAll(dir_ / "songs.DAT").substr(127));
}

TEST_F(QuireCli, EncryptedTablesNeedThePassword) {
  Write("def.json", R"({"encrypted": true, "password": "Lyra Book",
                        "fields": [{"name": "Code", "type": "string", "size": 10}]})");
  ASSERT_EQ(Run("create songs def.json").status, 0);
  const Result without = Run("info songs");
  EXPECT_EQ(without.status, 1);
  EXPECT_EQ(without.out, "");
  EXPECT_EQ(without.err, "Quire Engine Error # 10498 Insufficient rights to data file " +
                             Path("songs.DAT") + ", a password is required\n");
  EXPECT_EQ(Run("--password 'lyra book' info songs").status, 1);
  const json info = Info("--password other --password 'Lyra Book'");
  EXPECT_EQ(info["password"], "Lyra Book");
  EXPECT_EQ(info["header"]["encrypted"], true);
}

TEST_F(QuireCli, ThaiTextsGoThroughCodePage874) {
  Write("def.json", R"({"description": "เพลง",
                        "fields": [{"name": "ชื่อ", "type": "string", "size": 40}]})");
  ASSERT_EQ(Run("create songs def.json").status, 0);
  // Stored as code page 874 bytes.
  EXPECT_EQ(ReadAll(dir_ / "songs.DAT").substr(35, 5), "\x04\xE0\xBE\xC5\xA7");
  EXPECT_EQ(Info()["fields"][0]["name"], "ชื่อ");
  EXPECT_EQ(Info("--codepage latin1")["description"], "\u00E0\u00BE\u00C5\u00A7");

  Write("accent.json", R"({"fields": [{"name": "café", "type": "integer"}]})");
  const Result refused = Run("create other accent.json");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("fields[0].name"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dir_ / "other.DAT"));
  EXPECT_EQ(Run("--codepage latin1 create other accent.json").status, 0);
}

TEST_F(QuireCli, WarnsAboutBytesCodePage874LeavesUndefined) {
  Write("def.json", R"({"description": "x", "fields": [{"name": "A", "type": "integer"}]})");
  ASSERT_EQ(Run("create songs def.json").status, 0);
  std::fstream dat(dir_ / "songs.DAT", std::ios::in | std::ios::out | std::ios::binary);
  dat.seekp(36);
  dat.put('\xFF');
  dat.close();
  const Result result = Run("info songs");
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(json::parse(result.out)["description"], "\uFFFD");
  EXPECT_NE(result.err.find("warning"), std::string::npos);
}

TEST_F(QuireCli, BadDefinitionsAreUsageErrorsThatWriteNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"fields": [], "colour": "red"})", "definition.colour"},
      {R"({"fields": [{"name": "A", "type": "integer", "width": 3}]})", "fields[0].width"},
      {R"({"fields": [{"name": "A", "type": "int"}]})", "fields[0].type"},
      {R"({"fields": [{"name": "A", "type": "string", "size": "10"}]})", "fields[0].size"},
      {R"({"blobBlockSize": -1, "fields": []})", "blobBlockSize"},
      {R"({"fields": [{"name": "A", "type": "integer", "subtype": "memo"}]})", "subtype"},
      {R"({"fields": [{"name": "A", "type": "integer"}], "primary": {"fields": ["B"]}})",
       "primary.fields[0]"},
      {R"({"fields": [{"name": "A", "type": "integer"}],
           "indexes": [{"name": "X", "fields": ["A"], "compression": "zip"}]})",
       "indexes[0].compression"},
      {R"({"encrypted": "yes", "fields": []})", "encrypted"},
      {R"([1, 2])", "must be an object"},
      {R"({"fields": [)", "not valid JSON"},
  };
  for (const auto& [text, mention] : cases) {
    SCOPED_TRACE(text);
    Write("def.json", text);
    const Result result = Run("create songs def.json");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(mention), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir_ / "songs.DAT"));
  }
  EXPECT_EQ(Run("create songs missing.json").status, 2);
  EXPECT_EQ(Run("create songs").status, 2);
  EXPECT_EQ(Run("").status, 2);
  EXPECT_EQ(Run("frobnicate songs").status, 2);
  EXPECT_EQ(Run("--lock-retry 300 info songs").status, 2);
  EXPECT_EQ(Run("--codepage utf16 info songs").status, 2);
  EXPECT_FALSE(fs::exists(dir_ / "songs.DAT"));
}

TEST_F(QuireCli, EngineRefusalsExitWithStatusOne) {
  Write("def.json", R"({"fields": [{"name": "A", "type": "string", "size": 251}]})");
  const Result result = Run("create songs def.json");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "Quire Engine Error # 10000 Invalid field definition specified for the "
            "field A in data file " +
                Path("songs.DAT") + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "songs.DAT"));
  const Result missing = Run("info nothing");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("Quire Engine Error # 11010 ", 0), 0u) << missing.err;
}

}  // namespace
