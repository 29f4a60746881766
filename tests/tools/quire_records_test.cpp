// quire insert, dump, update, delete and empty as scripts use them: rows in
// as JSON lines, rows out in index, reverse and physical order, every value
// form, exit codes and the engine's messages.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/QuireProcess.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using Result = quire::testing::TQuireResult;
using quire::testing::ReadAll;

const char kDefinition[] = R"({
  "description": "records",
  "fields": [
    {"name": "ID", "type": "autoinc"},
    {"name": "Code", "type": "string", "size": 10},
    {"name": "Name", "type": "string", "size": 20},
    {"name": "Price", "type": "bcd", "decimals": 2},
    {"name": "Day", "type": "date"},
    {"name": "At", "type": "time"},
    {"name": "Stamp", "type": "timestamp"},
    {"name": "Done", "type": "boolean"},
    {"name": "Count", "type": "smallint"},
    {"name": "Ratio", "type": "float"},
    {"name": "Raw", "type": "bytes", "size": 4},
    {"name": "Lyric", "type": "blob", "subtype": "memo"},
    {"name": "Data", "type": "blob", "subtype": "binary"}
  ],
  "primary": {"fields": ["Code"]},
  "indexes": [{"name": "ByName", "fields": ["Name"], "caseInsensitive": true}]
})";

class QuireRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("def.json", kDefinition);
    ASSERT_EQ(Run("create t def.json").status, 0);
  }

  void Write(const std::string& name, const std::string& text) const { folder_.Write(name, text); }
  Result Run(const std::string& args) const { return folder_.Run(args); }

  std::vector<json> Dump(const std::string& options = "") const {
    const Result result = Run("dump t " + options);
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<json> rows;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) rows.push_back(json::parse(line));
    return rows;
  }

  std::vector<std::string> Codes(const std::string& options = "") const {
    std::vector<std::string> codes;
    for (const json& row : Dump(options)) codes.push_back(row["Code"]);
    return codes;
  }

  void InsertCodes(const std::vector<std::string>& codes, const std::vector<std::string>& names) {
    std::string lines;
    for (std::size_t i = 0; i < codes.size(); ++i)
      lines += R"({"Code":")" + codes[i] + R"(","Name":")" + names[i] + "\"}\n";
    Write("rows.json", lines);
    const Result result = Run("insert t rows.json");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "inserted " + std::to_string(codes.size()) + "\n");
  }

  quire::testing::TQuireFolder folder_;
  const fs::path dir_ = folder_.Dir();
};

TEST_F(QuireRecords, EveryValueFormRoundTrips) {
  Write("rows.json",
        R"({"Code":"A1","Name":"ก ไก่","Price":"12.5","Day":"2024-02-29","At":"13:45:07.250",)"
        R"("Stamp":"1999-12-31 23:59:59.999","Done":true,"Count":-7,"Ratio":0.25,)"
        R"("Raw":"AQID/w==","Lyric":"line one\nline two","Data":"AAEC","ID":99})"
        "\n");
  const Result inserted = Run("insert t rows.json");
  ASSERT_EQ(inserted.status, 0) << inserted.err;
  const std::vector<json> rows = Dump();
  ASSERT_EQ(rows.size(), 1u);
  const json expected =
      json::parse(R"({"ID":1,"Code":"A1","Name":"ก ไก่","Price":"12.50","Day":"2024-02-29",)"
                  R"("At":"13:45:07.250","Stamp":"1999-12-31 23:59:59.999","Done":true,"Count":-7,)"
                  R"("Ratio":0.25,"Raw":"AQID/w==","Lyric":"line one\nline two","Data":"AAEC"})");
  EXPECT_EQ(rows[0], expected);
  // Fields left out of a row are blank.
  Write("more.json", R"({"Code":"B2"})"
                     "\n");
  ASSERT_EQ(Run("insert t more.json").status, 0);
  const json blank = Dump()[1];
  EXPECT_EQ(blank["Lyric"], nullptr);
  EXPECT_EQ(blank["Price"], nullptr);
  EXPECT_EQ(blank["ID"], 2);
}

