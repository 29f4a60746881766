// The index file: the bytes of a new file, open and its version check, the
// enciphered header of encrypted tables, header writes and the change
// counter, emptying, and every check of defining the primary index and
// adding secondary indexes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexFile.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSlot0 = 14;
std::size_t SlotAt(std::size_t slot) {
  return 14 + 120 * slot;
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// The table cipher's keystream, from its definition: byte i is XORed with
// (0x3B + i) mod 256 and (0xA6 - i) mod 256.
Bytes Decipher(Bytes data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] ^=
        static_cast<std::uint8_t>((0x3B + i) & 0xFF) ^ static_cast<std::uint8_t>((0xA6 - i) & 0xFF);
  }
  return data;
}

TIndexField Field(std::uint16_t no, std::uint8_t type, std::uint8_t dataSize,
                  std::uint8_t subType = 0) {
  return TIndexField{no, "F" + std::to_string(no), type, subType, dataSize};
}

// Song-like table: 1 Code string[10], 2 Name string[60], 3 Lyric memo,
// 4 Year integer, 5 Id auto-increment, 6..9 string[250], 10 string[26].
std::vector<TIndexField> TableFields() {
  return {Field(1, 1, 11),    Field(2, 1, 61),  Field(3, 3, 4, 22), Field(4, 6, 4),
          Field(5, 6, 4, 29), Field(6, 1, 251), Field(7, 1, 251),   Field(8, 1, 251),
          Field(9, 1, 251),   Field(10, 1, 27)};
}

TIndexDefinition Definition(std::string name, std::vector<std::uint16_t> fields) {
  TIndexDefinition d;
  d.Name = std::move(name);
  d.FieldCount = static_cast<std::uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size() && i < kMaxKeyFields; ++i) {
    d.FieldNumbers[i] = fields[i];
  }
  return d;
}

using quire::testing::Raised;
using quire::testing::TRaised;

class IndexFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quire-index-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    name_ = dir_ + "/Song.DAT";
    path_ = dir_ + "/Song.IDX";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A new index file, open exclusively.
  void CreateFile(TIndexFile& file, bool encrypted = false) {
    file.SetFileName(name_);
    file.SetExclusive(true);
    file.SetEncrypted(encrypted);
    file.Create();
  }

  Bytes FileBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void WriteFileBytes(const Bytes& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  // The exception text for `code`, its message cut at 127 characters.
  std::string Message(TErrorCode code, const std::string& text) const {
    return "Quire Engine Error # " + std::to_string(code) + " " + text.substr(0, 127);
  }

  std::string dir_, name_, path_;
  std::vector<TIndexField> fields_ = TableFields();
};

// The header of a new file, built byte by byte from the format.
Bytes NewFileHeader() {
  Bytes h(4096, 0);
  h[8] = 3;
  h[9] = 0x00;
  h[10] = 0x10;  // end offset 4096
  const std::string sys = "Sys Deleted";
  h[SlotAt(31)] = static_cast<std::uint8_t>(sys.size());
  std::copy(sys.begin(), sys.end(), h.begin() + SlotAt(31) + 1);
  h[SlotAt(31) + 31] = 5;  // key size
  h[3979] = 1;             // header modified
  return h;
}

// --- Creating and opening ------------------------------------------------------

TEST_F(IndexFileTest, NewFileIsExactlyTheHeaderOfAnEmptyIndexFile) {
  TIndexFile file;
  CreateFile(file);
  EXPECT_EQ(file.FileName(), path_);
  file.Close();
  EXPECT_EQ(FileBytes(), NewFileHeader());
}

TEST_F(IndexFileTest, NameTakesTheIndexExtension) {
  TIndexFile file;
  file.SetFileName("  " + dir_ + "/list.dat ");
  EXPECT_EQ(file.FileName(), dir_ + "/list.IDX");
  file.SetFileName(dir_ + "/v1.2/list");
  EXPECT_EQ(file.FileName(), dir_ + "/v1.2/list.IDX");
}

