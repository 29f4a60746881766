// quire stress: several processes share one table for a few seconds; the
// table must then hold exactly what their logs say and pass the check. With
// writers killed mid-run the others go on and the verdict on the files is
// the check's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/QuireProcess.h"

namespace {

namespace fs = std::filesystem;
using quire::testing::TQuireFolder;

const char kDefinition[] = R"({"blobBlockSize": 128,
  "fields": [{"name": "ID", "type": "autoinc"}, {"name": "Code", "type": "string", "size": 12},
             {"name": "Count", "type": "integer"}, {"name": "Price", "type": "bcd", "decimals": 2},
             {"name": "Lyric", "type": "blob", "subtype": "memo"}],
  "primary": {"fields": ["Code"]},
  "indexes": [{"name": "ByCount", "fields": ["Count"], "compression": "both"}]})";

// The last line of `text`, and the numbers of "ops N, lost N, duplicated N,
// lock failures N, check ok|failed".
struct TSummary {
  long ops = -1, lost = -1, duplicated = -1, lockFailures = -1;
  std::string check;
};

TSummary Summary(const std::string& out) {
  const std::size_t end = out.find_last_not_of('\n');
  const std::size_t start = out.rfind('\n', end);
  const std::string last = out.substr(start == std::string::npos ? 0 : start + 1,
                                      end - (start == std::string::npos ? 0 : start + 1) + 1);
  static const std::regex pattern(
      R"(^ops (\d+), lost (\d+), duplicated (\d+), lock failures (\d+), check (ok|failed)$)");
  std::smatch m;
  TSummary summary;
  if (!std::regex_match(last, m, pattern)) return summary;
  summary.ops = std::stol(m[1]);
  summary.lost = std::stol(m[2]);
  summary.duplicated = std::stol(m[3]);
  summary.lockFailures = std::stol(m[4]);
  summary.check = m[5];
  return summary;
}

// Lines of `kind` ("I", "D", ...) over all worker logs of table `songs`.
long CountLogLines(const TQuireFolder& folder, const std::string& kind) {
  long count = 0;
  for (const auto& entry : fs::directory_iterator(folder.Path("songs.stress"))) {
    std::ifstream log(entry.path());
    for (std::string line; std::getline(log, line);)
      if (line.rfind(kind + ' ', 0) == 0) ++count;
  }
  return count;
}

class StressCli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("def.json", kDefinition);
    ASSERT_EQ(folder_.Run("create songs def.json").status, 0);
  }
  long RecordCount() const {
    const auto info = folder_.Run("info songs");
    EXPECT_EQ(info.status, 0) << info.err;
    return nlohmann::json::parse(info.out)["recordCount"].get<long>();
  }

  TQuireFolder folder_;
};

TEST_F(StressCli, ProcessesSharingATableLoseNothing) {
  folder_.Write("rows.jsonl",
                "{\"Code\": \"KEEP1\", \"Count\": 7, \"Lyric\": \"stays\"}\n"
                "{\"Code\": \"KEEP2\", \"Price\": \"12.50\"}\n");
  ASSERT_EQ(folder_.Run("insert songs rows.jsonl").status, 0);
  const auto before = folder_.Run("dump songs --from '[\"KEEP\"]' --to '[\"KEEP3\"]'");

  const auto result = folder_.Run("stress songs --processes 3 --seconds 3");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  const TSummary summary = Summary(result.out);
  EXPECT_GT(summary.ops, 0) << result.out;
  EXPECT_EQ(summary.lost, 0);
  EXPECT_EQ(summary.duplicated, 0);
  EXPECT_EQ(summary.check, "ok");

  // Independently of the tool's own comparison: the index's record count is
  // what was there plus the logged inserts less the logged deletes, the rows
  // that were there are untouched (workers change only their own), and the
  // files pass a separate check.
  EXPECT_EQ(RecordCount(), 2 + CountLogLines(folder_, "I") - CountLogLines(folder_, "D"));
  EXPECT_EQ(folder_.Run("dump songs --from '[\"KEEP\"]' --to '[\"KEEP3\"]'").out, before.out);
  EXPECT_EQ(folder_.Run("check songs").out, "ok\n");
}

TEST_F(StressCli, KilledWritersLeaveOnlyWhatTheCheckReports) {
  const auto result = folder_.Run("stress songs --processes 3 --seconds 4 --kill-writers");
  const TSummary summary = Summary(result.out);
  ASSERT_FALSE(summary.check.empty()) << result.out << result.err;
  EXPECT_NE(result.out.find("workers killed "), std::string::npos);
  EXPECT_EQ(result.out.find("workers killed 0,"), std::string::npos) << result.out;
  EXPECT_GT(summary.ops, 0);
  // The survivors went on after the kills: more logs than processes, and
  // operations logged by the replacements.
  long logs = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_.Path("songs.stress")))
    ++logs;
  EXPECT_GT(logs, 3);
  // The verdict on the files is exactly what a separate check finds.
  const auto check = folder_.Run("check songs");
  EXPECT_EQ(summary.check == "ok", check.status == 0) << check.out;
  const bool workerFailed = result.out.find("ended abnormally") != std::string::npos;
  EXPECT_EQ(result.status == 0,
            summary.lost == 0 && summary.duplicated == 0 && summary.check == "ok" && !workerFailed);
  if (check.status != 0) {
    // The fault lines the run printed are the check's, line for line.
    std::string faults;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind(folder_.Path("songs."), 0) == 0) faults += line + '\n';
    EXPECT_EQ(faults, check.out);
  }
}

TEST_F(StressCli, UsageErrors) {
  EXPECT_EQ(folder_.Run("stress songs --seconds 1").status, 2);
  EXPECT_EQ(folder_.Run("stress songs --processes 0 --seconds 1").status, 2);
  EXPECT_EQ(folder_.Run("stress songs --processes 2").status, 2);
  EXPECT_EQ(folder_.Run("--exclusive stress songs --processes 2 --seconds 1").status, 2);
}

}  // namespace
