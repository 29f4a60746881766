// quire's table check: a sound table passes, and each kind of damage planted
// in a table the engine wrote is reported by exactly the line that names its
// file, its place and what is wrong. The check never changes the files and
// works while another user has the table open.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/FileBytes.h"
#include "engine/FileSession.h"
#include "engine/TableCheck.h"
#include "index/IndexHeader.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::Field;
using testing::Index;
using testing::Request;

// Whether `faults` holds exactly `line`, showing them all when not.
::testing::AssertionResult Holds(const std::vector<std::string>& faults, const std::string& line) {
  if (std::find(faults.begin(), faults.end(), line) != faults.end())
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "no line \"" << line << "\" among " << ::testing::PrintToString(faults);
}

// Code integer (primary), Name string(10) (secondary ByName, not unique,
// compressed), ID auto-increment, Memo blob with 64-byte blocks.
class TableCheck : public ::testing::Test {
 protected:
  static constexpr int kRecordSize = 9 + 5 + 12 + 5;  // prefix, Code, Name, Memo
  static constexpr std::int64_t kDataStart = 127 + 768 * 4;

  void Create(int records, bool encrypted = false) {
    auto request = Request({Field("Code", ftype::Integer), Field("Name", ftype::String, 10),
                            Field("ID", ftype::Integer, 0, fsubtype::AutoInc),
                            Field("Memo", ftype::Blob, 0, fsubtype::Memo)});
    request.Primary = Index("", {1});
    TIndexDefinition byName = Index("ByName", {2});
    byName.Compression = 3;
    request.Secondary.push_back(byName);
    request.BlobBlockSize = 64;
    if (encrypted) {
      request.Encrypted = true;
      request.Password = "secret";
      CurrentSession().AddPassword("secret");
    }
    testing::CreateTable(Path("DAT"), request);
    TDataFile table;
    table.SetFileName(Path("DAT"));
    table.Open();
    for (std::int32_t code = 1; code <= records; ++code) {
      std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
      table.InitRecord(buffer);
      const std::string name = "N" + std::to_string(code % 5);
      table.SetField(true, 1, buffer, &code, 4);
      table.SetField(true, 2, buffer, name.data(), name.size());
      const std::string memo(static_cast<std::size_t>(code % 4) * 30, 'm');
      if (!memo.empty()) {
        ASSERT_EQ(table.OpenBlob(4, buffer), 0);
        ASSERT_EQ(
            table.WriteBlob(4, buffer, 0, static_cast<std::uint32_t>(memo.size()), memo.data()), 0);
      }
      table.InsertRecord(buffer);
    }
    table.Close();
  }

  void Delete(std::uint32_t record) {
    TDataFile table;
    table.SetFileName(Path("DAT"));
    table.Open();
    ASSERT_TRUE(table.GoToRecord(record));
    table.DeleteRecord();
    table.Close();
  }

  std::string Path(const std::string& extension) const { return dir_.Path("t." + extension); }
  std::vector<std::string> Check() const { return CheckTable(dir_.Path("t")); }

