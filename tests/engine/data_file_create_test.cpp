// Table creation: the bytes of the new files, and every refusal with its
// code before anything is written.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/Cipher.h"
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
using testing::FileExists;
using testing::Index;
using testing::Keystream;
using testing::LeAt;
using testing::Request;

class DataFileCreate : public ::testing::Test {
 protected:
  std::string Dat() const { return dir_.Path("song.DAT"); }
  std::string Idx() const { return dir_.Path("song.IDX"); }
  std::string Blb() const { return dir_.Path("song.BLB"); }
  std::string Bytes(const std::string& path) const { return testing::ScratchDir::ReadFile(path); }
  void Create(const TTableCreateRequest& request) {
    testing::CreateTable(dir_.Path("song"), request);
  }
  TErrorCode CreateError(const TTableCreateRequest& request) {
    return ErrorCodeOf([&] { Create(request); });
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
};

// A catalogue-like table: every kind of slot the record layout has.
TTableCreateRequest SongRequest() {
  auto request =
      Request({Field("ID", ftype::Integer, 0, fsubtype::AutoInc), Field("Code", ftype::String, 10),
               Field("Price", ftype::Bcd), Field("Lyric", ftype::Blob, 0, fsubtype::Memo),
               Field("Total", ftype::Float), Field("Plays", ftype::SmallInt)});
  request.Fields[1].Required = true;
  request.Fields[2].FieldDecimals = 2;
  request.Fields[2].MinValue = "0";
  request.Fields[2].MaxValue = "999";
  request.Fields[2].DefaultValue = "1";
  request.Fields[4].ComputeExpression = "Price * 2";
  request.Description = "Song list";
  request.Primary = Index("", {2});
  request.Secondary.push_back(Index("ByPlays", {6, 1}));
  return request;
}

TEST_F(DataFileCreate, WritesTheHeaderAsANewTable) {
  Create(SongRequest());
  const std::string dat = Bytes(Dat());
  // Header and six descriptors, no slots.
  ASSERT_EQ(dat.size(), 127u + 6 * 768u);
  EXPECT_EQ(LeAt(dat, 0, 4), 0);    // ChangeCount: no header write yet
  EXPECT_EQ(LeAt(dat, 4, 4), 512);  // BlobBlockSize
  EXPECT_EQ(LeAt(dat, 8, 1), 3);    // Version
  EXPECT_EQ(LeAt(dat, 9, 4), 0);    // FreeRecordHead
  EXPECT_EQ(LeAt(dat, 13, 4), 1);   // NextRecordNumber
  EXPECT_EQ(LeAt(dat, 17, 4), 0);   // LastAutoIncValue
  // 9 + Code (1 + 11) + Price (1 + 8) + Lyric (1 + 4) + Plays (1 + 2).
  EXPECT_EQ(LeAt(dat, 21, 2), 38);  // RecordSize
  EXPECT_EQ(LeAt(dat, 23, 2), 6);   // FieldCount
  EXPECT_EQ(LeAt(dat, 25, 2), 1);   // BlobFieldCount
  EXPECT_EQ(dat.substr(35, 10), "\x09Song list");
  EXPECT_EQ(dat[86], 0);  // Encrypted
  EXPECT_EQ(dat.substr(87, 16), std::string(16, '\0'));
  EXPECT_EQ(LeAt(dat, 111, 2), 9);  // ComputedAreaSize: Total (1 + 8)
  EXPECT_EQ(dat[113], 1);           // HeaderModified
  EXPECT_EQ(dat.substr(114, 13), std::string(13, '\0'));
}

TEST_F(DataFileCreate, WritesEachDescriptorWithDerivedSizesAndOffsets) {
  Create(SongRequest());
  const std::string dat = Bytes(Dat());
  struct Expected {
    int type, subType, size, decimals, dataSize, offset;
  };
  const Expected expected[] = {{6, 29, 0, 0, 4, 5},  {1, 0, 10, 0, 11, 9}, {8, 0, 0, 2, 8, 21},
                               {3, 22, 0, 0, 4, 30}, {7, 0, 0, 0, 8, 0},   {5, 0, 0, 0, 2, 35}};
  const char* names[] = {"ID", "Code", "Price", "Lyric", "Total", "Plays"};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(names[i]);
    const std::string d = dat.substr(127 + 768 * i, 768);
    EXPECT_EQ(LeAt(d, 0, 2), i + 1);
    EXPECT_EQ(d.substr(2, 1 + std::strlen(names[i])),
              std::string(1, char(std::strlen(names[i]))) + names[i]);
    EXPECT_EQ(d[84], expected[i].type);
    EXPECT_EQ(d[85], expected[i].subType);
    EXPECT_EQ(d[86], expected[i].size);
    EXPECT_EQ(d[87], expected[i].decimals);
    EXPECT_EQ(d[88], expected[i].dataSize);
    EXPECT_EQ(d[89], expected[i].decimals);
    EXPECT_EQ(LeAt(d, 90, 2), expected[i].offset);
    EXPECT_EQ(d.substr(33, 51), std::string(51, '\0'));
    EXPECT_EQ(d.substr(503, 265), std::string(265, '\0'));
  }
  const std::string code = dat.substr(127 + 768, 768);
  EXPECT_EQ(code[92], 1);  // Required
  const std::string price = dat.substr(127 + 2 * 768, 768);
  EXPECT_EQ(price.substr(94, 2),
            "\x01"
            "0");
  EXPECT_EQ(price.substr(145, 4),
            "\x03"
            "999");
  EXPECT_EQ(price.substr(196, 2),
            "\x01"
            "1");
  const std::string total = dat.substr(127 + 4 * 768, 768);
  EXPECT_EQ(total.substr(247, 10), "\x09Price * 2");
}

