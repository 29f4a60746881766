// Opening a table: every check of the header, the descriptors and the file
// length, passwords, and what an open table offers before any record work.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "engine/DataFile.h"
#include "engine/Engine.h"
#include "engine/FileSession.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::AppendToFile;
using testing::ErrorCodeOf;
using testing::Field;
using testing::Index;
using testing::LeAt;
using testing::PatchFile;
using testing::Request;

// Code string(10), Count integer, Notes memo blob: RecordSize 9 + 12 + 5 + 5.
constexpr int kRecordSize = 31;

class DataFileOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    auto request = Request({Field("Code", ftype::String, 10), Field("Count", ftype::Integer),
                            Field("Notes", ftype::Blob, 0, fsubtype::Memo)});
    request.Primary = Index("", {1});
    request.Description = "Catalogue";
    testing::CreateTable(dir_.Path("song"), request);
  }

  std::string Dat() const { return dir_.Path("song.DAT"); }
  std::string Bytes() const { return testing::ScratchDir::ReadFile(Dat()); }
  std::int64_t DataStart() const { return 127 + 3 * 768; }

  // Sets NextRecordNumber and appends that many slots less one of zeros.
  void GiveSlots(int slots) {
    std::string next(4, '\0');
    next[0] = static_cast<char>(slots + 1);
    PatchFile(Dat(), 13, next);
    AppendToFile(Dat(), std::string(std::size_t(slots) * kRecordSize, '\0'));
  }

  TErrorCode OpenError(bool exclusive = false) {
    return ErrorCodeOf([&] {
      TDataFile table;
      table.SetFileName(dir_.Path("song"));
      table.SetExclusive(exclusive);
      table.Open();
    });
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
};

TEST_F(DataFileOpen, ReadsTheHeaderAndDescriptors) {
  TDataFile table;
  table.SetFileName(dir_.Path("song.dat"));
  EXPECT_EQ(table.FileName(), dir_.Path("song.DAT"));
  table.Open();
  EXPECT_TRUE(table.IsOpen());
  EXPECT_TRUE(table.IndexFile().IsOpen());
  EXPECT_TRUE(table.BlobFile().IsOpen());
  EXPECT_EQ(table.BlobFile().FileName(), dir_.Path("song.BLB"));
  EXPECT_EQ(table.Header().RecordSize, kRecordSize);
  EXPECT_EQ(table.Header().Description, "Catalogue");
  EXPECT_EQ(table.Header().HeaderModified, 0);  // cleared after the read
  ASSERT_EQ(table.Fields().size(), 3u);
  EXPECT_EQ(table.Fields()[1].FieldName, "Count");
  EXPECT_EQ(table.Fields()[1].FieldOffset, 21);
  EXPECT_EQ(table.SlotCount(), 0);
  EXPECT_EQ(table.RecordBufferSize(), std::size_t{kRecordSize});
  EXPECT_EQ(table.StoredPassword(), "");
  EXPECT_EQ(table.CollationTable()[200], 200);
  table.Close();
  EXPECT_FALSE(table.IsOpen());
  EXPECT_FALSE(table.IndexFile().IsOpen());
  EXPECT_FALSE(table.BlobFile().IsOpen());
}

TEST_F(DataFileOpen, RefusesOtherVersionsBeforeReadingDescriptors) {
  for (char version : {'\x02', '\x04'}) {
    PatchFile(Dat(), 8, std::string(1, version));
    // A damaged descriptor would give 8961; the version is checked first.
    PatchFile(Dat(), 127, std::string(2, '\x7F'));
    EXPECT_EQ(OpenError(), err::WrongVersion) << int(version);
  }
}

TEST_F(DataFileOpen, RefusesALocaleThatIsNotInstalled) {
  PatchFile(Dat(), 103, std::string("\x1E\x04", 2));
  EXPECT_EQ(OpenError(), err::LanguageDriver);
}

TEST_F(DataFileOpen, AcceptsSlotsThatMatchTheHeader) {
  GiveSlots(2);
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.Open();
  EXPECT_EQ(table.SlotCount(), 2);
}

TEST_F(DataFileOpen, RefusesAFileLengthThatDisagreesWithTheSlotCount) {
  // Part of the last slot missing.
  GiveSlots(2);
  std::string dat = Bytes();
  ASSERT_EQ(::truncate(Dat().c_str(), static_cast<off_t>(dat.size() - 1)), 0);
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  // One slot more than NextRecordNumber - 1.
  AppendToFile(Dat(), std::string(1 + kRecordSize, '\0'));
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  // No slots at all although the header claims two.
  ASSERT_EQ(::truncate(Dat().c_str(), DataStart()), 0);
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  // A truncated descriptor block cannot even be read.
  ASSERT_EQ(::truncate(Dat().c_str(), DataStart() - 1), 0);
  EXPECT_EQ(OpenError(), err::ReadError);
}