TEST_F(IndexFileTest, CreateNeedsAnExclusiveClosedFile) {
  TIndexFile file;
  file.SetFileName(name_);
  EXPECT_EQ(Raised([&] { file.Create(); }).code, 10253);
  file.SetExclusive(true);
  file.Create();
  EXPECT_EQ(Raised([&] { file.Create(); }).code, 10031);
  EXPECT_EQ(Raised([&] { file.SetEncrypted(true); }).code, 10031);
}

TEST_F(IndexFileTest, OpenReadsTheDefinitionsBack) {
  {
    TIndexFile file;
    CreateFile(file);
    TIndexDefinition primary = Definition("", {1, 4});
    primary.FieldDescending[1] = 1;
    file.DefinePrimaryIndex(primary, fields_);
    TIndexDefinition byName = Definition("ByName", {2});
    byName.CaseInsensitive = 1;
    byName.Compression = 3;
    file.AddSecondaryIndex(byName, fields_);
    file.Close();
  }
  TIndexFile file;
  file.SetFileName(name_);
  file.Open();
  EXPECT_TRUE(file.HasPrimaryIndex());
  EXPECT_EQ(file.SecondaryIndexCount(), 1u);
  EXPECT_EQ(file.Descriptor(0).KeySize, 12 + 5);
  EXPECT_EQ(file.Descriptor(0).FieldDescending[1], 1);
  EXPECT_EQ(file.Descriptor(1).Name, "ByName");
  EXPECT_EQ(file.Descriptor(1).KeySize, 62 + 4);
  EXPECT_EQ(file.Descriptor(1).Compression, 3);
  EXPECT_EQ(file.Descriptor(31).Name, "Sys Deleted");
  EXPECT_EQ(file.CurrentIndex(), 0);
  EXPECT_FALSE(file.HeaderModified());
}

TEST_F(IndexFileTest, OpenRefusesOtherVersionsAndStaysClosed) {
  {
    TIndexFile file;
    CreateFile(file);
  }
  for (std::uint8_t version : {2, 4, 0}) {
    Bytes bytes = FileBytes();
    bytes[8] = version;
    WriteFileBytes(bytes);
    TIndexFile file;
    file.SetFileName(name_);
    const TRaised raised = Raised([&] { file.Open(); });
    EXPECT_EQ(raised.code, 12035);
    EXPECT_EQ(raised.message, Message(12035, "Data file " + path_ + " is not the correct version"));
    EXPECT_FALSE(file.IsOpen());
  }
}

TEST_F(IndexFileTest, OpenRefusesHeadersThatWouldLeadOutsideTheirBounds) {
  {
    TIndexFile file;
    CreateFile(file);
    file.DefinePrimaryIndex(Definition("", {1}), fields_);
    file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  }
  const Bytes good = FileBytes();
  const std::vector<std::pair<std::size_t, std::uint8_t>> damages = {
      {13, 31},                 // a 31st secondary index would be slot 31 and beyond
      {SlotAt(1) + 32, 0x05},   // a key size above 1040
      {kSlot0 + 37, 17},        // 17 key fields
      {SlotAt(31) + 32, 0x10},  // the "Sys Deleted" slot too
  };
  for (const auto& [at, value] : damages) {
    Bytes bytes = good;
    bytes[at] = value;
    WriteFileBytes(bytes);
    TIndexFile file;
    file.SetFileName(name_);
    const TRaised raised = Raised([&] { file.Open(); });
    EXPECT_EQ(raised.code, 8961) << at;
    EXPECT_EQ(raised.message, Message(8961, "Header information corrupt in data file " + path_));
    EXPECT_FALSE(file.IsOpen());
  }
  // Slots that are not in use are not looked at.
  Bytes bytes = good;
  bytes[SlotAt(5) + 32] = 0xFF;
  WriteFileBytes(bytes);
  TIndexFile file;
  file.SetFileName(name_);
  file.Open();
  EXPECT_EQ(file.SecondaryIndexCount(), 1u);
}