TEST_F(DataFileCreate, WritesIndexAndBlobFilesBesideIt) {
  Create(SongRequest());
  const std::string idx = Bytes(Idx());
  ASSERT_GE(idx.size(), 4096u);
  EXPECT_EQ(idx[8], 3);
  EXPECT_EQ(idx[13], 1);                 // one secondary index
  EXPECT_EQ(LeAt(idx, 14 + 37, 1), 1);   // primary over one field
  EXPECT_EQ(LeAt(idx, 14 + 31, 2), 12);  // its key: Code, 11 + 1
  EXPECT_EQ(idx.substr(14 + 120, 8),
            "\x07"
            "ByPlays");
  EXPECT_EQ(LeAt(idx, 14 + 120 + 31, 2), 3 + 5 + 4);  // Plays, ID, suffix
  const std::string blb = Bytes(Blb());
  ASSERT_EQ(blb.size(), 512u);
  EXPECT_EQ(LeAt(blb, 0, 4), 0);
  EXPECT_EQ(blb[8], 3);
  EXPECT_EQ(LeAt(blb, 9, 4), 0);
  EXPECT_EQ(LeAt(blb, 13, 4), 512);
  EXPECT_EQ(blb[17], 1);
  EXPECT_EQ(blb.substr(18), std::string(494, '\0'));
}

TEST_F(DataFileCreate, WritesNoBlobFileWithoutBlobFields) {
  Create(Request({Field("Code", ftype::String, 10)}));
  EXPECT_TRUE(FileExists(Dat()));
  EXPECT_TRUE(FileExists(Idx()));
  EXPECT_FALSE(FileExists(Blb()));
}

TEST_F(DataFileCreate, SizesRecordsFromTheStoredFieldsOnly) {
  // A 250-character string takes its indicator, 250 bytes and a terminator.
  Create(Request({Field("Name", ftype::String, 250)}));
  EXPECT_EQ(LeAt(Bytes(Dat()), 21, 2), 9 + 252);
  // Computed and auto-increment fields take no room of their own.
  auto computedOnly =
      Request({Field("ID", ftype::Integer, 0, fsubtype::AutoInc), Field("Twice", ftype::Integer)});
  computedOnly.Fields[1].ComputeExpression = "ID * 2";
  Create(computedOnly);
  const std::string dat = Bytes(Dat());
  EXPECT_EQ(LeAt(dat, 21, 2), 9);
  EXPECT_EQ(LeAt(dat, 111, 2), 5);
}

TEST_F(DataFileCreate, StoresDefinitionsAtTheirFieldNumbers) {
  auto request = Request({Field("Second", ftype::Integer), Field("First", ftype::SmallInt)});
  request.Fields[0].FieldNo = 2;
  request.Fields[1].FieldNo = 1;
  Create(request);
  const std::string dat = Bytes(Dat());
  EXPECT_EQ(dat.substr(127 + 2, 6),
            "\x05"
            "First");
  EXPECT_EQ(LeAt(dat, 127 + 90, 2), 9);
  EXPECT_EQ(LeAt(dat, 127 + 768 + 90, 2), 12);
}