TEST_F(DataFileOpen, RefusesDescriptorsThatDisagreeWithEachOtherOrTheHeader) {
  const std::string original = Bytes();
  const auto restore = [&] { PatchFile(Dat(), 0, original); };
  PatchFile(Dat(), 127 + 768, std::string("\x03\x00", 2));  // FieldNo 3 in place 2
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 127 + 768 + 90, std::string("\x16\x00", 2));  // offset 22, not 21
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 21, std::string("\x20\x00", 2));  // RecordSize 32
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 127 + 86, std::string(1, '\xFB'));  // string size 251
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 25, std::string("\x00\x00", 2));  // blob count 0 with a blob field
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 111, std::string("\x05\x00", 2));  // computed area without computed fields
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 9, std::string("\x01\x00\x00\x00", 4));  // free slot 1 of none
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 4, std::string("\x10\x00\x00\x00", 4));  // 16-byte blob blocks
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  PatchFile(Dat(), 23, std::string("\x01\x04", 2));  // 1025 fields
  EXPECT_EQ(OpenError(), err::HeaderCorrupt);
  restore();
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.Open();
}

TEST_F(DataFileOpen, ChecksAutoIncrementAndComputedOffsets) {
  auto request = Request({Field("ID", ftype::Integer, 0, fsubtype::AutoInc),
                          Field("Twice", ftype::Integer), Field("Name", ftype::String, 5)});
  request.Fields[1].ComputeExpression = "ID * 2";
  testing::CreateTable(dir_.Path("calc"), request);
  const std::string calc = dir_.Path("calc.DAT");
  {
    TDataFile table;
    table.SetFileName(calc);
    table.Open();
    // In a record buffer the computed field follows the stored record.
    EXPECT_EQ(table.Fields()[1].FieldOffset, 0);
    EXPECT_EQ(table.LogicalFields()[1].FieldOffset, 9 + 7);
    EXPECT_EQ(table.LogicalFields()[2].FieldOffset, 9);
    EXPECT_EQ(table.RecordBufferSize(), 9u + 7 + 5);
  }
  PatchFile(calc, 127 + 90, std::string("\x09\x00", 2));  // autoinc not at 5
  EXPECT_EQ(ErrorCodeOf([&] {
              TDataFile table;
              table.SetFileName(calc);
              table.Open();
            }),
            err::HeaderCorrupt);
  PatchFile(calc, 127 + 90, std::string("\x05\x00", 2));
  PatchFile(calc, 127 + 768 + 90, std::string("\x09\x00", 2));  // computed not at 0
  EXPECT_EQ(ErrorCodeOf([&] {
              TDataFile table;
              table.SetFileName(calc);
              table.Open();
            }),
            err::HeaderCorrupt);
}

TEST_F(DataFileOpen, ReadsABlobBlockSizeOfZeroAs512) {
  PatchFile(Dat(), 4, std::string(4, '\0'));
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.Open();
  EXPECT_EQ(table.Header().EffectiveBlobBlockSize(), 512u);
  EXPECT_EQ(table.BlobFile().BlockSize(), 512u);
}

TEST_F(DataFileOpen, RefusesCompanionFilesOfAnotherVersion) {
  PatchFile(dir_.Path("song.BLB"), 8, std::string(1, '\x02'));
  EXPECT_EQ(OpenError(), err::WrongVersion);
  PatchFile(dir_.Path("song.BLB"), 8, std::string(1, '\x03'));
  PatchFile(dir_.Path("song.IDX"), 8, std::string(1, '\x04'));
  EXPECT_EQ(OpenError(), err::WrongVersion);
}

TEST_F(DataFileOpen, RefusesABlobHeaderWhoseOffsetsLeaveTheBlockGrid) {
  PatchFile(dir_.Path("song.BLB"), 13, std::string("\x01\x02\x00\x00", 4));  // end 513
  EXPECT_EQ(OpenError(), err::BlobBuffersCorrupt);
}

TEST_F(DataFileOpen, ClosesEverythingWhenAnOpenFails) {
  GiveSlots(1);
  AppendToFile(Dat(), "x");
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.SetExclusive(true);
  EXPECT_EQ(ErrorCodeOf([&] { table.Open(); }), err::HeaderCorrupt);
  EXPECT_FALSE(table.IsOpen());
  EXPECT_FALSE(table.IndexFile().IsOpen());
  EXPECT_FALSE(table.BlobFile().IsOpen());
  // Nothing stays held: another exclusive open goes through once mended.
  ASSERT_EQ(::truncate(Dat().c_str(), DataStart() + kRecordSize), 0);
  TDataFile other;
  other.SetFileName(dir_.Path("song"));
  other.SetExclusive(true);
  other.Open();
}

TEST_F(DataFileOpen, WritesTheHeaderWithACountAndTheModifiedMark) {
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.SetExclusive(true);
  table.Open();
  table.WriteHeader();  // unchanged: nothing written
  EXPECT_EQ(LeAt(Bytes(), 0, 4), 0);
  table.WriteHeader(true);
  std::string dat = Bytes();
  EXPECT_EQ(LeAt(dat, 0, 4), 1);
  EXPECT_EQ(dat[113], 0);  // a forced write of an unchanged header
  table.MarkHeaderModified();
  table.Close();  // an exclusive table writes a changed header on close
  dat = Bytes();
  EXPECT_EQ(LeAt(dat, 0, 4), 2);
  EXPECT_EQ(dat[113], 1);
  // LastUpdated: today as days since 1899-12-30, less 693594.
  double lastUpdated;
  std::memcpy(&lastUpdated, dat.data() + 27, 8);
  EXPECT_GT(lastUpdated, 45000.0 - 693594.0);
  EXPECT_LT(lastUpdated, 80000.0 - 693594.0);
}