  std::int64_t SlotAt(std::uint32_t record) const {
    return kDataStart + std::int64_t{record - 1} * kRecordSize;
  }
  void Patch(const std::string& extension, std::int64_t offset, std::string_view bytes) const {
    testing::PatchFile(Path(extension), offset, bytes);
  }
  static std::string Le32(std::int32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
  }
  std::string ReadAll(const std::string& extension) const {
    return testing::ScratchDir::ReadFile(Path(extension));
  }
  // The root page of index slot `slot`.
  std::uint32_t Root(std::size_t slot) const {
    const std::string image = ReadAll("IDX");
    TIndexHeader header;
    std::copy_n(image.begin(), kIndexHeaderSize, header.Bytes().begin());
    return header.RootPage(slot);
  }
  // The first block of record `record`'s memo.
  std::uint32_t MemoBlock(std::uint32_t record) const {
    const std::string data = ReadAll("DAT");
    return static_cast<std::uint32_t>(
        testing::LeAt(data, static_cast<std::size_t>(SlotAt(record)) + 9 + 5 + 12 + 1, 4));
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
};

TEST_F(TableCheck, SoundTablePassesAndStaysUnchanged) {
  Create(60);
  Delete(7);
  Delete(20);
  const std::string data = ReadAll("DAT"), index = ReadAll("IDX"), blob = ReadAll("BLB");
  EXPECT_TRUE(Check().empty()) << ::testing::PrintToString(Check());
  EXPECT_EQ(ReadAll("DAT"), data);
  EXPECT_EQ(ReadAll("IDX"), index);
  EXPECT_EQ(ReadAll("BLB"), blob);
}

TEST_F(TableCheck, SoundEncryptedTablePasses) {
  Create(30, true);
  Delete(4);
  EXPECT_TRUE(Check().empty()) << ::testing::PrintToString(Check());
}

TEST_F(TableCheck, WorksWhileAnotherUserHasTheTableOpen) {
  Create(10);
  TDataFile other;
  other.SetFileName(Path("DAT"));
  other.Open();
  EXPECT_TRUE(Check().empty());
  // The other user is not disturbed: it can still change the table.
  ASSERT_TRUE(other.GoToRecord(2));
  other.DeleteRecord();
  other.Close();
  EXPECT_TRUE(Check().empty());
}

TEST_F(TableCheck, MissingDataFileIsAnEngineError) {
  EXPECT_EQ(testing::ErrorCodeOf([&] { Check(); }), 11010);
}

// --- Data file ------------------------------------------------------------------

TEST_F(TableCheck, WrongVersion) {
  Create(3);
  Patch("DAT", 8, "\x02");
  EXPECT_EQ(Check(), std::vector<std::string>{Path("DAT") + ": header: version 2, expected 3"});
}

TEST_F(TableCheck, PartialSlotAtTheEnd) {
  Create(3);
  testing::AppendToFile(Path("DAT"), "abcde");
  EXPECT_EQ(Check(), std::vector<std::string>{Path("DAT") + ": file: length " +
                                              std::to_string(SlotAt(4) + 5) +
                                              " ends 5 bytes into a slot of 31"});
}

TEST_F(TableCheck, SlotBeyondTheHeadersCount) {
  Create(3);
  testing::AppendToFile(Path("DAT"), std::string(kRecordSize, '\0'));
  EXPECT_EQ(Check(), std::vector<std::string>{
                         Path("DAT") + ": file: holds 4 slots, the header's next record number 4 "
                                       "says 3"});
}

TEST_F(TableCheck, DescriptorOffsetOutOfStep) {
  Create(3);
  Patch("DAT", 127 + 768 + 90, std::string("\x0a\x00", 2));  // Name at 10, not 14
  EXPECT_EQ(Check(), std::vector<std::string>{Path("DAT") + ": field 2: offset 10, expected 14"});
}

TEST_F(TableCheck, RecordSizeDisagreesWithTheFields) {
  Create(0);
  Patch("DAT", 21, std::string("\x20\x00", 2));
  EXPECT_EQ(Check(),
            std::vector<std::string>{Path("DAT") + ": header: record size 32, the fields take 31"});
}

TEST_F(TableCheck, BadDeletedFlag) {
  Create(5);
  Patch("DAT", SlotAt(3), "\x07");
  EXPECT_TRUE(Holds(Check(), Path("DAT") + ": record 3: deleted flag 7, 0 or 1"));
}

TEST_F(TableCheck, LiveSlotHoldingAnotherNumber) {
  Create(5);
  Patch("DAT", SlotAt(3) + 1, Le32(9));
  EXPECT_EQ(Check(), std::vector<std::string>{Path("DAT") + ": record 3: holds record number 9"});
}

TEST_F(TableCheck, NullFieldWithValueBytes) {
  Create(5);
  Patch("DAT", SlotAt(2) + 14, std::string("\x00x", 2));  // Name: indicator 0, a byte left
  const auto faults = Check();
  EXPECT_TRUE(
      Holds(faults, Path("DAT") + ": record 2: field Name: null but its value bytes are not zero"));
}

TEST_F(TableCheck, UnterminatedString) {
  Create(5);
  Patch("DAT", SlotAt(2) + 15, std::string(11, 'x'));
  EXPECT_TRUE(
      Holds(Check(), Path("DAT") + ": record 2: field Name: text not terminated within the field"));
}

TEST_F(TableCheck, DeletedSlotsOffTheFreeChain) {
  Create(8);
  Delete(3);
  Delete(6);
  Patch("DAT", 9, Le32(0));
  EXPECT_EQ(Check(), (std::vector<std::string>{
                         Path("DAT") + ": record 3: deleted slot is not on the free chain",
                         Path("DAT") + ": record 6: deleted slot is not on the free chain"}));
}

TEST_F(TableCheck, FreeChainLeadingBackIntoItself) {
  Create(8);
  Delete(3);
  Delete(6);  // chain: 6 -> 3 -> 0
  Patch("DAT", SlotAt(3) + 1, Le32(6));
  EXPECT_EQ(Check(), std::vector<std::string>{Path("DAT") +
                                              ": record 3: free chain leads back to record 6"});
}

TEST_F(TableCheck, FreeChainHeadOnALiveRecord) {
  Create(8);
  Delete(3);
  Patch("DAT", 9, Le32(5));
  EXPECT_TRUE(Holds(Check(), Path("DAT") + ": header: free slot head 5 is not a deleted slot"));
}

// --- Index file -----------------------------------------------------------------

TEST_F(TableCheck, RecordCountOfTheIndexHeader) {
  Create(5);
  Patch("IDX", 3974, Le32(6));
  EXPECT_EQ(Check(), std::vector<std::string>{
                         Path("IDX") + ": header: record count 6, the data file holds 5 live "
                                       "records"});
}

TEST_F(TableCheck, EntryKeyNotTheRecordsKey) {
  Create(5);
  Patch("DAT", SlotAt(4) + 10, std::string("\x80\x00\x00\x63", 4));  // Code 99
  EXPECT_EQ(Check(), std::vector<std::string>{
                         Path("IDX") + ": page " + std::to_string(Root(0)) +
                         ": index Primary: entry for record 4 does not hold the record's key"});
}

TEST_F(TableCheck, RevivedSlotHasNoEntries) {
  Create(5);
  Delete(2);
  Patch("DAT", SlotAt(2), std::string("\x00", 1) + Le32(2));
  Patch("DAT", 9, Le32(0));
  Patch("IDX", 3974, Le32(5));
  const auto faults = Check();
  EXPECT_TRUE(Holds(faults, Path("IDX") + ": index Primary: no entry for record 2"));
  EXPECT_TRUE(Holds(faults, Path("IDX") + ": index ByName: no entry for record 2"));
  EXPECT_TRUE(Holds(faults, Path("IDX") + ": page " + std::to_string(Root(31)) +
                                ": index Sys Deleted: entry for record 2 does not hold the "
                                "record's key"));
}

TEST_F(TableCheck, EntryForADeletedRecord) {
  Create(5);
  // A live record marked deleted behind the index's back: its entries now
  // name a slot that holds no record.
  Patch("DAT", SlotAt(4), "\x01");
  const auto faults = Check();
  EXPECT_TRUE(Holds(faults, Path("IDX") + ": page " + std::to_string(Root(0)) +
                                ": index Primary: entry for record 4, which is not a live record"));
  EXPECT_TRUE(Holds(faults, Path("DAT") + ": record 4: deleted slot is not on the free chain"));
}

TEST_F(TableCheck, KeySizeDisagreesWithTheFields) {
  Create(2);
  Patch("IDX", 14 + 120 + 31, std::string("\x0f\x00", 2));  // ByName: 15, not 16
  EXPECT_TRUE(Holds(Check(), Path("IDX") + ": index ByName: key size 15, its fields take 16"));
}

TEST_F(TableCheck, SubtreeCountOfANode) {
  Create(400);  // the primary index splits once
  const std::uint32_t root = Root(0);
  const std::string image = ReadAll("IDX");
  ASSERT_EQ(image[root], 0) << "the primary root is a node";
  // Entry 1 of the root: key (5 bytes), child, count.
  const auto count = static_cast<std::int32_t>(testing::LeAt(image, root + 13 + 5 + 4, 4));
  Patch("IDX", root + 13 + 5 + 4, Le32(count + 1));
  const std::uint32_t child = static_cast<std::uint32_t>(testing::LeAt(image, root + 13 + 5, 4));
  EXPECT_EQ(Check(),
            std::vector<std::string>{Path("IDX") + ": page " + std::to_string(root) +
                                     ": index Primary: entry 1 counts " +
                                     std::to_string(count + 1) + " keys, its child page " +
                                     std::to_string(child) + " holds " + std::to_string(count)});
}

TEST_F(TableCheck, BytesAfterTheEntries) {
  Create(3);
  Patch("IDX", Root(0) + 4000, "x");
  EXPECT_EQ(Check(), std::vector<std::string>{Path("IDX") + ": page " + std::to_string(Root(0)) +
                                              ": index Primary: non-zero bytes after the entries"});
}

TEST_F(TableCheck, WrongPageType) {
  Create(3);
  Patch("IDX", Root(0), "\x02");
  EXPECT_EQ(Check(), std::vector<std::string>{Path("IDX") + ": page " + std::to_string(Root(0)) +
                                              ": index Primary: type 2, expected 3"});
}

TEST_F(TableCheck, CompressedEntryNotEncodedAsItsKeysGive) {
  Create(3);
  // ByName (compression both) holds N1, N2, N3 with their suffixes. The
  // second entry shares 2 leading bytes with the first ("\x01N"); claiming
  // only 1 (and storing one byte more) still decodes to the same keys.
  const std::uint32_t leaf = Root(1);
  const std::string image = ReadAll("IDX");
  const std::size_t first = 2 + (16 - 0) - static_cast<std::uint8_t>(image[leaf + 13 + 1]) + 4;
  const std::size_t second = leaf + 13 + first;
  ASSERT_EQ(static_cast<std::uint8_t>(image[second]), 2);
  const std::uint8_t cut = static_cast<std::uint8_t>(image[second + 1]);
  const std::size_t stored = 16 - 2 - cut + 4;
  std::string entry =
      std::string("\x01", 1) + static_cast<char>(cut) + "N" + image.substr(second + 2, stored);
  std::string rest = image.substr(
      second + 2 + stored,
      static_cast<std::size_t>(testing::LeAt(image, leaf + 11, 2)) - (first + 2 + stored));
  const std::uint16_t used = static_cast<std::uint16_t>(testing::LeAt(image, leaf + 11, 2) + 1);
  Patch("IDX", static_cast<std::int64_t>(second), entry + rest);
  Patch("IDX", leaf + 11, std::string(reinterpret_cast<const char*>(&used), 2));
  EXPECT_EQ(Check(), std::vector<std::string>{
                         Path("IDX") + ": page " + std::to_string(leaf) +
                         ": index ByName: compressed entries are not encoded as their keys give "
                         "(byte " +
                         std::to_string(second - leaf) + ")"});
}

TEST_F(TableCheck, PageOnAFreeChainAndInATree) {
  Create(3);
  Patch("IDX", 14 + 120 + 90, Le32(static_cast<std::int32_t>(Root(0))));  // ByName's free head
  const auto faults = Check();
  EXPECT_TRUE(Holds(faults, Path("IDX") + ": page " + std::to_string(Root(0)) +
                                ": index ByName: page reached twice (already held by index "
                                "Primary)"));
}

// --- Blob file ------------------------------------------------------------------

TEST_F(TableCheck, BlobBlockOfAnotherOwner) {
  Create(3);  // record 1 has 30 bytes in one block
  const std::uint32_t block = MemoBlock(1);
  Patch("BLB", block + 10, Le32(2));
  EXPECT_EQ(Check(), std::vector<std::string>{Path("BLB") + ": block " + std::to_string(block) +
                                              ": record 1 field 4: block owned by record 2"});
}

TEST_F(TableCheck, BlobUsedBytes) {
  Create(3);  // record 2: 60 bytes in two blocks of 46
  const std::uint32_t block = MemoBlock(2);
  Patch("BLB", block + 8, std::string("\x2d\x00", 2));
  EXPECT_EQ(Check(), std::vector<std::string>{Path("BLB") + ": block " + std::to_string(block) +
                                              ": record 2 field 4: 45 bytes used, 46 expected"});
}

TEST_F(TableCheck, BlobBlockOnTheFreeChainToo) {
  Create(3);
  const std::uint32_t block = MemoBlock(3);
  Patch("BLB", 9, Le32(static_cast<std::int32_t>(block)));  // free head
  Patch("BLB", block + 4, Le32(0));                         // ends both chains
  const auto faults = Check();
  EXPECT_TRUE(Holds(faults, Path("BLB") + ": block " + std::to_string(block) +
                                ": record 3 field 4: block is also on the free chain"));
}

TEST_F(TableCheck, BlobReferenceToNoBlock) {
  Create(3);
  Patch("DAT", SlotAt(1) + 9 + 5 + 12 + 1, Le32(100));
  EXPECT_TRUE(Holds(Check(), Path("BLB") + ": record 1 field 4 refers to 100, which is no block"));
}

TEST_F(TableCheck, MissingIndexFile) {
  Create(3);
  std::filesystem::remove(Path("IDX"));
  EXPECT_EQ(Check().at(0).rfind(Path("IDX") + ": cannot be opened: ", 0), 0u);
}

}  // namespace
}  // namespace quire