TEST_F(DataFileCreate, EnciphersPasswordDescriptionAndDescriptorsOfAnEncryptedTable) {
  auto request = SongRequest();
  request.Encrypted = true;
  request.Password = " Secret ";
  Create(request);
  const std::string dat = Bytes(Dat());
  EXPECT_EQ(dat[86], 1);
  EXPECT_EQ(dat[87], 8);  // the length byte stays plain; blanks are kept
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_EQ(std::uint8_t(dat[88 + i]), std::uint8_t(" Secret "[i] ^ Keystream(0x5E, 0xC4, i)));
  EXPECT_EQ(dat[35], 9);
  for (std::size_t i = 0; i < 9; ++i)
    EXPECT_EQ(std::uint8_t(dat[36 + i]), std::uint8_t("Song list"[i] ^ Keystream(0x5E, 0xC4, i)));
  EXPECT_EQ(dat[45], 0);  // after the used length: zero, not keystream

  // The descriptor block is the plain table's block run through the cipher.
  testing::ScratchDir plainDir;
  testing::CreateTable(plainDir.Path("plain"), SongRequest());
  const std::string plain = testing::ScratchDir::ReadFile(plainDir.Path("plain.DAT"));
  for (std::size_t i = 0; i < 6 * 768; ++i)
    ASSERT_EQ(std::uint8_t(dat[127 + i]), std::uint8_t(plain[127 + i] ^ Keystream(0x3B, 0xA6, i)))
        << i;
  // The password is lent to the session for the creation only.
  EXPECT_FALSE(CurrentSession().TestPassword(" Secret "));
}

TEST_F(DataFileCreate, EnciphersOnlyTheFirst11264DescriptorBytesOfAHundredFields) {
  TTableCreateRequest request;
  for (int i = 1; i <= 100; ++i) {
    request.Fields.push_back(Field("F" + std::to_string(i), ftype::Integer));
    request.Fields.back().FieldNo = static_cast<std::int16_t>(i);
  }
  TTableCreateRequest encrypted = request;
  encrypted.Encrypted = true;
  encrypted.Password = "pw";
  Create(encrypted);
  testing::ScratchDir plainDir;
  testing::CreateTable(plainDir.Path("plain"), request);
  const std::string dat = Bytes(Dat());
  const std::string plain = testing::ScratchDir::ReadFile(plainDir.Path("plain.DAT"));
  ASSERT_EQ(dat.size(), 127u + 76800u);
  ASSERT_EQ(plain.size(), dat.size());
  // 76800 mod 65536 = 11264 bytes in the run; the other 65536 stay plain.
  for (std::size_t i = 0; i < 11264; ++i)
    ASSERT_EQ(std::uint8_t(dat[127 + i]), std::uint8_t(plain[127 + i] ^ Keystream(0x3B, 0xA6, i)))
        << i;
  EXPECT_EQ(dat.substr(127 + 11264), plain.substr(127 + 11264));
}

TEST_F(DataFileCreate, KeepsAPasswordTheSessionAlreadyHad) {
  CurrentSession().AddPassword("pw");
  auto request = Request({Field("A", ftype::Integer)});
  request.Encrypted = true;
  request.Password = "pw";
  Create(request);
  EXPECT_TRUE(CurrentSession().TestPassword("pw"));
  CurrentSession().RemovePassword("pw");
}

TEST_F(DataFileCreate, RefusesAHandlerThatIsSharedOrReadOnly) {
  TDataFile table;
  table.SetFileName(dir_.Path("song"));
  EXPECT_EQ(ErrorCodeOf([&] { table.CreateTable(SongRequest()); }), err::MustBeExclusive);
  table.SetExclusive(true);
  table.SetReadOnly(true);
  EXPECT_EQ(ErrorCodeOf([&] { table.CreateTable(SongRequest()); }), err::AccessDenied);
  EXPECT_FALSE(FileExists(Dat()));
}

