// Computed fields end to end through the quire tool: a definition with
// compute expressions, rows inserted as JSON, the values dump shows, and a
// definition whose expression does not check.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/QuireProcess.h"

namespace quire::testing {
namespace {

using nlohmann::json;

const char kDefinition[] = R"({
  "fields": [
    {"name": "Code", "type": "string", "size": 10},
    {"name": "Price", "type": "bcd", "decimals": 2},
    {"name": "Qty", "type": "smallint"},
    {"name": "Sold", "type": "date"},
    {"name": "Total", "type": "bcd", "decimals": 2, "compute": "Price * Qty"},
    {"name": "Label", "type": "string", "size": 20, "compute": "UPPER(Code) || '/' || 'O''Neil'"},
    {"name": "Due", "type": "date", "compute": "Sold + 30"},
    {"name": "Big", "type": "boolean", "compute": "Qty > 10"},
    {"name": "Rest", "type": "integer", "compute": "10 - Qty - 2"}
  ],
  "primary": {"fields": ["Code"]}
})";

// The JSON lines of `text`, one object each.
std::vector<json> Lines(const std::string& text) {
  std::vector<json> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) rows.push_back(json::parse(line));
  return rows;
}

TEST(ComputeCli, DumpShowsComputedValuesOfInsertedAndUpdatedRows) {
  TQuireFolder folder;
  folder.Write("def.json", kDefinition);
  const TQuireResult created = folder.Run("create t def.json");
  ASSERT_EQ(created.status, 0) << created.err;
  const TQuireResult info = folder.Run("info t");
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(json::parse(info.out)["fields"][4]["compute"], "Price * Qty");

  folder.Write("rows.jsonl", R"({"Code": "a1", "Price": "12.50", "Qty": 12, "Sold": "2024-01-15"})"
                             "\n"
                             R"({"Code": "b2", "Qty": 3})"
                             "\n");
  const TQuireResult inserted = folder.Run("insert t rows.jsonl");
  ASSERT_EQ(inserted.status, 0) << inserted.err;
  EXPECT_EQ(inserted.out, "inserted 2\n");

  const TQuireResult dumped = folder.Run("dump t");
  ASSERT_EQ(dumped.status, 0) << dumped.err;
  std::vector<json> rows = Lines(dumped.out);
  ASSERT_EQ(rows.size(), 2u) << dumped.out;
  EXPECT_EQ(rows[0]["Total"], "150.00");
  EXPECT_EQ(rows[0]["Label"], "A1/O'Neil");
  EXPECT_EQ(rows[0]["Due"], "2024-02-14");
  EXPECT_EQ(rows[0]["Big"], true);
  EXPECT_EQ(rows[0]["Rest"], 0);  // 10 - (12 - 2)
  // Over NULL fields: NULL, and an ordering comparison false.
  EXPECT_TRUE(rows[1]["Total"].is_null()) << rows[1];
  EXPECT_TRUE(rows[1]["Due"].is_null()) << rows[1];
  EXPECT_EQ(rows[1]["Big"], false);
  EXPECT_EQ(rows[1]["Rest"], 9);
  EXPECT_EQ(rows[1]["Label"], "B2/O'Neil");

  const TQuireResult updated =
      folder.Run(R"(update t --index "" --key '["b2"]' --set '{"Qty": 20, "Price": "0.25"}')");
  ASSERT_EQ(updated.status, 0) << updated.err;
  rows = Lines(folder.Run("dump t --from '[\"b2\"]'").out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Total"], "5.00");
  EXPECT_EQ(rows[0]["Big"], true);
  EXPECT_EQ(rows[0]["Rest"], -8);
}

TEST(ComputeCli, CreateRefusesAnExpressionThatDoesNotCheck) {
  TQuireFolder folder;
  std::string definition = kDefinition;
  definition.replace(definition.find("Sold + 30"), 9, "Sold + ");
  folder.Write("def.json", definition);
  const TQuireResult created = folder.Run("create t def.json");
  EXPECT_EQ(created.status, 1);
  EXPECT_EQ(created.err,
            "Quire Engine Error # 11949 SQL - Unknown or unexpected symbol '' found in computed "
            "field\n");
  EXPECT_FALSE(std::filesystem::exists(folder.Dir() / "t.DAT"));
  EXPECT_FALSE(std::filesystem::exists(folder.Dir() / "t.IDX"));
}

}  // namespace
}  // namespace quire::testing
