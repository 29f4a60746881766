// quire dump --filter: the records that pass a dataset filter expression,
// in the order asked for, with the filter options, national text through
// the code page, and refused texts and options.

#include <gtest/gtest.h>

#include <string>

#include "support/QuireProcess.h"

namespace quire {
namespace {

using testing::TQuireFolder;

const char kDefinition[] = R"({
  "fields": [{"name": "Code", "type": "integer"}, {"name": "Name", "type": "string", "size": 20},
             {"name": "Qty", "type": "smallint"}, {"name": "Active", "type": "boolean"}],
  "primary": {"fields": ["Code"]},
  "indexes": [{"name": "ByName", "fields": ["Name"], "caseInsensitive": true},
              {"name": "ByQty", "fields": ["Qty"]}]
})";

class DumpFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("def.json", kDefinition);
    ASSERT_EQ(folder_.Run("create t def.json").status, 0);
    folder_.Write("rows.json",
                  "{\"Code\":1,\"Name\":\"Smith\",\"Qty\":5,\"Active\":true}\n"
                  "{\"Code\":2,\"Name\":\"smithers\",\"Qty\":7,\"Active\":false}\n"
                  "{\"Code\":3,\"Name\":\"Jones\",\"Qty\":70}\n"
                  "{\"Code\":4,\"Name\":\"Smi*\",\"Qty\":1,\"Active\":true}\n"
                  "{\"Code\":5,\"Name\":\"O'Neil\",\"Qty\":3}\n"
                  "{\"Code\":6,\"Name\":\"กขค\",\"Qty\":9}\n"
                  "{\"Code\":7,\"Name\":\"กา\",\"Qty\":2}\n"
                  "{\"Code\":8,\"Qty\":4}\n");
    ASSERT_EQ(folder_.Run("insert t rows.json").out, "inserted 8\n");
  }

  // The codes dump prints, in order, for `options`.
  std::string Codes(const std::string& options) {
    const auto result = folder_.Run("dump t " + options);
    EXPECT_EQ(result.status, 0) << options << ": " << result.err;
    std::string codes;
    for (std::size_t at = result.out.find("\"Code\":"); at != std::string::npos;
         at = result.out.find("\"Code\":", at + 1))
      codes += result.out[at + 7];
    return codes;
  }

  // The first line of standard error of a refused dump.
  std::string Refusal(const std::string& options) {
    const auto result = folder_.Run("dump t " + options);
    EXPECT_EQ(result.status, 2) << options;
    EXPECT_EQ(result.out, "") << options;
    return result.err.substr(0, result.err.find('\n'));
  }

  TQuireFolder folder_;
};

TEST_F(DumpFilter, PrintsThePassingRecordsInTheChosenOrder) {
  EXPECT_EQ(Codes("--filter \"Name = 'Smi*'\""), "14");
  EXPECT_EQ(Codes("--filter \"Qty > 4\""), "1236");
  EXPECT_EQ(Codes("--filter \"Qty > 4\" --index ByQty"), "1263");
  EXPECT_EQ(Codes("--filter \"Qty > 4\" --index ByQty --reverse"), "3621");
  EXPECT_EQ(Codes("--filter \"Qty > 4\" --index ByQty --limit 2"), "12");
  EXPECT_EQ(Codes("--filter \"Qty > 4\" --physical"), "1236");
  EXPECT_EQ(Codes("--filter \"Qty > 4\" --from '[2]' --to '[5]'"), "23");
  EXPECT_EQ(Codes("--filter \"Active\""), "14");
  // A blank Active is not true, so NOT Active keeps it.
  EXPECT_EQ(Codes("--filter \"NOT Active\""), "235678");
  EXPECT_EQ(Codes("--filter \"Active = NULL\""), "35678");
  EXPECT_EQ(Codes("--filter \"Name = NULL OR 5 < Qty AND Qty < 8\""), "28");
  EXPECT_EQ(Codes("--filter \"Name = 'O''Neil'\""), "5");
  EXPECT_EQ(Codes("--filter \"Name = 'Nobody'\""), "");
  // In the order of the case-insensitive index, national letters last.
  EXPECT_EQ(Codes("--filter \"Name <> NULL\" --index ByName"), "3541267");
  const auto recno = folder_.Run("dump t --filter \"Code = 3\" --recno");
  EXPECT_EQ(recno.out, "{\"Code\":3,\"Name\":\"Jones\",\"Qty\":70,\"Active\":null,\"_recno\":3}\n");
}

TEST_F(DumpFilter, FilterOptions) {
  EXPECT_EQ(Codes("--filter \"Name = 'Smi*'\" --filter-options no-partial"), "4");
  EXPECT_EQ(Codes("--filter \"Name = 'smi*'\" --filter-options case-insensitive"), "124");
  EXPECT_EQ(Codes("--filter \"Name = 'SMITH'\" --filter-options case-insensitive"), "1");
  EXPECT_EQ(Codes("--filter \"Name = 'smi*'\" --filter-options case-insensitive,no-partial"), "4");
  EXPECT_EQ(Codes("--filter \"Name = 'smi*'\" --filter-options no-partial,case-insensitive"), "4");
  EXPECT_EQ(Codes("--filter \"Name = 'Smi*'\" --filter-options ''"), "14");
}

TEST_F(DumpFilter, NationalTextGoesThroughTheCodePage) {
  EXPECT_EQ(Codes("--filter \"Name = 'ก*'\""), "67");
  EXPECT_EQ(Codes("--filter \"Name = 'กขค'\""), "6");
  // Byte for byte, the first Thai letter is U+00A1.
  const auto latin1 = folder_.Run("--codepage latin1 dump t --filter \"Name = '\xC2\xA1*'\"");
  EXPECT_EQ(latin1.status, 0) << latin1.err;
  EXPECT_NE(latin1.out.find("\"Code\":6"), std::string::npos);
  EXPECT_NE(latin1.out.find("\"Code\":7"), std::string::npos);
  EXPECT_EQ(latin1.out.find("\"Code\":1"), std::string::npos);
  // A character code page 874 cannot hold is refused.
  EXPECT_EQ(Refusal("--filter \"Name = '\xC3\xA9'\"").substr(0, 6), "quire:");
}

TEST_F(DumpFilter, RefusedTextsAndOptions) {
  EXPECT_EQ(Refusal("--filter \"Nope = 1\""), "quire: --filter: Field 'Nope' not found");
  EXPECT_EQ(Refusal("--filter \"Name\""), "quire: --filter: Field 'Name' is not of type Boolean");
  EXPECT_EQ(Refusal("--filter \"Qty = 70000\""), "quire: --filter: Constant out of range");
  EXPECT_EQ(Refusal("--filter \"Name > NULL\""),
            "quire: --filter: NULL only allowed with '=' and '<>'");
  EXPECT_EQ(Refusal("--filter ''"), "quire: --filter: Expression expected but nothing found");
  EXPECT_EQ(Refusal("--filter \"Qty = 5)\""),
            "quire: --filter: Filter expression incorrectly terminated");
  EXPECT_EQ(Refusal("--filter \"Name = 'x\""), "quire: --filter: Unterminated string constant");
  EXPECT_EQ(Refusal("--filter \"Qty = 5\" --filter-options fast"),
            "quire: --filter-options takes case-insensitive and no-partial, not 'fast'");
  EXPECT_EQ(Refusal("--filter-options no-partial"), "quire: --filter-options needs --filter");
  EXPECT_EQ(Refusal("--filter"), "quire: --filter needs a value");
}

}  // namespace
}  // namespace quire
