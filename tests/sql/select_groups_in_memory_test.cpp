// GROUP BY and DISTINCT over many rows whose groups arrive interleaved:
// the groups, kept in memory while the rows arrive, end up in the result in
// the order of their first rows, with every aggregate as a lookup per row
// would have left it, and equal exactly when the group index's keys are
// equal (trailing blanks dropped, case kept, NULL a group of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FieldTypes.h"
#include "support/SelectTesting.h"

namespace quire::testing {
namespace {

using Rows = std::vector<std::string>;

struct TRow {
  std::optional<std::string> g;  // as stored: no trailing blanks, '' is NULL
  std::optional<std::int32_t> n;
};

// The texts a row's group column is given, some differing only in case or
// in trailing blanks.
const std::vector<std::string> kTexts = {"ab", "ab ", "AB", "b", "", "c d", "c d  ", "zz", "Zz"};

std::optional<std::string> Stored(const std::string& text) {
  std::string value = text;
  while (!value.empty() && value.back() == ' ') value.pop_back();
  if (value.empty()) return std::nullopt;
  return value;
}

std::string Show(const std::optional<std::string>& text) {
  return text ? *text : "NULL";
}

std::string Show(const std::optional<std::int32_t>& value) {
  return value ? std::to_string(*value) : "NULL";
}

class SelectGroupsInMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Create("t",
                   {{"ID", ftype::Integer, 0, fsubtype::AutoInc},
                    {"g", ftype::String, 10},
                    {"n", ftype::Integer}},
                   IndexOn({1}, false, "", true));
    std::mt19937 random(1209);
    std::vector<std::vector<TValue>> values;
    for (int i = 0; i < 3000; ++i) {
      const std::string& text = kTexts[random() % kTexts.size()];
      const bool hasNumber = random() % 5 != 0;
      const auto n = static_cast<std::int32_t>(random() % 200) - 100;
      values.push_back({N, text.empty() ? N : S(text), hasNumber ? I(n) : N});
      rows_.push_back({Stored(text), hasNumber ? std::optional<std::int32_t>(n) : std::nullopt});
    }
    folder_.Insert("t", values);
  }

  TSelectFolder folder_;
  std::vector<TRow> rows_;
};

TEST_F(SelectGroupsInMemory, EveryAggregateOfInterleavedGroupsInFirstArrivalOrder) {
  struct TGroup {
    std::optional<std::string> g;
    std::optional<std::int32_t> sum, min, max;
    int count = 0, countAll = 0;
    double avgSum = 0;
  };
  std::vector<TGroup> groups;
  std::map<std::optional<std::string>, std::size_t> byKey;
  for (const TRow& row : rows_) {
    auto [place, added] = byKey.emplace(row.g, groups.size());
    if (added) {
      groups.emplace_back();
      groups.back().g = row.g;
    }
    TGroup& group = groups[place->second];
    ++group.countAll;
    if (!row.n) continue;
    ++group.count;
    group.sum = group.sum.value_or(0) + *row.n;
    group.min = group.min ? std::min(*group.min, *row.n) : *row.n;
    group.max = group.max ? std::max(*group.max, *row.n) : *row.n;
    group.avgSum += *row.n;
  }
  Rows expected;
  for (const TGroup& group : groups) {
    std::ostringstream avg;
    if (group.count == 0) {
      avg << "NULL";
    } else {
      avg << group.avgSum / group.count;
    }
    expected.push_back(Show(group.g) + "|" + Show(group.sum) + "|" + Show(group.min) + "|" +
                       Show(group.max) + "|" + std::to_string(group.count) + "|" +
                       std::to_string(group.countAll) + "|" + avg.str());
  }
  TSelectQuery query(
      folder_, "SELECT g, SUM(n), MIN(n), MAX(n), COUNT(n), COUNT(*), AVG(n) FROM t GROUP BY g");
  query.Run();
  EXPECT_EQ(query.Rows(), expected);
  // The row numbers count the groups in that order, one record each.
  TDataFile& result = query.Result();
  result.SelectIndex(kPhysicalOrder);
  std::vector<std::uint8_t> record = result.NewRecordBuffer();
  result.First();
  std::int32_t number = 0;
  while (result.GetNextRecord(record) == 0) {
    std::int32_t rowNo = 0;
    std::vector<std::uint8_t> value(4);
    ASSERT_FALSE(result.GetField(true, 1, record, value));
    std::memcpy(&rowNo, value.data(), 4);
    EXPECT_EQ(rowNo, ++number);
  }
  EXPECT_EQ(number, static_cast<std::int32_t>(groups.size()));
  // Run again: the groups start afresh.
  query.Run();
  EXPECT_EQ(query.Rows(), expected);
}

