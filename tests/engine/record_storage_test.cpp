// Records in a table: slots and their reuse, auto-increment values, the
// table's size limit, field values in record buffers, navigation in index
// and physical order, and refused inserts that must leave every file as it
// was.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/FileBytes.h"
#include "engine/Record.h"
#include "index/IndexVerifier.h"
#include "support/EngineScope.h"
#include "support/LockHolderProcess.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::ErrorCodeOf;
using testing::Field;
using testing::Index;
using testing::Request;

// Code integer (primary), Name string(10) (secondary "ByName", not unique),
// ID auto-increment.
class Records : public ::testing::Test {
 protected:
  void Create(bool primary = true, bool required = false) {
    auto request = Request({Field("Code", ftype::Integer), Field("Name", ftype::String, 10),
                            Field("ID", ftype::Integer, 0, fsubtype::AutoInc)});
    request.Fields[1].Required = required;
    if (primary) request.Primary = Index("", {1});
    request.Secondary.push_back(Index("ByName", {2}));
    testing::CreateTable(dir_.Path("t"), request);
  }

  void Open(TDataFile& table, bool exclusive = false) {
    table.SetFileName(dir_.Path("t"));
    table.SetExclusive(exclusive);
    table.Open();
  }

  std::vector<std::uint8_t> Row(TDataFile& table, std::int32_t code, std::string name) {
    std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
    table.InitRecord(buffer);
    table.SetField(true, 1, buffer, &code, 4);
    table.SetField(true, 2, buffer, name.data(), name.size());
    return buffer;
  }

  void Insert(TDataFile& table, std::int32_t code, std::string name = "x") {
    auto buffer = Row(table, code, std::move(name));
    table.InsertRecord(buffer);
  }

  static std::int32_t Code(TDataFile& table, std::span<const std::uint8_t> buffer) {
    std::uint8_t value[4];
    table.GetField(true, 1, buffer, value);
    return bytes::Get<std::int32_t>(value, 0);
  }

  static std::string Name(TDataFile& table, std::span<const std::uint8_t> buffer) {
    std::uint8_t value[11] = {};
    table.GetField(true, 2, buffer, value);
    return reinterpret_cast<const char*>(value);
  }

  static std::int32_t AutoInc(std::span<const std::uint8_t> buffer) {
    return bytes::Get<std::int32_t>(buffer, 5);
  }

  // Codes in the current order, walking forward from the start.
  static std::vector<std::int32_t> Walk(TDataFile& table) {
    std::vector<std::int32_t> codes;
    auto buffer = table.NewRecordBuffer();
    table.First();
    while (table.GetNextRecord(buffer) == 0) codes.push_back(Code(table, buffer));
    return codes;
  }

  std::string DataBytes() const { return testing::ScratchDir::ReadFile(dir_.Path("t.DAT")); }
  std::string IndexBytes() const { return testing::ScratchDir::ReadFile(dir_.Path("t.IDX")); }

  static std::int32_t HeaderInt(const std::string& image, std::size_t at) {
    return static_cast<std::int32_t>(testing::LeAt(image, at, 4));
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
};

TEST_F(Records, DeletedSlotsAreReusedLastDeletedFirst) {
  Create();
  TDataFile table;
  Open(table);
  for (int code = 1; code <= 10; ++code) Insert(table, code * 10);
  ASSERT_TRUE(table.GoToRecord(3));
  table.DeleteRecord();
  ASSERT_TRUE(table.GoToRecord(7));
  table.DeleteRecord();
  EXPECT_EQ(table.Header().FreeRecordHead, 7);

  Insert(table, 1000);
  EXPECT_EQ(table.CurrentRecordNumber(), 7u);
  Insert(table, 2000);
  EXPECT_EQ(table.CurrentRecordNumber(), 3u);
  table.Close();

  const std::string image = DataBytes();
  EXPECT_EQ(HeaderInt(image, 9), 0);    // FreeRecordHead
  EXPECT_EQ(HeaderInt(image, 13), 11);  // NextRecordNumber: no slot was added
  Open(table);
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{10, 20, 40, 50, 60, 80, 90, 100, 1000, 2000}));
  EXPECT_EQ(table.RecordCount(), 10);
}