TEST_F(QuireRecords, DumpInEveryOrder) {
  InsertCodes({"c", "a", "d", "b"}, {"Zed", "beta", "Alpha", "beta"});
  EXPECT_EQ(Codes(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(Codes("--reverse"), (std::vector<std::string>{"d", "c", "b", "a"}));
  // Case-insensitive names; equal names in insertion order.
  EXPECT_EQ(Codes("--index byname"), (std::vector<std::string>{"d", "a", "b", "c"}));
  EXPECT_EQ(Codes("--index ByName --reverse --limit 2"), (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(Codes("--physical"), (std::vector<std::string>{"c", "a", "d", "b"}));
  const std::vector<json> rows = Dump("--recno --limit 1");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["_recno"], 2);
  const Result unknown = Run("dump t --index Nope");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("Quire Engine Error # 10022"), std::string::npos) << unknown.err;
  EXPECT_EQ(Run("dump t --physical --index ByName").status, 2);
}

TEST_F(QuireRecords, BadInputInsertsNothing) {
  Write("rows.json", R"({"Code":"a"})"
                     "\n"
                     R"({"Code":"b","Count":70000})"
                     "\n");
  const Result result = Run("insert t rows.json");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("line 2"), std::string::npos) << result.err;
  EXPECT_TRUE(Dump().empty());
  Write("rows.json", R"({"Code":"a","Colour":"red"})"
                     "\n");
  EXPECT_EQ(Run("insert t rows.json").status, 2);
  EXPECT_TRUE(Dump().empty());
}

TEST_F(QuireRecords, DuplicateKeyStopsWithTheEngineMessage) {
  Write("rows.json", R"({"Code":"a"})"
                     "\n"
                     R"({"Code":"b"})"
                     "\n"
                     R"({"Code":"a"})"
                     "\n");
  const Result result = Run("insert t rows.json");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "inserted 2\n");
  EXPECT_EQ(result.err,
            "Quire Engine Error # 9729 Duplicate key found in index Primary of "
            "data file " +
                (dir_ / "t.DAT").string() + "\n");
  EXPECT_EQ(Codes(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(QuireRecords, UpdateChangesEachMatchingRecordOnce) {
  InsertCodes({"a", "b", "c"}, {"x", "x", "y"});
  // A change of the index's own field must neither skip nor repeat a record.
  const Result result =
      Run(R"(update t --index ByName --key '["X"]' --set '{"Name":"w","Price":"1.5"}')");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "updated 2\n");
  const std::vector<json> rows = Dump("--index ByName");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]["Code"], "a");
  EXPECT_EQ(rows[0]["Name"], "w");
  EXPECT_EQ(rows[0]["Price"], "1.50");
  EXPECT_EQ(rows[1]["Code"], "b");
  EXPECT_EQ(rows[2]["Code"], "c");
  EXPECT_EQ(Run(R"(update t --index "" --key '["zz"]' --set '{"Name":"q"}')").out, "updated 0\n");
  EXPECT_EQ(Run(R"(update t --index "" --key '["a","b"]' --set '{}')").status, 2);
}

TEST_F(QuireRecords, DeleteByKeyAllAndEmpty) {
  InsertCodes({"a", "b", "c", "d"}, {"x", "y", "x", "z"});
  Result result = Run(R"(delete t --index ByName --key '["x"]')");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "deleted 2\n");
  EXPECT_EQ(Codes(), (std::vector<std::string>{"b", "d"}));
  result = Run("delete t --all");
  EXPECT_EQ(result.out, "deleted 2\n");
  EXPECT_TRUE(Dump("--physical").empty());
  InsertCodes({"e"}, {"q"});
  result = Run("empty t");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Quire Engine Error # 10253"), std::string::npos) << result.err;
  EXPECT_EQ(Run("--exclusive empty t").status, 0);
  EXPECT_TRUE(Dump().empty());
  const json info = json::parse(Run("info t").out);
  EXPECT_EQ(info["header"]["nextRecordNumber"], 1);
  EXPECT_EQ(info["recordCount"], 0);
}

TEST_F(QuireRecords, EncryptedTableNeedsItsPassword) {
  std::string definition = kDefinition;
  definition.replace(definition.find("\"description\""), 0,
                     R"("encrypted": true, "password": "Rj];f2Lm47V?", )");
  Write("secret.json", definition);
  ASSERT_EQ(Run("create s secret.json").status, 0);
  Write("rows.json", R"({"Code":"a","Lyric":"hidden words"})"
                     "\n");
  EXPECT_EQ(Run("insert s rows.json").status, 1);
  ASSERT_EQ(Run("--password 'Rj];f2Lm47V?' insert s rows.json").status, 0);
  const Result dump = Run("--password 'Rj];f2Lm47V?' dump s");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(json::parse(dump.out)["Lyric"], "hidden words");
  EXPECT_EQ(ReadAll(dir_ / "s.BLB").find("hidden"), std::string::npos);
  EXPECT_EQ(ReadAll(dir_ / "s.DAT")
                .find("\x01"
                      "a"),
            std::string::npos);
}

}  // namespace