TEST_F(IndexFileTest, ShortFileFailsToOpen) {
  WriteFileBytes(Bytes(100, 0));
  TIndexFile file;
  file.SetFileName(name_);
  EXPECT_NE(Raised([&] { file.Open(); }).code, 0);
  EXPECT_FALSE(file.IsOpen());
}

// --- Encrypted tables ------------------------------------------------------------

TEST_F(IndexFileTest, EncryptedHeaderIsOneCipherRunOverTheWholeBlock) {
  {
    TIndexFile file;
    CreateFile(file, true);
  }
  const Bytes raw = FileBytes();
  ASSERT_EQ(raw.size(), 4096u);
  EXPECT_NE(raw, NewFileHeader());
  EXPECT_EQ(Decipher(raw), NewFileHeader());

  TIndexFile file;
  file.SetFileName(name_);
  file.SetEncrypted(true);
  file.Open();
  EXPECT_EQ(file.Descriptor(31).Name, "Sys Deleted");

  // Read as a plain file, the version byte is enciphered and not 3.
  TIndexFile plain;
  plain.SetFileName(name_);
  EXPECT_EQ(Raised([&] { plain.Open(); }).code, 12035);
}

TEST_F(IndexFileTest, EncryptedDefinitionsAreStoredEnciphered) {
  TIndexFile file;
  CreateFile(file, true);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  const Bytes plain = Decipher(FileBytes());
  EXPECT_EQ(U32(plain, 0), 2u);
  EXPECT_EQ(U16(plain, kSlot0 + 31), 12);
  EXPECT_EQ(plain[SlotAt(1)], 6);
  EXPECT_EQ(std::string(plain.begin() + SlotAt(1) + 1, plain.begin() + SlotAt(1) + 7), "ByName");
}

// --- Header writes and the change counter ---------------------------------------

TEST_F(IndexFileTest, WriteHeaderWritesOnlyChangesUnlessForced) {
  TIndexFile file;
  CreateFile(file);
  file.WriteHeader();
  EXPECT_EQ(FileBytes(), NewFileHeader()) << "an unchanged header is not written";

  file.RecordCountUp();
  file.RecordCountUp();
  file.RecordCountDown();
  EXPECT_TRUE(file.HeaderModified());
  file.WriteHeader();
  Bytes bytes = FileBytes();
  EXPECT_EQ(U32(bytes, 0), 1u);
  EXPECT_EQ(U32(bytes, 3974), 1u);
  EXPECT_EQ(bytes[3979], 1) << "written while it had changes";
  EXPECT_FALSE(file.HeaderModified());

  file.WriteHeader(true);
  bytes = FileBytes();
  EXPECT_EQ(U32(bytes, 0), 2u);
  EXPECT_EQ(bytes[3979], 0) << "a forced write of an unchanged header";
}

TEST_F(IndexFileTest, HeaderChangedSeesAnotherUsersWrite) {
  for (bool encrypted : {false, true}) {
    {
      TIndexFile file;
      CreateFile(file, encrypted);
    }
    TIndexFile mine, theirs;
    for (TIndexFile* f : {&mine, &theirs}) {
      f->SetFileName(name_);
      f->SetEncrypted(encrypted);
      f->Open();
    }
    EXPECT_FALSE(mine.HeaderChanged());
    theirs.RecordCountUp();
    theirs.WriteHeader();
    EXPECT_TRUE(mine.HeaderChanged()) << encrypted;
    mine.ReadHeader();
    EXPECT_FALSE(mine.HeaderChanged());
    EXPECT_EQ(mine.RecordCount(), 1);
  }
}