TEST_F(Records, DeletedSlotHoldsFlagAndChainLinkOnDisk) {
  Create();
  TDataFile table;
  Open(table);
  for (int code = 1; code <= 4; ++code) Insert(table, code);
  ASSERT_TRUE(table.GoToRecord(2));
  table.DeleteRecord();
  ASSERT_TRUE(table.GoToRecord(4));
  table.DeleteRecord();
  table.Close();
  const std::string image = DataBytes();
  const std::size_t start = 127 + 3 * 768;
  const std::size_t size = 9 + 5 + 12;
  EXPECT_EQ(image[start + 1 * size], 1);                 // slot 2 deleted
  EXPECT_EQ(HeaderInt(image, start + 1 * size + 1), 0);  // end of chain
  EXPECT_EQ(image[start + 3 * size], 1);                 // slot 4 deleted
  EXPECT_EQ(HeaderInt(image, start + 3 * size + 1), 2);  // links to slot 2
  EXPECT_EQ(HeaderInt(image, start + 2 * size + 1), 3);  // a live slot names itself
}

TEST_F(Records, WithoutPrimaryIndexInsertsAlwaysAppend) {
  Create(false);
  TDataFile table;
  Open(table);
  for (int code = 1; code <= 5; ++code) Insert(table, code);
  ASSERT_TRUE(table.GoToRecord(2));
  table.DeleteRecord();
  ASSERT_TRUE(table.GoToRecord(4));
  table.DeleteRecord();
  Insert(table, 6);
  EXPECT_EQ(table.CurrentRecordNumber(), 6u);
  EXPECT_EQ(table.Header().NextRecordNumber, 7);
  EXPECT_EQ(table.Header().FreeRecordHead, 4);
  table.Close();
  // Deleted records stay out of the physical order after a reopen.
  Open(table);
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{1, 3, 5, 6}));
  EXPECT_EQ(table.RecordCount(), 4);
}

TEST_F(Records, AutoIncrementWrapsFromLargestToOne) {
  Create();
  {
    TDataFile table;
    Open(table);
    Insert(table, 1);
  }
  testing::PatchFile(dir_.Path("t.DAT"), 17, std::string("\xFF\xFF\xFF\x7F", 4));
  TDataFile table;
  Open(table);
  auto buffer = Row(table, 2, "b");
  table.InsertRecord(buffer);
  EXPECT_EQ(AutoInc(buffer), 1);
  EXPECT_EQ(table.Header().LastAutoIncValue, 1);
  auto copy = table.NewRecordBuffer();
  ASSERT_EQ(table.GetCurrentRecord(copy), 0);
  EXPECT_EQ(AutoInc(copy), 1);
  std::uint8_t value[4];
  EXPECT_FALSE(table.GetField(true, 3, copy, value));
  EXPECT_EQ(bytes::Get<std::int32_t>(value, 0), 1);
}

TEST_F(Records, TableHoldsAtMost99999999Slots) {
  auto request = Request({Field("N", ftype::SmallInt)});
  testing::CreateTable(dir_.Path("t"), request);
  const std::size_t size = 9 + 3;
  // A header that claims 99,999,998 slots and a (sparse) file that has them.
  testing::PatchFile(dir_.Path("t.DAT"), 13, std::string("\xFF\xE0\xF5\x05", 4));  // 99999999
  ASSERT_EQ(::truncate(dir_.Path("t.DAT").c_str(),
                       static_cast<off_t>(127 + 768 + std::size_t{99999998} * size)),
            0);
  TDataFile table;
  Open(table);
  auto buffer = table.NewRecordBuffer();
  table.InsertRecord(buffer);
  EXPECT_EQ(table.CurrentRecordNumber(), 99999999u);
  EXPECT_EQ(table.Header().NextRecordNumber, 100000000);
  EXPECT_EQ(ErrorCodeOf([&] { table.InsertRecord(buffer); }), err::FileFull);
  EXPECT_EQ(table.Header().NextRecordNumber, 100000000);
}

TEST_F(Records, StringValuesAreCutAndStripped) {
  Create();
  TDataFile table;
  Open(table);
  auto buffer = table.NewRecordBuffer();
  const auto set = [&](std::string text) {
    table.SetField(true, 2, buffer, text.data(), text.size());
    return Name(table, buffer);
  };
  EXPECT_EQ(set("0123456789"), "0123456789");  // exactly DataSize - 1
  EXPECT_EQ(set("0123456789ABC"), "0123456789");
  EXPECT_EQ(set("ab   "), "ab");
  std::uint8_t value[11];
  EXPECT_FALSE(table.GetField(true, 2, buffer, value));
  EXPECT_EQ(set("   "), "");
  EXPECT_TRUE(table.GetField(true, 2, buffer, value));  // nothing left: null
  EXPECT_EQ(buffer[9 + 5], 0);                          // indicator byte of Name
  EXPECT_EQ(ErrorCodeOf([&] { table.SetField(true, 4, buffer, nullptr, 0); }), err::InvalidField);
}

