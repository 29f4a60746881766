// A query whose DataSource fills its parameters: unbound parameters take the
// current value of the master's field of the same name at every run, bound
// ones keep theirs; and the other parts of the query's contract that the
// query tests do not reach.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/DataSource.h"
#include "access/Query.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CreateSongTable;
using testing::DatabaseErrorOf;
using testing::DumpCodes;
using testing::TCatalogFolder;
using Codes = std::vector<std::string>;

// Song.DAT with songs A1 to A4 and Pick.DAT, the master, with the codes to
// act on; a query over the folder whose DataSource is the master.
class QueryDataSourceTest : public ::testing::Test {
 protected:
  QueryDataSourceTest() {
    Fill("Song.DAT", {"A1", "A2", "A3", "A4"});
    Fill("Pick.DAT", {"A2", "A4"});
    Point(master_, "Pick.DAT");
    master_.Open();
    query_.SetDatabaseName(folder_.Name());
    query_.SetDataSource(&source_);
  }

  void Point(TQuireTable& table, const std::string& name) {
    table.SetDatabaseName(folder_.Name());
    table.SetTableName(name);
  }

  void Fill(const std::string& name, const Codes& codes) {
    CreateSongTable(folder_.Path(name));
    TQuireTable table;
    Point(table, name);
    table.Open();
    for (const std::string& code : codes) {
      table.Append();
      table.FieldByName("Code").SetAsString(code);
      table.FieldByName("Name").SetAsString("Song " + code);
      table.Post();
    }
  }

  Codes SongCodes() { return DumpCodes(folder_.Path("Song.DAT")); }

  TCatalogFolder folder_;
  TQuireTable master_;
  TDataSource source_{&master_};
  TQuireQuery query_;
};

TEST_F(QueryDataSourceTest, UnboundParametersFollowTheMastersCurrentRecordAtEveryRun) {
  query_.AddSQL("DELETE FROM Song WHERE Code = :Code");
  master_.First();  // A2
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(SongCodes(), (Codes{"A1", "A3", "A4"}));
  // Filled, not bound: the next run takes the master's value again.
  EXPECT_FALSE(query_.ParamByName("Code").Bound);

  master_.Next();  // A4
  query_.RunSQL();
  EXPECT_EQ(query_.RowsAffected(), 1);
  EXPECT_EQ(SongCodes(), (Codes{"A1", "A3"}));
}

TEST_F(QueryDataSourceTest, ABoundParameterKeepsItsValueAndNamesMatchIgnoringCase) {
  query_.AddSQL("DELETE FROM Song WHERE Code = :code OR Name = :NAME");
  master_.First();  // A2
  TQuireParam& code = query_.ParamByName("code");
  code.Value = TValue::String("A1");
  code.Bound = true;
  query_.RunSQL();
  // A1 by its bound value, A2 by the master's Name.
  EXPECT_EQ(query_.RowsAffected(), 2);
  EXPECT_EQ(SongCodes(), (Codes{"A3", "A4"}));
}

TEST_F(QueryDataSourceTest, AParameterTheMasterHasNoFieldForHasNoValue) {
  query_.AddSQL("DELETE FROM Song WHERE Code = :Wanted");
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No value for parameter 'Wanted'");
  EXPECT_EQ(query_.Database(), nullptr);  // given back
  EXPECT_EQ(SongCodes(), (Codes{"A1", "A2", "A3", "A4"}));
}

TEST_F(QueryDataSourceTest, AnOpenedSelectShowsTheRowsOfTheMastersValue) {
  query_.AddSQL("SELECT Code, Name FROM Song WHERE Code = :Code");
  master_.Last();  // A4
  query_.Open();
  ASSERT_EQ(query_.RecordCount(), 1);
  EXPECT_EQ(query_.FieldByName("Name").AsString(), "Song A4");
  // The query does not follow the master's moves by itself; reopened, it
  // takes the new value.
  master_.First();
  EXPECT_EQ(query_.FieldByName("Code").AsString(), "A4");
  query_.Close();
  query_.Open();
  EXPECT_EQ(query_.FieldByName("Code").AsString(), "A2");
}

TEST_F(QueryDataSourceTest, AQueryCannotBeItsOwnSourceAndOutlivesItsSource) {
  TDataSource own(&query_);
  EXPECT_EQ(DatabaseErrorOf([&] { query_.SetDataSource(&own); }),
            "Circular datalinks are not allowed");
  EXPECT_EQ(query_.DataSource(), &source_);

  query_.AddSQL("DELETE FROM Song WHERE Code = :Code");
  {
    TDataSource passing(&master_);
    query_.SetDataSource(&passing);
    EXPECT_EQ(query_.DataSource(), &passing);
  }
  EXPECT_EQ(query_.DataSource(), nullptr);
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No value for parameter 'Code'");

  // A master that is freed leaves its source without a dataset.
  auto other = std::make_unique<TQuireTable>();
  Point(*other, "Pick.DAT");
  other->Open();
  TDataSource otherSource(other.get());
  query_.SetDataSource(&otherSource);
  other.reset();
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No value for parameter 'Code'");
  EXPECT_EQ(SongCodes(), (Codes{"A1", "A2", "A3", "A4"}));
}

TEST_F(QueryDataSourceTest, SettingTheSameTextChangesNothingAndClearingNothingIsNoChange) {
  query_.SetDataSource(nullptr);
  query_.SetSQL({"SELECT Code FROM Song", "WHERE Code > :From"});
  query_.ParamByName("From").SetAsString("A2");
  query_.Open();
  ASSERT_EQ(query_.RecordCount(), 2);
  query_.SetSQL({"SELECT Code FROM Song", "WHERE Code > :From"});
  EXPECT_TRUE(query_.Active());  // the same text: still open
  EXPECT_TRUE(query_.ParamByName("From").Bound);
  query_.SetSQL({"SELECT Code FROM Song WHERE Code > :From"});
  EXPECT_FALSE(query_.Active());                  // another text, though the same statement
  EXPECT_TRUE(query_.ParamByName("From").Bound);  // kept by name

  query_.ClearSQL();
  EXPECT_TRUE(query_.Params().empty());
  EXPECT_EQ(query_.EngineText(), "");
  query_.ClearSQL();  // nothing to clear
  EXPECT_EQ(DatabaseErrorOf([&] { query_.RunSQL(); }), "No SQL statement available");
}

}  // namespace
}  // namespace quire
