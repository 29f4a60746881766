// quire dump --from/--to: key ranges over the primary index, a secondary
// index with partial keys, a descending index, in reverse, and in physical
// order; refused bounds.

#include <gtest/gtest.h>

#include <string>

#include "support/QuireProcess.h"

namespace quire {
namespace {

using testing::TQuireFolder;

const char kDefinition[] = R"({
  "fields": [{"name": "Code", "type": "integer"}, {"name": "Name", "type": "string", "size": 10}],
  "primary": {"fields": ["Code"]},
  "indexes": [{"name": "ByName", "fields": ["Name", "Code"]},
              {"name": "Down", "fields": ["Code"], "unique": true, "descending": true}]
})";

class DumpRange : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("def.json", kDefinition);
    ASSERT_EQ(folder_.Run("create t def.json").status, 0);
    folder_.Write("rows.json",
                  "{\"Code\":5,\"Name\":\"EVE\"}\n{\"Code\":1,\"Name\":\"ANNA\"}\n"
                  "{\"Code\":3,\"Name\":\"CARL\"}\n{\"Code\":2,\"Name\":\"BEN\"}\n"
                  "{\"Code\":4,\"Name\":\"BEN\"}\n");
    ASSERT_EQ(folder_.Run("insert t rows.json").out, "inserted 5\n");
  }

  // The codes dump prints, one per line, for `options`.
  std::string Codes(const std::string& options) {
    const auto result = folder_.Run("dump t " + options);
    EXPECT_EQ(result.status, 0) << result.err;
    std::string codes;
    for (std::size_t at = result.out.find("\"Code\":"); at != std::string::npos;
         at = result.out.find("\"Code\":", at + 1)) {
      codes += result.out[at + 7];
    }
    return codes;
  }

  TQuireFolder folder_;
};

TEST_F(DumpRange, FromAndToOnThePrimaryIndex) {
  EXPECT_EQ(Codes("--from '[2]' --to '[4]'"), "234");
  EXPECT_EQ(Codes("--from '[2]' --to '[4]' --reverse"), "432");
  EXPECT_EQ(Codes("--from '[4]'"), "45");
  EXPECT_EQ(Codes("--to '[2]'"), "12");
  EXPECT_EQ(Codes("--from '[9]'"), "");
  EXPECT_EQ(Codes("--from '[4]' --to '[2]'"), "");
  EXPECT_EQ(Codes("--from '[2]' --limit 2"), "23");
}

TEST_F(DumpRange, PartialKeysOfASecondaryIndex) {
  // One field of two: every BEN, whatever its code.
  EXPECT_EQ(Codes("--index ByName --from '[\"BEN\"]' --to '[\"BEN\"]'"), "24");
  EXPECT_EQ(Codes("--index ByName --from '[\"BEN\", 3]' --to '[\"CARL\"]'"), "43");
  EXPECT_EQ(Codes("--index ByName --to '[\"BEN\", 2]'"), "12");
}

TEST_F(DumpRange, DescendingIndexRunsFromTheHighEnd) {
  EXPECT_EQ(Codes("--index Down"), "54321");
  EXPECT_EQ(Codes("--index Down --from '[4]' --to '[2]'"), "432");
  EXPECT_EQ(Codes("--index Down --from '[2]' --to '[4]'"), "");
}

TEST_F(DumpRange, PhysicalOrderKeepsSlotOrderWithinThePrimaryRange) {
  const auto result = folder_.Run("dump t --physical --from '[2]' --recno");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "{\"Code\":5,\"Name\":\"EVE\",\"_recno\":1}\n"
            "{\"Code\":3,\"Name\":\"CARL\",\"_recno\":3}\n"
            "{\"Code\":2,\"Name\":\"BEN\",\"_recno\":4}\n"
            "{\"Code\":4,\"Name\":\"BEN\",\"_recno\":5}\n");
  EXPECT_EQ(Codes("--physical --to '[3]' --reverse"), "231");  // slots 4, 3, 2
}

TEST_F(DumpRange, BoundsThatAreNotArraysOfTheIndexFieldsAreRefused) {
  auto result = folder_.Run("dump t --from '[1, 2]'");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--from needs an array of 1 to 1 values"), std::string::npos);
  result = folder_.Run("dump t --to '{\"Code\": 1}'");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--to needs an array"), std::string::npos);
  result = folder_.Run("dump t --from nonsense");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--from needs JSON"), std::string::npos);
  result = folder_.Run("dump t --from '[\"x\"]'");
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(result.out.empty());
}

}  // namespace
}  // namespace quire
