// The table dataset's filters: Filter with its options and OnFilterRecord,
// Filtered, and the find operations over them.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::DatabaseErrorOf;
using testing::DumpTableWith;
using testing::TCatalogFolder;

// A song table of five songs and a dataset over it, open.
class TableFilterTest : public ::testing::Test {
 protected:
  TableFilterTest() {
    testing::CreateSongTable(folder_.Path("Song.DAT"));
    table_.SetDatabaseName(folder_.Name());
    table_.SetTableName("Song.DAT");
    table_.Open();
    Add("S1", "Smith", 3);
    Add("S2", "smithers", 5);
    Add("S3", "Jones", 3);
    Add("S4", "Smi*", 8);
    Add("S5", "*", 1);
  }

  void Add(std::string_view code, std::string_view name, int count) {
    table_.Append();
    table_.FieldByName("Code").SetAsString(code);
    table_.FieldByName("Name").SetAsString(name);
    table_.FieldByName("Count").SetAsInteger(count);
    table_.Post();
  }

  // The codes the dataset visits from its first record on.
  std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (table_.First(); !table_.Eof(); table_.Next())
      codes.push_back(table_.FieldByName("Code").AsString());
    return codes;
  }

  std::string Code() { return table_.FieldByName("Code").AsString(); }

  // The codes `quire dump --filter TEXT` prints.
  std::vector<std::string> QuireCodes(const std::string& text, const std::string& options = "") {
    std::vector<std::string> arguments{"--filter", text};
    if (!options.empty()) arguments.insert(arguments.end(), {"--filter-options", options});
    std::vector<std::string> codes;
    for (const auto& row : DumpTableWith(folder_.Path("Song.DAT"), arguments))
      codes.push_back(row.at("Code").get<std::string>());
    return codes;
  }

  using Codes_ = std::vector<std::string>;
  TCatalogFolder folder_;
  TQuireTable table_;
};

TEST_F(TableFilterTest, AFilteredTableVisitsOnlyTheRecordsTheFilterAccepts) {
  table_.SetFilter("Count = 3");
  EXPECT_EQ(Codes(), (Codes_{"S1", "S2", "S3", "S4", "S5"}));  // not yet filtered
  table_.SetFiltered(true);
  EXPECT_EQ(Code(), "S1");
  EXPECT_EQ(Codes(), (Codes_{"S1", "S3"}));
  EXPECT_EQ(table_.RecordCount(), 2);
  table_.Last();
  EXPECT_EQ(Code(), "S3");
  table_.Prior();
  EXPECT_EQ(Code(), "S1");
  table_.SetFiltered(false);
  EXPECT_EQ(table_.RecordCount(), 5);
  EXPECT_EQ(QuireCodes("Count = 3"), (Codes_{"S1", "S3"}));
}

TEST_F(TableFilterTest, ATrailingStarIsAPartialMatchUnlessPartialComparesAreOff) {
  table_.SetFiltered(true);
  table_.SetFilter("Name = 'Smi*'");
  EXPECT_EQ(Codes(), (Codes_{"S1", "S4"}));
  table_.SetFilterOptions(foCaseInsensitive);
  EXPECT_EQ(Codes(), (Codes_{"S1", "S2", "S4"}));
  EXPECT_EQ(QuireCodes("Name = 'Smi*'", "case-insensitive"), (Codes_{"S1", "S2", "S4"}));
  table_.SetFilterOptions(foNoPartialCompare);
  EXPECT_EQ(Codes(), Codes_{"S4"});  // the literal text Smi*
  table_.SetFilterOptions(0);
  table_.SetFilter("Name = '*'");  // a lone star is no wildcard
  EXPECT_EQ(Codes(), Codes_{"S5"});
}