TEST_F(IndexFileTest, EmptyCutsTheFileAndForgetsEveryTree) {
  {
    TIndexFile file;
    CreateFile(file);
    file.DefinePrimaryIndex(Definition("", {1}), fields_);
    file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  }
  // Give the file pages and trees as if records had been stored.
  Bytes bytes = FileBytes();
  bytes.resize(4096 * 4, 0x77);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(9, 4096 * 4);
  put32(3974, 12);
  for (std::size_t slot : {0, 1, 31}) {
    put32(SlotAt(slot) + 86, 4096);
    put32(SlotAt(slot) + 90, 8192);
  }
  WriteFileBytes(bytes);

  TIndexFile file;
  file.SetFileName(name_);
  file.SetExclusive(true);
  file.Open();
  EXPECT_EQ(file.RecordCount(), 12);
  file.Empty();
  bytes = FileBytes();
  ASSERT_EQ(bytes.size(), 4096u);
  EXPECT_EQ(U32(bytes, 9), 4096u);
  EXPECT_EQ(U32(bytes, 3974), 0u);
  for (std::size_t slot : {0, 1, 31}) {
    EXPECT_EQ(U32(bytes, SlotAt(slot) + 86), 0u);
    EXPECT_EQ(U32(bytes, SlotAt(slot) + 90), 0u);
  }
  EXPECT_EQ(U16(bytes, kSlot0 + 31), 12) << "definitions stay";
  EXPECT_EQ(bytes[13], 1);
}

// --- Defining the primary index ----------------------------------------------------

TEST_F(IndexFileTest, PrimaryDescriptorBytes) {
  TIndexFile file;
  CreateFile(file);
  TIndexDefinition d = Definition("ignored", {1, 5, 4});
  d.Descending = 1;
  d.CaseInsensitive = 1;
  d.Unique = 0;  // the primary index is unique whatever this byte holds
  d.Compression = 2;
  d.FieldDescending = {0, 1, 0};
  d.KeySize = 999;  // computed by the index file
  d.RootPage = 4096;
  d.FieldNumbers[5] = 9;  // past the field count
  file.DefinePrimaryIndex(d, fields_);

  const Bytes bytes = FileBytes();
  const std::size_t s = kSlot0;
  EXPECT_EQ(bytes[s], 0) << "the primary index has no stored name";
  EXPECT_EQ(U16(bytes, s + 31), 12 + 5 + 5) << "no suffix on the primary index";
  EXPECT_EQ(bytes[s + 33], 1);
  EXPECT_EQ(bytes[s + 34], 1);
  EXPECT_EQ(bytes[s + 35], 0);
  EXPECT_EQ(bytes[s + 36], 2);
  EXPECT_EQ(bytes[s + 37], 3);
  EXPECT_EQ(bytes[s + 38], 0);
  EXPECT_EQ(bytes[s + 39], 1);
  EXPECT_EQ(U16(bytes, s + 54), 1);
  EXPECT_EQ(U16(bytes, s + 56), 5);
  EXPECT_EQ(U16(bytes, s + 58), 4);
  for (std::size_t i = 3; i < 16; ++i) EXPECT_EQ(U16(bytes, s + 54 + 2 * i), 0) << i;
  EXPECT_EQ(U32(bytes, s + 86), 0u) << "a new index has no root";
  EXPECT_EQ(U32(bytes, s + 90), 0u);
  for (std::size_t i = 94; i < 120; ++i) EXPECT_EQ(bytes[s + i], 0) << i;
  EXPECT_EQ(bytes[3978], 0);
  EXPECT_EQ(U32(bytes, 0), 1u) << "the definition is written at once";

  // Nothing else moved from the new file's header.
  Bytes rest = bytes, expected = NewFileHeader();
  std::fill(rest.begin() + s, rest.begin() + s + 120, 0);
  rest[0] = 0;
  EXPECT_EQ(rest, expected);
}

TEST_F(IndexFileTest, PrimaryWithoutFieldsMeansNoPrimaryIndex) {
  TIndexFile file;
  CreateFile(file);
  TIndexDefinition d = Definition("", {});
  d.Unique = 1;
  d.Compression = 1;
  file.DefinePrimaryIndex(d, fields_);
  const Bytes bytes = FileBytes();
  EXPECT_EQ(bytes[3978], 1);
  for (std::size_t i = 0; i < 120; ++i) EXPECT_EQ(bytes[kSlot0 + i], 0) << i;
  EXPECT_FALSE(file.HasPrimaryIndex());
  EXPECT_TRUE(file.BitmapMode()) << "index 0 of a table without a primary index";
}

