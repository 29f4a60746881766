// Random filter texts over random tables: the records a filter built from
// the text's buffer lets through, answered from the indexes where it can
// be, are exactly those for which the decoded condition holds when every
// record is tested. Tables differ in their indexes (none, case-sensitive,
// case-insensitive, both), hold blank fields, and have deleted slots.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"
#include "sql/Evaluate.h"
#include "sql/ExprParser.h"
#include "sql/Filter.h"
#include "sql/RecordColumnReader.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

// Fields: 1 ID autoinc (primary), 2 S string(6), 3 T string(6),
// 4 N small integer, 5 B boolean.
class TRandomTable {
 public:
  TRandomTable(const std::string& path, std::mt19937& random) : random_(random) {
    TTableCreateRequest request = Request(
        {Field("ID", ftype::Integer, 0, fsubtype::AutoInc), Field("S", ftype::String, 6),
         Field("T", ftype::String, 6), Field("N", ftype::SmallInt), Field("B", ftype::Boolean)});
    request.Primary = Index("", {1}, true);
    // S: no index, a case-sensitive one, a case-insensitive one, or both;
    // T: a case-insensitive one or none; N: an index or none.
    const int s = Pick(4);
    if (s & 1) request.Secondary.push_back(Index("SCase", {2}));
    if (s & 2) {
      request.Secondary.push_back(Index("SNoCase", {2}));
      request.Secondary.back().CaseInsensitive = 1;
    }
    if (Pick(2) != 0) {
      request.Secondary.push_back(Index("TNoCase", {3}));
      request.Secondary.back().CaseInsensitive = 1;
    }
    if (Pick(2) != 0) request.Secondary.push_back(Index("ByN", {4}));
    CreateTable(path, request);
    table.SetFileName(path);
    table.Open();
    const int rows = 30 + Pick(50);
    for (int i = 0; i < rows; ++i) AddRow();
    // Holes: some slots deleted.
    for (int i = 0; i < rows / 6; ++i)
      if (table.GoToRecord(static_cast<std::uint32_t>(1 + Pick(rows)))) table.DeleteRecord();
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  // A short text over a few letters of both cases, a star and a blank, so
  // that prefixes, folding and stripped blanks meet; sometimes empty.
  std::string Text() {
    static const char kLetters[] = "aAbB*c ";
    std::string text;
    const int length = Pick(5);
    for (int i = 0; i < length; ++i) text += kLetters[Pick(7)];
    return text;
  }

  TDataFile table;

 private:
  void AddRow() {
    std::vector<std::uint8_t> record = table.NewRecordBuffer();
    table.InitRecord(record);
    for (int field : {2, 3}) {
      const std::string text = Text();
      if (!text.empty()) table.SetField(true, field, record, text.c_str(), text.size() + 1);
    }
    if (Pick(5) != 0) {
      const auto n = static_cast<std::int16_t>(Pick(7) - 3);
      table.SetField(true, 4, record, &n, 2);
    }
    if (Pick(3) != 0) {
      const std::int16_t b = static_cast<std::int16_t>(Pick(2));
      table.SetField(true, 5, record, &b, 2);
    }
    table.InsertRecord(record);
  }

  std::mt19937& random_;
};

// Random filter texts over the table's fields.
class TTextMaker {
 public:
  explicit TTextMaker(TRandomTable& table) : table_(table) {}

  std::string Condition(int depth) {
    switch (depth > 0 ? table_.Pick(8) : 0) {
      case 1:
        return Condition(depth - 1) + " AND " + Condition(depth - 1);
      case 2:
        return Condition(depth - 1) + " OR " + Condition(depth - 1);
      case 3:
        return "NOT " + Comparison();
      case 4:
        return "(" + Condition(depth - 1) + ")";
      case 5:
        return "NOT (" + Condition(depth - 1) + ")";
      default:
        return Comparison();
    }
  }

 private:
  std::string Comparison() {
    static const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};
    const std::string op = kOperators[table_.Pick(6)];
    const std::string equality = table_.Pick(2) != 0 ? "=" : "<>";
    switch (table_.Pick(9)) {
      case 0:
        return "S " + op + " " + Quoted();
      case 1:
        return Quoted() + " " + op + " S";
      case 2:
        return "S " + equality + " " + Quoted("*");  // a partial compare, mostly
      case 3:
        return "T " + equality + " " + Quoted();
      case 4:
        return (table_.Pick(2) != 0 ? "S " : "N ") + equality + " NULL";
      case 5:
        return "N " + op + " " + std::to_string(table_.Pick(7) - 3);
      case 6:
        return std::to_string(table_.Pick(7) - 3) + " " + op + " N";
      case 7:
        return table_.Pick(2) != 0 ? "B" : "B = " + std::string(table_.Pick(2) ? "True" : "false");
      default:
        return "S " + op + " T";
    }
  }

  // A random text in quotes, with `suffix` at its end.
  std::string Quoted(const std::string& suffix = "") { return "'" + table_.Text() + suffix + "'"; }

  TRandomTable& table_;
};

TEST(FilterRandom, IndexAnsweredRecordsAreTheTestedOnes) {
  EngineScope engine;
  ScratchDir dir;
  std::mt19937 random(20261209);
  int filters = 0, fullyIndexed = 0, partlyIndexed = 0, compares = 0;
  for (int tableNo = 0; tableNo < 12; ++tableNo) {
    TRandomTable made(dir.Path("R" + std::to_string(tableNo)), random);
    TDataFile& table = made.table;
    TTextMaker maker(made);
    for (int i = 0; i < 60; ++i) {
      const std::string text = maker.Condition(3);
      const auto options = static_cast<TFilterOptions>(made.Pick(4));
      std::vector<std::uint8_t> buffer;
      try {
        buffer =
            TExprParser(table.LogicalFields(), options, text, BuiltInFormatSettings()).FilterData();
      } catch (const EDatabaseError& e) {
        ADD_FAILURE() << text << ": " << e.what();  // the maker writes only valid texts
        continue;
      }
      TFilter filter(table, buffer);
      const TRecordBitmap bitmap = filter.BuildBitmap();
      const TFilter::TStatistics statistics = filter.Statistics();

      std::set<std::uint32_t> answered, tested;
      std::vector<std::uint8_t> record = table.NewRecordBuffer();
      table.First();
      while (table.GetNextRecord(record) == 0) {
        const std::uint32_t number = table.CurrentRecordNumber();
        if (bitmap.Test(number)) answered.insert(number);
        TRecordColumnReader reader(table.LogicalFields(), record);
        if (Evaluate(*filter.Tree(), {.Reader = &reader}).IsTrue()) tested.insert(number);
      }
      ASSERT_EQ(answered, tested) << text << " with options " << int{options};
      ++filters;
      if (statistics.RangesMarked > 0 && statistics.RecordsTested == 0) ++fullyIndexed;
      if (statistics.RangesMarked > 0 && statistics.RecordsTested > 0) ++partlyIndexed;
      if (text.find("*'") != std::string::npos || (options & foCaseInsensitive) != 0) ++compares;
    }
  }
  // The index path was really taken, wholly and in part.
  EXPECT_EQ(filters, 12 * 60);
  EXPECT_GT(fullyIndexed, filters / 20);
  EXPECT_GT(partlyIndexed, filters / 50);
  EXPECT_GT(compares, filters / 4);
}

}  // namespace
}  // namespace quire::testing