TEST_F(DataFileCreate, RefusesBadTableSettingsBeforeWriting) {
  auto blank = SongRequest();
  blank.Encrypted = true;
  blank.Password = "   ";
  EXPECT_EQ(CreateError(blank), err::InvalidPassword);
  auto longPassword = SongRequest();
  longPassword.Encrypted = true;
  longPassword.Password = "1234567890123456";
  EXPECT_EQ(CreateError(longPassword), err::InvalidPassword);
  auto locale = SongRequest();
  locale.LanguageId = 0x041E;
  EXPECT_EQ(CreateError(locale), err::LanguageDriver);
  auto sortOnly = SongRequest();
  sortOnly.SortId = 1;
  EXPECT_EQ(CreateError(sortOnly), err::LanguageDriver);
  TTableCreateRequest many;
  for (int i = 1; i <= 1025; ++i) {
    many.Fields.push_back(Field("F" + std::to_string(i), ftype::SmallInt));
    many.Fields.back().FieldNo = static_cast<std::int16_t>(i);
  }
  EXPECT_EQ(CreateError(many), err::FieldLimits);
  auto indexes = SongRequest();
  indexes.Secondary.assign(33, Index("X", {2}));
  EXPECT_EQ(CreateError(indexes), err::IndexLimits);
  auto block = SongRequest();
  block.BlobBlockSize = 63;
  EXPECT_EQ(CreateError(block), err::BlobFieldsOrBlockSize);
  // The password is checked first of these.
  auto both = block;
  both.Encrypted = true;
  EXPECT_EQ(CreateError(both), err::InvalidPassword);
  EXPECT_FALSE(FileExists(Dat()));
  EXPECT_FALSE(FileExists(Idx()));
}

TEST_F(DataFileCreate, RefusesBadFieldDefinitionsBeforeWriting) {
  const auto withField = [](TFieldDefinition field) {
    return Request({Field("Code", ftype::String, 10), field});
  };
  EXPECT_EQ(CreateError(withField(Field("  ", ftype::Integer))), err::InvalidFieldName);
  EXPECT_EQ(CreateError(withField(Field("1st", ftype::Integer))), err::InvalidFieldName);
  EXPECT_EQ(CreateError(withField(Field(" CODE ", ftype::Integer))), err::InvalidFieldName);
  EXPECT_EQ(CreateError(withField(Field("Nothing", 0))), err::InvalidFieldDefinition);
  EXPECT_EQ(CreateError(withField(Field("Wide", ftype::String, 251))), err::InvalidFieldDefinition);
  auto manyDecimals = Field("Amount", ftype::Bcd);
  manyDecimals.FieldDecimals = 10;
  EXPECT_EQ(CreateError(withField(manyDecimals)), err::InvalidFieldDefinition);
  auto sameNumber = withField(Field("Other", ftype::Integer));
  sameNumber.Fields[1].FieldNo = 1;
  EXPECT_EQ(CreateError(sameNumber), err::InvalidFieldDefinition);
  auto badDefault = Field("Count", ftype::Integer);
  badDefault.DefaultValue = "many";
  EXPECT_EQ(CreateError(withField(badDefault)), err::InvalidValidityCheck);
  auto badMin = Field("Day", ftype::Date);
  badMin.MinValue = "2/30/2000";
  EXPECT_EQ(CreateError(withField(badMin)), err::InvalidValidityCheck);
  auto badMax = Field("Flag", ftype::Boolean);
  badMax.MaxValue = "yes";
  EXPECT_EQ(CreateError(withField(badMax)), err::InvalidValidityCheck);
  auto tooLong = Field("Note", ftype::String, 100);
  tooLong.DefaultValue = std::string(51, 'x');
  EXPECT_EQ(CreateError(withField(tooLong)), err::InvalidValidityCheck);
  EXPECT_FALSE(FileExists(Dat()));
}

TEST_F(DataFileCreate, AcceptsThaiFieldNamesAndTheValidityKeywords) {
  auto day = Field("\xC7\xD1\xB9", ftype::Date);  // a Thai word in code page 874
  day.DefaultValue = "DATE";
  day.MinValue = "1/1/2000";
  auto stamp = Field("Stamp", ftype::TimeStamp);
  stamp.DefaultValue = "now";
  auto flag = Field("Flag", ftype::Boolean);
  flag.DefaultValue = "True";
  Create(Request({day, stamp, flag}));
  EXPECT_EQ(Bytes(Dat()).substr(127 + 2, 4), "\x03\xC7\xD1\xB9");
}