TEST_F(TableFilterTest, ChangingTheFilterOfAFilteredTableMovesToTheFirstRecord) {
  table_.SetFiltered(true);
  table_.Last();
  ASSERT_EQ(Code(), "S5");
  table_.SetFilter("Count > 2");
  EXPECT_EQ(Code(), "S1");
  table_.Last();
  table_.SetFilterOptions(foCaseInsensitive);
  EXPECT_EQ(Code(), "S1");
  table_.Last();
  table_.SetFilter("");  // no condition left: every record
  EXPECT_EQ(Code(), "S1");
  EXPECT_EQ(table_.RecordCount(), 5);

  // Unfiltered, a change keeps the record where it is.
  table_.SetFiltered(false);
  table_.Last();
  table_.SetFilter("Count = 1");
  EXPECT_EQ(Code(), "S5");
}

TEST_F(TableFilterTest, AFilterThatDoesNotParseRaisesItsMessageAndKeepsTheOldOne) {
  table_.SetFilter("Count = 5");
  table_.SetFiltered(true);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetFilter("Count = 5)"); }),
            "Filter expression incorrectly terminated");
  EXPECT_EQ(table_.Filter(), "Count = 5");
  EXPECT_EQ(Codes(), Codes_{"S2"});
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetFilter("Code"); }),
            "Field 'Code' is not of type Boolean");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetFilter("Count > NULL"); }),
            "NULL only allowed with '=' and '<>'");
  EXPECT_EQ(DatabaseErrorOf([&] { table_.SetFilter(""); }), "");
  EXPECT_EQ(table_.RecordCount(), 5);
}

TEST_F(TableFilterTest, OpeningWithAFilterThatDoesNotParseFailsAndLeavesTheTableClosed) {
  table_.Close();
  table_.SetFilter("Name = 'open");  // taken as it is while closed
  table_.SetFiltered(true);
  EXPECT_EQ(DatabaseErrorOf([&] { table_.Open(); }), "Unterminated string constant");
  EXPECT_FALSE(table_.Active());
  EXPECT_EQ(table_.Database(), nullptr);
  table_.SetFilter("Name = NULL");
  table_.Open();
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(table_.Eof());
}

TEST_F(TableFilterTest, TheRecordEventSeesEachCandidateInFilterState) {
  std::vector<TDataSetState> states;
  table_.SetOnFilterRecord([&](TQuireDataSet& dataset, bool& accept) {
    states.push_back(dataset.State());
    EXPECT_TRUE(accept);  // starts true
    accept = dataset.FieldByName("Name").AsString().find('m') != std::string::npos;
  });
  EXPECT_TRUE(states.empty());  // built, not activated
  table_.SetFiltered(true);
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  ASSERT_FALSE(states.empty());
  for (const TDataSetState state : states) EXPECT_EQ(state, TDataSetState::Filter);
  EXPECT_EQ(Codes(), (Codes_{"S1", "S2", "S4"}));

  // With a filter text beside it, a record must pass both.
  table_.SetFilter("Count < 5");
  EXPECT_EQ(Codes(), Codes_{"S1"});
}

TEST_F(TableFilterTest, TheRecordEventMayWriteFieldsOfTheCandidateOnly) {
  table_.SetOnFilterRecord([&](TQuireDataSet& dataset, bool& accept) {
    // Filter work may write the candidate's fields; the table is not changed.
    dataset.FieldByName("Count").SetAsInteger(99);
    accept = dataset.FieldByName("Count").AsInteger() == 99;
  });
  table_.SetFiltered(true);
  EXPECT_EQ(table_.RecordCount(), 5);
  EXPECT_EQ(table_.FieldByName("Count").AsInteger(), 3);
}

TEST_F(TableFilterTest, AnErrorInTheRecordEventGoesToTheErrorDisplayAndTheFlagDecides) {
  std::vector<std::string> shown;
  table_.OnError = [&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      shown.push_back(e.what());
    }
  };
  table_.SetOnFilterRecord([&](TQuireDataSet& dataset, bool& accept) {
    const std::string code = dataset.FieldByName("Code").AsString();
    if (code == "S2") {
      accept = false;
      throw std::runtime_error("refused " + code);
    }
    if (code == "S4") throw std::runtime_error("kept " + code);  // flag still true
    accept = code != "S3";
  });
  table_.SetFiltered(true);
  EXPECT_EQ(Codes(), (Codes_{"S1", "S4", "S5"}));
  EXPECT_NE(std::find(shown.begin(), shown.end(), "refused S2"), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), "kept S4"), shown.end());
}