TEST_F(IndexFileTest, PrimaryIndexChecks) {
  TIndexFile file;
  CreateFile(file);
  const std::string t = path_;

  TRaised r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1, 7, 99}), fields_); });
  EXPECT_EQ(r.code, 10023);
  EXPECT_EQ(
      r.message,
      Message(10023, "Invalid field number 99 specified in index Primary for data file " + t));

  r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1, 0}), fields_); });
  EXPECT_EQ(r.code, 10023);

  r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1, 3}), fields_); });
  EXPECT_EQ(r.code, 12292);
  EXPECT_EQ(r.message,
            Message(12292, "Invalid field type specified for index Primary in data file " + t));

  TIndexDefinition many = Definition("", {1});
  many.FieldCount = 17;
  r = Raised([&] { file.DefinePrimaryIndex(many, fields_); });
  EXPECT_EQ(r.code, 9487);
  EXPECT_EQ(r.message, Message(9487,
                               "Maximum or minimum limits on number of indexes or fields in an "
                               "index exceeded in data file " +
                                   t));

  // 4 × 252 + 28 = 1036 bytes is the largest key; one byte more is refused.
  r = Raised([&] { file.DefinePrimaryIndex(Definition("", {6, 7, 8, 9, 10, 1}), fields_); });
  EXPECT_EQ(r.code, 10026);
  EXPECT_EQ(r.message,
            Message(10026, "Invalid key size specified in index Primary for data file " + t));

  EXPECT_EQ(Bytes(FileBytes()), NewFileHeader()) << "failed definitions change nothing";
  file.DefinePrimaryIndex(Definition("", {6, 7, 8, 9, 10}), fields_);
  EXPECT_EQ(file.Descriptor(0).KeySize, 1036);

  r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1}), fields_); });
  EXPECT_EQ(r.code, 9993);
  EXPECT_EQ(r.message, Message(9993, "A primary index is already defined for data file " + t +
                                         " and cannot be added again"));
}

TEST_F(IndexFileTest, DefiningNeedsTheFileOpenExclusively) {
  {
    TIndexFile file;
    CreateFile(file);
  }
  TIndexFile file;
  file.SetFileName(name_);
  TRaised r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1}), fields_); });
  EXPECT_EQ(r.code, 10253) << "closed";
  file.Open();
  r = Raised([&] { file.DefinePrimaryIndex(Definition("", {1}), fields_); });
  EXPECT_EQ(r.code, 10253);
  EXPECT_EQ(r.message, Message(10253, "Data file " + path_ + " must be opened exclusively"));
  EXPECT_EQ(Raised([&] { file.AddSecondaryIndex(Definition("A", {1}), fields_); }).code, 10253);
}

// --- Adding secondary indexes ---------------------------------------------------------

TEST_F(IndexFileTest, SecondaryDescriptorBytesAndSuffix) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  file.AddSecondaryIndex(Definition("ByName", {2, 4}), fields_);
  TIndexDefinition unique = Definition(std::string(40, 'U'), {2, 4});
  unique.Unique = 1;
  file.AddSecondaryIndex(unique, fields_);
  // The largest key body of a secondary index, with the suffix on top.
  file.AddSecondaryIndex(Definition("Big", {6, 7, 8, 9, 10}), fields_);

  const Bytes bytes = FileBytes();
  EXPECT_EQ(bytes[13], 3);
  EXPECT_EQ(bytes[SlotAt(1)], 6);
  EXPECT_EQ(U16(bytes, SlotAt(1) + 31), 62 + 5 + 4) << "not unique: auto-increment suffix";
  EXPECT_EQ(bytes[SlotAt(2)], 30) << "name cut to 30 characters";
  EXPECT_EQ(std::string(bytes.begin() + SlotAt(2) + 1, bytes.begin() + SlotAt(2) + 31),
            std::string(30, 'U'));
  EXPECT_EQ(U16(bytes, SlotAt(2) + 31), 62 + 5) << "unique: no suffix";
  EXPECT_EQ(bytes[SlotAt(2) + 35], 1);
  EXPECT_EQ(U16(bytes, SlotAt(3) + 31), 1040);
  EXPECT_EQ(U16(bytes, SlotAt(3) + 54 + 8), 10);
  EXPECT_EQ(U32(bytes, 0), 4u) << "one header write per definition";
  for (std::size_t slot = 4; slot < 31; ++slot) {
    for (std::size_t i = 0; i < 120; ++i) ASSERT_EQ(bytes[SlotAt(slot) + i], 0) << slot;
  }
}