TEST_F(DataFileOpen, NoticesAHeaderWrittenByAnotherTable) {
  TDataFile reader;
  reader.SetFileName(dir_.Path("song"));
  reader.Open();
  EXPECT_FALSE(reader.HeaderChangedOnDisk());
  {
    TDataFile writer;
    writer.SetFileName(dir_.Path("song"));
    writer.Open();
    writer.WriteHeader(true);
  }
  EXPECT_TRUE(reader.HeaderChangedOnDisk());
  EXPECT_EQ(reader.Header().ChangeCount, 1);
  EXPECT_FALSE(reader.HeaderChangedOnDisk());
}

TEST_F(DataFileOpen, EmptiesAnExclusiveWritableTable) {
  GiveSlots(3);
  PatchFile(Dat(), 9, std::string("\x02\x00\x00\x00", 4));   // FreeRecordHead 2
  PatchFile(Dat(), 17, std::string("\x07\x00\x00\x00", 4));  // LastAutoIncValue 7
  PatchFile(Dat(), 0, std::string("\x05\x00\x00\x00", 4));   // ChangeCount 5
  {
    TDataFile shared;
    shared.SetFileName(dir_.Path("song"));
    shared.Open();
    EXPECT_EQ(ErrorCodeOf([&] { shared.EmptyTable(); }), err::MustBeExclusive);
  }
  {
    TDataFile readOnly;
    readOnly.SetFileName(dir_.Path("song"));
    readOnly.SetExclusive(true);
    readOnly.SetReadOnly(true);
    readOnly.Open();
    EXPECT_EQ(ErrorCodeOf([&] { readOnly.EmptyTable(); }), err::AccessDenied);
  }
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  table.SetExclusive(true);
  table.Open();
  table.EmptyTable();
  EXPECT_EQ(table.SlotCount(), 0);
  table.Close();
  const std::string dat = Bytes();
  EXPECT_EQ(static_cast<std::int64_t>(dat.size()), DataStart());
  EXPECT_EQ(LeAt(dat, 0, 4), 0);
  EXPECT_EQ(LeAt(dat, 9, 4), 0);
  EXPECT_EQ(LeAt(dat, 13, 4), 1);
  EXPECT_EQ(LeAt(dat, 17, 4), 0);
  const std::string blb = testing::ScratchDir::ReadFile(dir_.Path("song.BLB"));
  EXPECT_EQ(blb.size(), 512u);
  EXPECT_EQ(LeAt(blb, 13, 4), 512);
  EXPECT_EQ(testing::ScratchDir::ReadFile(dir_.Path("song.IDX")).size(), 4096u);
  table.Open();  // and it opens again
}

class EncryptedOpen : public DataFileOpen {
 protected:
  void SetUp() override {
    auto request = Request({Field("Code", ftype::String, 10)});
    request.Encrypted = true;
    request.Password = "Lyra Book";
    testing::CreateTable(dir_.Path("secret"), request);
  }
  void TearDown() override { CurrentSession().RemoveAllPasswords(); }

  // The code the open raises, 0 when the table opened.
  TErrorCode OpenSecret(TDataFile::TPasswordCallback callback = {}) {
    try {
      TDataFile table;
      table.SetFileName(dir_.Path("secret"));
      table.SetPasswordCallback(std::move(callback));
      table.Open();
      return 0;
    } catch (const EQuireEngineError& e) {
      return e.Code();
    }
  }
};

TEST_F(EncryptedOpen, NeedsThePasswordExactly) {
  EXPECT_EQ(OpenSecret(), err::PasswordRequired);
  CurrentSession().AddPassword("lyra book");
  EXPECT_EQ(OpenSecret(), err::PasswordRequired);
  CurrentSession().AddPassword("Lyra Book");
  EXPECT_EQ(OpenSecret(), 0);
  TDataFile table;
  table.SetFileName(dir_.Path("secret"));
  table.Open();
  EXPECT_EQ(table.StoredPassword(), "Lyra Book");
  EXPECT_EQ(table.Fields()[0].FieldName, "Code");
}

TEST_F(EncryptedOpen, AsksTheCallbackUntilItGivesUpOrSupplies) {
  int asked = 0;
  EXPECT_EQ(OpenSecret([&] {
              ++asked;
              if (asked < 3) {
                CurrentSession().AddPassword("wrong " + std::to_string(asked));
                return true;
              }
              return false;
            }),
            err::PasswordRequired);
  EXPECT_EQ(asked, 3);
  asked = 0;
  EXPECT_EQ(OpenSecret([&] {
              ++asked;
              CurrentSession().AddPassword("Lyra Book");
              return true;
            }),
            0);
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace quire