TEST_F(TableFilterTest, APostedRecordIsTestedAsItEntersAFilteredTable) {
  table_.SetFilter("Count = 3");
  table_.SetFiltered(true);
  Add("S6", "New", 3);
  Add("S7", "Other", 4);
  EXPECT_EQ(Codes(), (Codes_{"S1", "S3", "S6"}));
  EXPECT_EQ(table_.RecordCount(), 3);
  table_.SetFiltered(false);
  EXPECT_EQ(table_.RecordCount(), 7);
}

TEST_F(TableFilterTest, FindsUseTheFiltersWhileTheTableIsNotFiltered) {
  table_.SetFilter("Count = 3");
  EXPECT_TRUE(table_.FindFirst());
  EXPECT_EQ(Code(), "S1");
  EXPECT_TRUE(table_.FindNext());
  EXPECT_EQ(Code(), "S3");
  EXPECT_FALSE(table_.FindNext());  // none after: S3 stays current
  EXPECT_FALSE(table_.Found());
  EXPECT_EQ(Code(), "S3");
  EXPECT_EQ(table_.RecordCount(), 5);  // the filter is off again
  table_.Next();
  EXPECT_EQ(Code(), "S4");  // and the engine stands where the dataset does

  EXPECT_TRUE(table_.FindLast());
  EXPECT_EQ(Code(), "S3");
  EXPECT_TRUE(table_.FindPrior());
  EXPECT_EQ(Code(), "S1");
  EXPECT_FALSE(table_.FindPrior());
  EXPECT_EQ(Code(), "S1");

  table_.SetFilter("Count = 42");
  EXPECT_FALSE(table_.FindFirst());
  EXPECT_EQ(Code(), "S1");
  table_.Next();
  EXPECT_EQ(Code(), "S2");
}

TEST_F(TableFilterTest, FindsOnAFilteredTableStepThroughTheAcceptedRecords) {
  table_.SetOnFilterRecord([](TQuireDataSet& dataset, bool& accept) {
    accept = dataset.FieldByName("Count").AsInteger() >= 3;
  });
  table_.SetFiltered(true);
  EXPECT_TRUE(table_.FindLast());
  EXPECT_EQ(Code(), "S4");
  EXPECT_TRUE(table_.FindPrior());
  EXPECT_EQ(Code(), "S3");
  EXPECT_EQ(table_.RecordCount(), 4);
}

TEST_F(TableFilterTest, TurningTheFilterOnOrOffMovesToTheFirstRecord) {
  table_.SetFilter("Count >= 3");
  table_.Last();
  table_.SetFiltered(true);
  EXPECT_EQ(Code(), "S1");
  table_.Last();
  ASSERT_EQ(Code(), "S4");
  table_.SetFiltered(false);
  EXPECT_EQ(Code(), "S1");
  EXPECT_TRUE(table_.Bof());
}

TEST_F(TableFilterTest, AFilterThatCannotBeActivatedTwiceRaisesTheEngineError) {
  // The engine table already holds as many filters as it can.
  TDataFile& engine = *table_.EngineTable();
  for (int i = 0; i < 128; ++i)
    engine.InstallFilter([](std::span<const std::uint8_t>, std::uint32_t) { return true; });
  table_.SetFilter("Count = 3");
  EXPECT_EQ(testing::CodeOf([&] { table_.SetFiltered(true); }), 9482);
  EXPECT_FALSE(table_.Filtered());
  EXPECT_EQ(table_.RecordCount(), 5);
  engine.RemoveAllFilters();
  table_.SetFiltered(true);
  EXPECT_EQ(table_.RecordCount(), 2);
}

TEST_F(TableFilterTest, WithoutFiltersFindsVisitEveryRecord) {
  EXPECT_TRUE(table_.FindLast());
  EXPECT_EQ(Code(), "S5");
  EXPECT_TRUE(table_.FindFirst());
  EXPECT_EQ(Code(), "S1");
}

}  // namespace
}  // namespace quire