TEST(RecordBuffer, SixtyFifthPinIsRefused) {
  testing::EngineScope engine;
  TRecord record(16);
  for (int i = 0; i < 64; ++i) record.Pin("t.DAT");
  EXPECT_EQ(ErrorCodeOf([&] { record.Pin("t.DAT"); }), err::RecordBuffersCorrupt);
  EXPECT_EQ(record.PinCount(), 64);
}

TEST_F(Records, NavigationInIndexOrder) {
  Create();
  TDataFile table;
  Open(table);
  Insert(table, 30, "c");
  Insert(table, 10, "b");
  Insert(table, 20, "a");
  Insert(table, 40, "b");
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{10, 20, 30, 40}));
  table.SelectIndex("byname");
  // Equal names in auto-increment order.
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{20, 10, 40, 30}));
  EXPECT_EQ(ErrorCodeOf([&] { table.SelectIndex("Nope"); }), err::InvalidIndexName);

  auto buffer = table.NewRecordBuffer();
  table.Last();
  ASSERT_EQ(table.GetPriorRecord(buffer), 0);
  EXPECT_EQ(Code(table, buffer), 30);
  EXPECT_EQ(table.CurrentPosition(), 4);
  ASSERT_EQ(table.GetPriorRecord(buffer), 0);
  EXPECT_EQ(Code(table, buffer), 40);
  table.GoToPosition(2);
  ASSERT_EQ(table.GetCurrentRecord(buffer), 0);
  EXPECT_EQ(Code(table, buffer), 10);

  table.SelectIndex("");
  auto search = Row(table, 30, "");
  ASSERT_TRUE(table.FindKey(search, buffer));
  EXPECT_EQ(Name(table, buffer), "c");
  EXPECT_EQ(table.CurrentPosition(), 3);
  ASSERT_EQ(table.GetNextRecord(buffer), 0);
  EXPECT_EQ(Code(table, buffer), 40);
  EXPECT_EQ(table.GetNextRecord(buffer), err::EndOfFile);
  EXPECT_EQ(table.GetNextRecord(buffer), err::EndOfFile);
  EXPECT_EQ(table.GetCurrentRecord(buffer), err::EndOfFile);
  search = Row(table, 35, "");
  EXPECT_FALSE(table.FindKey(search, buffer));
  table.First();
  EXPECT_EQ(table.GetPriorRecord(buffer), err::BeginningOfFile);
}

TEST_F(Records, ReadAtTheEndFillsTheBufferWithDefaults) {
  auto request = Request({Field("Code", ftype::Integer), Field("Flag", ftype::Boolean),
                          Field("Price", ftype::Bcd), Field("Note", ftype::String, 5)});
  request.Fields[1].DefaultValue = "true";
  request.Fields[2].FieldDecimals = 2;
  request.Fields[2].DefaultValue = "12.5";
  request.Fields[3].DefaultValue = "hi";
  request.Primary = Index("", {1});
  testing::CreateTable(dir_.Path("t"), request);
  TDataFile table;
  Open(table);
  std::vector<std::uint8_t> buffer(table.RecordBufferSize(), 0xEE);
  EXPECT_EQ(table.GetNextRecord(buffer), err::EndOfFile);
  std::uint8_t value[8] = {};
  EXPECT_TRUE(table.GetField(true, 1, buffer, value));
  EXPECT_FALSE(table.GetField(true, 2, buffer, value));
  EXPECT_EQ(bytes::Get<std::uint16_t>(value, 0), 1);
  EXPECT_FALSE(table.GetField(true, 3, buffer, value));
  EXPECT_EQ(bytes::Get<std::int64_t>(value, 0), 12502);
  std::uint8_t text[6] = {};
  EXPECT_FALSE(table.GetField(true, 4, buffer, text));
  EXPECT_STREQ(reinterpret_cast<const char*>(text), "hi");
}