TEST_F(IndexFileTest, SecondaryIndexChecks) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  const std::string t = path_;
  const Bytes before = FileBytes();

  TRaised r = Raised([&] { file.AddSecondaryIndex(Definition("", {2}), fields_); });
  EXPECT_EQ(r.code, 10010);
  EXPECT_EQ(
      r.message,
      Message(10010, "The secondary index name is missing or not specified for data file " + t));

  for (const std::string bad : {"1st", " Name", "_x", "\x80x", "\xFFx"}) {
    r = Raised([&] { file.AddSecondaryIndex(Definition(bad, {2}), fields_); });
    EXPECT_EQ(r.code, 10022) << bad;
    EXPECT_EQ(r.message, Message(10022, "Invalid secondary index name " + bad +
                                            " specified for data file " + t));
  }

  r = Raised([&] { file.AddSecondaryIndex(Definition("BYNAME", {4}), fields_); });
  EXPECT_EQ(r.code, 10027);
  EXPECT_EQ(r.message,
            Message(10027, "The secondary index BYNAME already exists for data file " + t));

  r = Raised([&] { file.AddSecondaryIndex(Definition("ByYear", {4, 12}), fields_); });
  EXPECT_EQ(r.code, 10023);
  EXPECT_EQ(r.message,
            Message(10023, "Invalid field number 12 specified in index ByYear for data file " + t));

  r = Raised([&] { file.AddSecondaryIndex(Definition("ByLyric", {3}), fields_); });
  EXPECT_EQ(r.code, 12292);
  EXPECT_EQ(r.message,
            Message(12292, "Invalid field type specified for index ByLyric in data file " + t));

  r = Raised([&] { file.AddSecondaryIndex(Definition("Huge", {6, 7, 8, 9, 10, 1}), fields_); });
  EXPECT_EQ(r.code, 10026);
  EXPECT_EQ(r.message,
            Message(10026, "Invalid key size specified in index Huge for data file " + t));

  r = Raised([&] { file.AddSecondaryIndex(Definition("Empty", {}), fields_); });
  EXPECT_EQ(r.code, 10026) << "a secondary key may not be empty";

  TIndexDefinition many = Definition("Many", {1});
  many.FieldCount = 17;
  EXPECT_EQ(Raised([&] { file.AddSecondaryIndex(many, fields_); }).code, 9487);

  EXPECT_EQ(FileBytes(), before) << "failed additions change nothing";
  EXPECT_EQ(file.SecondaryIndexCount(), 1u);

  // Letters of the code page's upper half begin a name.
  file.AddSecondaryIndex(Definition("\xA1\xD2\xC3", {2}), fields_);
  EXPECT_EQ(file.Descriptor(2).Name, "\xA1\xD2\xC3");
}