TEST_F(DataFileCreate, RefusesTooManyBlobFieldsAndTooLargeRecords) {
  TTableCreateRequest blobs;
  for (int i = 1; i <= 33; ++i) {
    blobs.Fields.push_back(Field("B" + std::to_string(i), ftype::Blob, 0, fsubtype::Memo));
    blobs.Fields.back().FieldNo = static_cast<std::int16_t>(i);
  }
  EXPECT_EQ(CreateError(blobs), err::BlobFieldsOrBlockSize);
  blobs.Fields.pop_back();
  Create(blobs);  // 32 blob fields are fine
  EXPECT_EQ(LeAt(Bytes(Dat()), 25, 2), 32);

  // 260 strings of 250 bytes need 9 + 260 * 252 = 65529 bytes: fine; a
  // computed field on top goes past 65535.
  TTableCreateRequest wide;
  for (int i = 1; i <= 260; ++i) {
    wide.Fields.push_back(Field("S" + std::to_string(i), ftype::String, 250));
    wide.Fields.back().FieldNo = static_cast<std::int16_t>(i);
  }
  testing::ScratchDir other;
  testing::CreateTable(other.Path("wide"), wide);
  auto computed = Field("C", ftype::String, 250);
  computed.ComputeExpression = "S1";
  computed.FieldNo = 261;
  wide.Fields.push_back(computed);
  EXPECT_EQ(ErrorCodeOf([&] { testing::CreateTable(dir_.Path("wide"), wide); }),
            err::MaxRecordSize);
  EXPECT_FALSE(FileExists(dir_.Path("wide.DAT")));
}

TEST_F(DataFileCreate, RefusesBadIndexDefinitionsBeforeWriting) {
  auto unknownField = SongRequest();
  unknownField.Primary = Index("", {7});
  EXPECT_EQ(CreateError(unknownField), err::InvalidIndexField);
  auto emptyKey = SongRequest();
  emptyKey.Secondary = {Index("Empty", {})};
  EXPECT_EQ(CreateError(emptyKey), err::InvalidKeySize);
  auto badName = SongRequest();
  badName.Secondary = {Index("1st", {2})};
  EXPECT_EQ(CreateError(badName), err::InvalidIndexName);
  auto sameName = SongRequest();
  sameName.Secondary = {Index("ByCode", {2}), Index("bycode", {6})};
  EXPECT_EQ(CreateError(sameName), err::IndexExists);
  auto bigKey = Request({Field("A", ftype::String, 250), Field("B", ftype::String, 250),
                         Field("C", ftype::String, 250), Field("D", ftype::String, 250),
                         Field("E", ftype::String, 250)});
  bigKey.Primary = Index("", {1, 2, 3, 4, 5});  // 5 * 252 = 1260 bytes
  EXPECT_EQ(CreateError(bigKey), err::InvalidKeySize);
  EXPECT_FALSE(FileExists(Dat()));
  EXPECT_FALSE(FileExists(Idx()));
}

TEST_F(DataFileCreate, RemovesItsFilesWhenTheIndexFileRefusesADefinition) {
  // A blob field cannot be a key; the index file finds out after the files
  // were written.
  auto blobKey = SongRequest();
  blobKey.Primary = Index("", {4});
  const std::string message = testing::ErrorMessageOf([&] { Create(blobKey); });
  EXPECT_NE(message.find("Quire Engine Error # 12292"), std::string::npos) << message;
  EXPECT_FALSE(FileExists(Dat()));
  EXPECT_FALSE(FileExists(Idx()));
  EXPECT_FALSE(FileExists(Blb()));

  // More secondary indexes than the index file holds (30).
  auto many = SongRequest();
  many.Secondary.clear();
  for (int i = 0; i < 31; ++i) many.Secondary.push_back(Index("I" + std::to_string(i), {2}));
  EXPECT_EQ(CreateError(many), err::IndexLimits);
  EXPECT_FALSE(FileExists(Dat()));
  EXPECT_FALSE(FileExists(Idx()));
  EXPECT_FALSE(FileExists(Blb()));
}

TEST_F(DataFileCreate, ReplacesAnExistingTable) {
  Create(SongRequest());
  AppendToFile(Dat(), std::string(38, '\0'));
  Create(Request({Field("Only", ftype::Integer)}));
  const std::string dat = Bytes(Dat());
  EXPECT_EQ(dat.size(), 127u + 768u);
  EXPECT_EQ(LeAt(dat, 23, 2), 1);
}

TEST_F(DataFileCreate, NamesTheDataFileInItsErrors) {
  auto request = SongRequest();
  request.BlobBlockSize = 10;
  const std::string message = testing::ErrorMessageOf([&] { Create(request); });
  EXPECT_EQ(message,
            "Quire Engine Error # 9498 Too many blob fields or invalid blob block size "
            "specified for data file " +
                Dat());
}

}  // namespace
}  // namespace quire