// The condition n >= 0 as the dialect gives it: a comparison with NULL is
// false.
std::string SignOf(const TRow& row) {
  return row.n && *row.n >= 0 ? "true" : "false";
}

TEST_F(SelectGroupsInMemory, TwoGroupedColumnsAndAnOrderOverTheGroups) {
  std::vector<std::string> keys;
  std::map<std::string, int> counts;
  for (const TRow& row : rows_) {
    const std::string key = Show(row.g) + "|" + SignOf(row);
    if (counts[key]++ == 0) keys.push_back(key);
  }
  Rows expected;
  for (const std::string& key : keys) expected.push_back(key + "|" + std::to_string(counts[key]));
  EXPECT_EQ(SelectRows(folder_, "SELECT g, n >= 0, COUNT(*) FROM t GROUP BY 1, 2"), expected);
  // Ordered by the count, ties in arrival order.
  std::stable_sort(
      expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        return std::stoi(a.substr(a.rfind('|') + 1)) < std::stoi(b.substr(b.rfind('|') + 1));
      });
  EXPECT_EQ(SelectRows(folder_, "SELECT g, n >= 0, COUNT(*) FROM t GROUP BY 1, 2 ORDER BY 3"),
            expected);
}

TEST_F(SelectGroupsInMemory, DistinctKeepsTheFirstOfEqualRowsInArrivalOrder) {
  Rows expected;
  std::map<std::string, bool> seen;
  for (const TRow& row : rows_) {
    const std::string key = Show(row.g) + "|" + SignOf(row);
    if (seen.emplace(key, true).second) expected.push_back(key);
  }
  EXPECT_EQ(SelectRows(folder_, "SELECT DISTINCT g, n >= 0 FROM t"), expected);
}

TEST(SelectGroupsPastTheirRoom, GroupsThatOutgrowMemoryGoOnInTheTable) {
  // Wide groups: a megabyte holds about a thousand of them, so the first
  // ones go to the table part way and later rows of theirs update them
  // there.
  TSelectFolder folder;
  folder.Create("w", {{"g", ftype::Integer},
                      {"a", ftype::String, 250},
                      {"b", ftype::String, 250},
                      {"c", ftype::String, 250},
                      {"n", ftype::Integer}});
  constexpr int kGroups = 2500;
  std::vector<std::vector<TValue>> rows;
  std::vector<int> sums(kGroups, 0);
  for (int pass = 0; pass < 2; ++pass) {
    for (int g = 0; g < kGroups; ++g) {
      const int key = (g * 7919) % kGroups;  // not in key order
      const std::string text(200, static_cast<char>('a' + key % 26));
      rows.push_back({I(key), S(text + "x"), S(text + "y"), S(text), I(pass + 1)});
      sums[key] += pass + 1;
    }
  }
  folder.Insert("w", rows);
  Rows expected;
  for (int g = 0; g < kGroups; ++g) {
    const int key = (g * 7919) % kGroups;
    const std::string text(200, static_cast<char>('a' + key % 26));
    expected.push_back(std::to_string(key) + "|" + text + "x|" + text + "y|" + text + "|2|" +
                       std::to_string(sums[key]));
  }
  // The columns not grouped keep the group's first row's values.
  EXPECT_EQ(SelectRows(folder, "SELECT g, a, b, c, COUNT(*), SUM(n) FROM w GROUP BY g"), expected);
}

}  // namespace
}  // namespace quire::testing