TEST_F(IndexFileTest, ThirtyFirstSecondaryIndexIsRefused) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  for (int i = 1; i <= 30; ++i) {
    file.AddSecondaryIndex(Definition("Ix" + std::to_string(i), {2}), fields_);
  }
  EXPECT_EQ(file.SecondaryIndexCount(), 30u);
  const TRaised r = Raised([&] { file.AddSecondaryIndex(Definition("Ix31", {2}), fields_); });
  EXPECT_EQ(r.code, 9487);
  const Bytes bytes = FileBytes();
  EXPECT_EQ(bytes[13], 30);
  EXPECT_EQ(std::string(bytes.begin() + SlotAt(30) + 1, bytes.begin() + SlotAt(30) + 5), "Ix30");
  EXPECT_EQ(std::string(bytes.begin() + SlotAt(31) + 1, bytes.begin() + SlotAt(31) + 12),
            "Sys Deleted")
      << "slot 31 is never taken by a secondary index";
}

// --- Selecting an index --------------------------------------------------------------

TEST_F(IndexFileTest, SelectionByNameAndNumber) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  file.AddSecondaryIndex(Definition("ByYear", {4}), fields_);

  file.SelectIndex("byyear");
  EXPECT_EQ(file.CurrentIndex(), 2);
  EXPECT_EQ(file.CurrentDescriptor().Name, "ByYear");
  file.SelectIndex("NoSuchIndex");
  EXPECT_EQ(file.CurrentIndex(), 0) << "unknown names select the primary index";
  file.SelectIndex(std::string_view{});
  EXPECT_EQ(file.CurrentIndex(), 0);
  EXPECT_FALSE(file.BitmapMode());

  file.SelectIndex(std::uint8_t{31});
  EXPECT_EQ(file.CurrentDescriptor().KeySize, 5);
  file.SelectIndex(std::uint8_t{255});
  EXPECT_TRUE(file.BitmapMode());
  EXPECT_EQ(file.CurrentDescriptor().KeySize, 0);

  const TRaised r = Raised([&] { file.SelectIndex(std::uint8_t{3}); });
  EXPECT_EQ(r.code, 10022);
  EXPECT_EQ(r.message,
            Message(10022, "Invalid secondary index name 3 specified for data file " + path_));
  EXPECT_EQ(file.CurrentIndex(), 255) << "a refused selection keeps the current one";

  EXPECT_EQ(file.IndexName(0), "Primary");
  EXPECT_EQ(file.IndexName(1), "ByName");
  EXPECT_EQ(file.IndexName(31), "Sys Deleted");
}

TEST_F(IndexFileTest, SelectionForAField) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {1}), fields_);
  TIndexDefinition folded = Definition("NameCi", {2});
  folded.CaseInsensitive = 1;
  file.AddSecondaryIndex(folded, fields_);
  file.AddSecondaryIndex(Definition("NameCs", {2, 4}), fields_);
  file.AddSecondaryIndex(Definition("Year", {4}), fields_);

  EXPECT_TRUE(file.SelectIndexForField(1, false, false, fields_));
  EXPECT_EQ(file.CurrentIndex(), 0);
  EXPECT_TRUE(file.SelectIndexForField(2, false, false, fields_));
  EXPECT_EQ(file.CurrentIndex(), 2);
  EXPECT_TRUE(file.SelectIndexForField(2, true, false, fields_));
  EXPECT_EQ(file.CurrentIndex(), 1);
  EXPECT_TRUE(file.SelectIndexForField(2, false, true, fields_));
  EXPECT_EQ(file.CurrentIndex(), 1) << "any case: the first in slot order";
  EXPECT_TRUE(file.SelectIndexForField(4, true, false, fields_))
      << "case folding matters for string fields only";
  EXPECT_EQ(file.CurrentIndex(), 3);
  EXPECT_FALSE(file.SelectIndexForField(6, false, true, fields_));
  EXPECT_EQ(file.CurrentIndex(), 3);
}

TEST_F(IndexFileTest, NoIndexForAFieldWithoutAPrimaryIndex) {
  TIndexFile file;
  CreateFile(file);
  file.DefinePrimaryIndex(Definition("", {}), fields_);
  file.AddSecondaryIndex(Definition("ByName", {2}), fields_);
  EXPECT_FALSE(file.SelectIndexForField(2, false, true, fields_));
}

}  // namespace
}  // namespace quire