TEST_F(Records, ModifyMovesTheKeysAndKeepsTheIdentity) {
  Create();
  TDataFile table;
  Open(table);
  Insert(table, 1, "a");
  Insert(table, 2, "b");
  auto buffer = table.NewRecordBuffer();
  auto search = Row(table, 1, "");
  ASSERT_TRUE(table.FindKey(search, buffer));
  const std::int32_t identity = AutoInc(buffer);
  std::int32_t code = 3;
  table.SetField(true, 1, buffer, &code, 4);
  table.SetField(true, 2, buffer, "z", 1);
  table.ModifyRecord(buffer);
  EXPECT_EQ(AutoInc(buffer), identity);
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{2, 3}));
  table.SelectIndex("ByName");
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{2, 3}));
  // A change to an existing key is refused and changes nothing.
  table.SelectIndex("");
  ASSERT_TRUE(table.FindKey(Row(table, 2, ""), buffer));
  code = 3;
  table.SetField(true, 1, buffer, &code, 4);
  EXPECT_EQ(ErrorCodeOf([&] { table.ModifyRecord(buffer); }), err::DuplicateKey);
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{2, 3}));
  table.Close();
  TIndexFile& index = table.IndexFile();
  (void)index;
}

// The files of a table, byte for byte.
struct TFiles {
  std::string data;
  std::string index;
  bool operator==(const TFiles&) const = default;
};

TEST_F(Records, RefusedInsertsLeaveEveryFileAsItWas) {
  Create(true, true);
  TDataFile table;
  Open(table);
  Insert(table, 1, "a");
  Insert(table, 2, "b");
  const auto files = [&] { return TFiles{DataBytes(), IndexBytes()}; };
  const TFiles before = files();

  auto duplicate = Row(table, 2, "c");
  EXPECT_EQ(ErrorCodeOf([&] { table.InsertRecord(duplicate); }), err::DuplicateKey);
  EXPECT_TRUE(files() == before);

  auto blank = Row(table, 3, "");
  EXPECT_EQ(ErrorCodeOf([&] { table.InsertRecord(blank); }), err::ValueRequired);
  EXPECT_TRUE(files() == before);

  // Another program holds the record lock of the slot the insert would take.
  table.SetLockRetryCount(0);
  testing::LockHolderProcess holder(
      {"range", dir_.Path("t.DAT"), std::to_string(2147483646 - 3), "1", "30"});
  ASSERT_EQ(holder.Line(), "locked");
  auto good = Row(table, 3, "c");
  EXPECT_EQ(ErrorCodeOf([&] { table.InsertRecord(good); }), err::RecordInUse);
  EXPECT_TRUE(files() == before);
  holder.Stop();

  // Nothing of the refused rows stayed behind in memory either.
  table.InsertRecord(good);
  EXPECT_EQ(table.CurrentRecordNumber(), 3u);
  EXPECT_EQ(AutoInc(good), 3);
  EXPECT_EQ(Walk(table), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(Records, AnotherTablesInsertIsSeenOnTheNextCacheMiss) {
  Create();
  TDataFile reader;
  TDataFile writer;
  Open(reader);
  Open(writer);
  Insert(writer, 1, "a");
  Insert(writer, 3, "c");
  EXPECT_EQ(Walk(reader), (std::vector<std::int32_t>{1, 3}));
  auto buffer = reader.NewRecordBuffer();
  reader.First();
  ASSERT_EQ(reader.GetNextRecord(buffer), 0);  // on 1
  Insert(writer, 2, "b");
  reader.Close();
  Open(reader);
  reader.First();
  ASSERT_EQ(reader.GetNextRecord(buffer), 0);
  Insert(writer, 0, "z");
  Insert(writer, 4, "d");
  // The reader's cached walk meets the change when it reads a record it
  // does not hold, and continues from where it stood.
  std::vector<std::int32_t> rest;
  while (reader.GetNextRecord(buffer) == 0) rest.push_back(Code(reader, buffer));
  EXPECT_EQ(rest, (std::vector<std::int32_t>{2, 3, 4}));
  EXPECT_EQ(reader.RecordCount(), 5);
  EXPECT_EQ(reader.Header().NextRecordNumber, 6);
}

TEST_F(Records, ExclusiveTableWritesWhenClosed) {
  Create();
  const std::string empty = DataBytes();
  TDataFile table;
  Open(table, true);
  for (int code = 1; code <= 50; ++code) Insert(table, code);
  EXPECT_EQ(DataBytes(), empty);
  EXPECT_EQ(Walk(table).size(), 50u);
  table.Close();
  Open(table);
  EXPECT_EQ(Walk(table).size(), 50u);
  EXPECT_EQ(table.Header().NextRecordNumber, 51);
  table.Close();
  TFileHandler file;
  file.SetFileName(dir_.Path("t.IDX"));
  file.Open();
  TIndexVerifier verifier(file, false);
  const TIndexCheck check = verifier.VerifyFile();
  for (const auto& fault : check.faults) ADD_FAILURE() << fault.Line();
}

}  // namespace
}  // namespace quire
