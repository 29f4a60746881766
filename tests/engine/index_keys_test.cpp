// Keys: the bytes built from a record for every field type, null values,
// case folding, descending fields, the auto-increment suffix and the "Sys
// Deleted" key; and the order of keys with and without a table locale.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "index/KeyComparer.h"
#include "index/KeyLayout.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record buffer: 9-byte prefix (deleted flag, record number, auto-increment
// value), then the fields placed by the tests.
class Record {
 public:
  explicit Record(std::size_t size) : bytes_(size, 0) {}
  Record& Deleted(std::uint8_t flag) {
    bytes_[0] = flag;
    return *this;
  }
  Record& AutoIncrement(std::int32_t value) { return Put(5, value); }
  template <typename T>
  Record& Put(std::size_t at, T value) {
    std::memcpy(bytes_.data() + at, &value, sizeof value);  // little-endian machine
    return *this;
  }
  Record& Indicator(std::size_t at, std::uint8_t value) {
    bytes_[at] = value;
    return *this;
  }
  Record& Text(std::size_t at, const char* text) {
    bytes_[at] = 1;
    std::memcpy(bytes_.data() + at + 1, text, std::strlen(text));
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

TIndexDescriptor OneFieldIndex(std::uint16_t keySize) {
  TIndexDescriptor d;
  d.KeySize = keySize;
  d.FieldCount = 1;
  d.FieldNumbers[0] = 1;
  return d;
}

Bytes BuildOne(const TKeyField& field, const Record& record, TIndexDescriptor d,
               std::uint8_t number = 0) {
  const TKeyField fields[] = {field};
  const TKeyLayout layout = TKeyLayout::For(number, d, fields, false);
  Bytes key(layout.KeySize(), 0xEE);
  layout.Build(record.bytes(), key);
  return key;
}

// --- Value encodings -----------------------------------------------------------

TEST(IndexKeys, FourByteIntegersAreBigEndianWithTheSignBitFlipped) {
  for (std::uint8_t type : {2, 6, 10}) {
    const TKeyField field{1, type, 0, 4, 9};
    EXPECT_EQ(
        BuildOne(field, Record(14).Indicator(9, 1).Put<std::int32_t>(10, 1), OneFieldIndex(5)),
        (Bytes{1, 0x80, 0, 0, 1}))
        << int(type);
    EXPECT_EQ(
        BuildOne(field, Record(14).Indicator(9, 1).Put<std::int32_t>(10, -2), OneFieldIndex(5)),
        (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFE}));
  }
}

TEST(IndexKeys, AutoIncrementFieldHasNoIndicatorInTheRecordButOneInTheKey) {
  const TKeyField field{1, 6, 29, 4, 5};
  EXPECT_EQ(BuildOne(field, Record(9).AutoIncrement(0x01020304), OneFieldIndex(5)),
            (Bytes{1, 0x81, 0x02, 0x03, 0x04}));
}

TEST(IndexKeys, TwoByteValues) {
  const TKeyField smallInt{1, 5, 0, 2, 9};
  EXPECT_EQ(
      BuildOne(smallInt, Record(12).Indicator(9, 1).Put<std::int16_t>(10, -1), OneFieldIndex(3)),
      (Bytes{1, 0x7F, 0xFF}));
  EXPECT_EQ(BuildOne(smallInt, Record(12).Indicator(9, 1).Put<std::int16_t>(10, 0x0102),
                     OneFieldIndex(3)),
            (Bytes{1, 0x81, 0x02}));
  for (std::uint8_t type : {4, 12}) {  // boolean and word keep their bits
    const TKeyField field{1, type, 0, 2, 9};
    EXPECT_EQ(BuildOne(field, Record(12).Indicator(9, 1).Put<std::uint16_t>(10, 0xF001),
                       OneFieldIndex(3)),
              (Bytes{1, 0xF0, 0x01}));
  }
}

TEST(IndexKeys, FloatsSortNegativesFirstByMagnitude) {
  const auto key = [](std::uint8_t type, double value) {
    const TKeyField field{1, type, 0, 8, 9};
    return BuildOne(field, Record(18).Indicator(9, 1).Put<double>(10, value), OneFieldIndex(9));
  };
  // 1.0 is 0x3FF0000000000000: the top bit is set.
  EXPECT_EQ(key(7, 1.0), (Bytes{1, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  // -1.0 is 0xBFF0000000000000: every bit flipped.
  EXPECT_EQ(key(7, -1.0), (Bytes{1, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(key(11, 0.0), (Bytes{1, 0x80, 0, 0, 0, 0, 0, 0, 0}));
  // Negative zero is not below zero: it meets positive zero.
  EXPECT_EQ(key(7, -0.0), key(7, 0.0));
  const std::vector<double> ordered = {-1e300, -2.5, -1.0, -1e-300, 0.0, 1e-300, 1.0, 2.5, 1e300};
  for (std::size_t i = 1; i < ordered.size(); ++i) {
    EXPECT_LT(key(7, ordered[i - 1]), key(7, ordered[i])) << ordered[i];
  }
}

TEST(IndexKeys, BcdIsASignedSixtyFourBitInteger) {
  const TKeyField field{1, 8, 0, 8, 9};
  const auto key = [&](std::int64_t value) {
    return BuildOne(field, Record(18).Indicator(9, 1).Put<std::int64_t>(10, value),
                    OneFieldIndex(9));
  };
  EXPECT_EQ(key(12502), (Bytes{1, 0x80, 0, 0, 0, 0, 0, 0x30, 0xD6}));
  EXPECT_EQ(key(-30), (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE2}));
}

TEST(IndexKeys, OtherTypesAreCopiedAsStored) {
  const TKeyField bytes{1, 9, 0, 3, 9};
  EXPECT_EQ(
      BuildOne(bytes, Record(13).Indicator(9, 1).Put<std::uint8_t>(10, 7).Put<std::uint8_t>(12, 9),
               OneFieldIndex(4)),
      (Bytes{1, 7, 0, 9}));
  const TKeyField unsigned32{1, 13, 0, 4, 9};
  EXPECT_EQ(BuildOne(unsigned32, Record(14).Indicator(9, 1).Put<std::uint32_t>(10, 0x01020304),
                     OneFieldIndex(5)),
            (Bytes{1, 4, 3, 2, 1}));
}

TEST(IndexKeys, StringsStopAtTheirTerminatorAndFoldOnlyAToZ) {
  const TKeyField field{1, 1, 0, 6, 9};
  Record record(16);
  record.Text(9, "ab\xE1z");
  record.Indicator(15, 0x55);  // bytes after the terminator are not part of the key
  EXPECT_EQ(BuildOne(field, record, OneFieldIndex(7)), (Bytes{1, 'a', 'b', 0xE1, 'z', 0, 0}));
  TIndexDescriptor folded = OneFieldIndex(7);
  folded.CaseInsensitive = 1;
  EXPECT_EQ(BuildOne(field, record, folded), (Bytes{1, 'A', 'B', 0xE1, 'Z', 0, 0}));
}

TEST(IndexKeys, NullValuesHaveAZeroIndicator) {
  const TKeyField field{1, 6, 0, 4, 9};
  // A null field keeps zero value bytes in the record; encoded as an integer.
  EXPECT_EQ(BuildOne(field, Record(14), OneFieldIndex(5)), (Bytes{0, 0x80, 0, 0, 0}));
  EXPECT_LT(BuildOne(field, Record(14), OneFieldIndex(5)),
            BuildOne(field, Record(14).Indicator(9, 1).Put<std::int32_t>(10, INT32_MIN),
                     OneFieldIndex(5)));
}

// --- Descending fields, suffix, "Sys Deleted" ------------------------------------

TEST(IndexKeys, DescendingFieldIsStoredComplementedWithoutALocale) {
  const TKeyField fields[] = {{1, 6, 0, 4, 9}, {2, 1, 0, 4, 14}};
  TIndexDescriptor d;
  d.KeySize = 10;
  d.FieldCount = 2;
  d.FieldNumbers = {1, 2};
  d.FieldDescending = {1, 1};
  Record record(19);
  record.Indicator(9, 1).Put<std::int32_t>(10, 1).Text(14, "ab");
  Bytes key(10);
  TKeyLayout::For(0, d, fields, false).Build(record.bytes(), key);
  // Integer: indicator and all four bytes; string: indicator and DataSize - 1
  // bytes, its last byte left alone.
  EXPECT_EQ(key, (Bytes{0xFE, 0x7F, 0xFF, 0xFF, 0xFE, 0xFE, 0x9E, 0x9D, 0xFF, 0}));

  // A descending index as a whole, or a table with a locale, stores plain.
  Bytes plain(10);
  TIndexDescriptor whole = d;
  whole.Descending = 1;
  TKeyLayout::For(0, whole, fields, false).Build(record.bytes(), plain);
  EXPECT_EQ(plain, (Bytes{1, 0x80, 0, 0, 1, 1, 'a', 'b', 0, 0}));
  TKeyLayout::For(0, d, fields, true).Build(record.bytes(), plain);
  EXPECT_EQ(plain, (Bytes{1, 0x80, 0, 0, 1, 1, 'a', 'b', 0, 0}));
}

TEST(IndexKeys, DescendingNullsSortAfterValues) {
  const TKeyField fields[] = {{1, 6, 0, 4, 9}};
  TIndexDescriptor d = OneFieldIndex(5);
  d.FieldDescending[0] = 1;
  const TKeyLayout layout = TKeyLayout::For(0, d, fields, false);
  Bytes null(5), value(5), larger(5);
  layout.Build(Record(14).bytes(), null);
  layout.Build(Record(14).Indicator(9, 1).Put<std::int32_t>(10, 5).bytes(), value);
  layout.Build(Record(14).Indicator(9, 1).Put<std::int32_t>(10, 6).bytes(), larger);
  EXPECT_LT(larger, value);
  EXPECT_LT(value, null);
}

TEST(IndexKeys, NonUniqueSecondaryKeysEndInTheAutoIncrementValue) {
  const TKeyField fields[] = {{1, 6, 0, 4, 9}};
  TIndexDescriptor d = OneFieldIndex(9);
  Record record(14);
  record.AutoIncrement(-3).Indicator(9, 1).Put<std::int32_t>(10, 2);
  Bytes key(9);
  TKeyLayout::For(4, d, fields, false).Build(record.bytes(), key);
  EXPECT_EQ(key, (Bytes{1, 0x80, 0, 0, 2, 0x7F, 0xFF, 0xFF, 0xFD}));

  // The primary index and unique secondary indexes have no suffix.
  d.KeySize = 5;
  EXPECT_FALSE(TKeyLayout::For(0, d, fields, false).HasSuffix());
  d.Unique = 1;
  EXPECT_FALSE(TKeyLayout::For(4, d, fields, false).HasSuffix());
  d.Unique = 0;
  EXPECT_TRUE(TKeyLayout::For(4, d, fields, false).HasSuffix());
}

TEST(IndexKeys, SysDeletedKeyIsTheDeletedFlagAndTheAutoIncrementValue) {
  TIndexDescriptor d;
  d.KeySize = 5;
  Bytes key(5);
  TKeyLayout::For(31, d, {}, false).Build(Record(9).Deleted(1).AutoIncrement(256).bytes(), key);
  EXPECT_EQ(key, (Bytes{1, 0x80, 0, 1, 0}));
}

// --- Order -----------------------------------------------------------------------

TEST(IndexKeyOrder, BytesWithoutALocaleNegatedForADescendingIndex) {
  const Bytes a{1, 2, 3}, b{1, 2, 4};
  TIndexDescriptor d = OneFieldIndex(3);
  const TKeyField fields[] = {{1, 9, 0, 2, 9}};
  const TKeyLayout up = TKeyLayout::For(0, d, fields, false);
  d.Descending = 1;
  const TKeyLayout down = TKeyLayout::For(0, d, fields, false);
  EXPECT_EQ(TKeyComparer(up, nullptr, false).Compare(a.data(), b.data(), 3), -1);
  EXPECT_EQ(TKeyComparer(down, nullptr, false).Compare(a.data(), b.data(), 3), 1);
  EXPECT_EQ(TKeyComparer(down, nullptr, false).Compare(a.data(), b.data(), 2), 0);  // prefix
}

// A locale that sorts letters ignoring case, to see the comparer hand string
// parts to the collation and keep byte order elsewhere.
class CaseBlindCollation : public TKeyCollation {
 public:
  int Compare(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b,
              std::size_t bLength) const override {
    ++calls;
    for (std::size_t i = 0; i < std::min(aLength, bLength); ++i) {
      const int x = std::tolower(a[i]), y = std::tolower(b[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
  }
  mutable int calls = 0;
};

TEST(IndexKeyOrder, WithALocaleStringsUseTheCollationAndFieldsTheirOwnDirection) {
  // Key: string[3] (4 bytes of value), integer descending, then a suffix.
  const TKeyField fields[] = {{1, 1, 0, 4, 9}, {2, 6, 0, 4, 14}};
  TIndexDescriptor d;
  d.KeySize = 14;
  d.FieldCount = 2;
  d.FieldNumbers = {1, 2};
  d.FieldDescending = {0, 1};
  const TKeyLayout layout = TKeyLayout::For(3, d, fields, true);
  CaseBlindCollation collation;
  const TKeyComparer comparer(layout, &collation, false);

  const Bytes upper{1, 'A', 'B', 0, 0, 1, 0x80, 0, 0, 1, 0x80, 0, 0, 1};
  const Bytes lower{1, 'a', 'b', 0, 0, 1, 0x80, 0, 0, 1, 0x80, 0, 0, 1};
  EXPECT_EQ(comparer.Compare(upper.data(), lower.data(), 14), 0);  // the locale's word
  EXPECT_GT(collation.calls, 0);

  Bytes larger = lower;
  larger[9] = 2;  // the descending integer field is larger: it comes first
  EXPECT_EQ(comparer.Compare(larger.data(), lower.data(), 14), -1);
  Bytes laterSuffix = lower;
  laterSuffix[13] = 2;  // the suffix stays ascending
  EXPECT_EQ(comparer.Compare(laterSuffix.data(), lower.data(), 14), 1);
  Bytes nullString = lower;
  nullString[0] = 0;  // the null indicator decides before the text
  EXPECT_EQ(comparer.Compare(nullString.data(), lower.data(), 14), -1);

  // "Sys Deleted" is always compared as bytes.
  collation.calls = 0;
  const TKeyComparer sys(layout, &collation, true);
  EXPECT_EQ(sys.Compare(upper.data(), lower.data(), 14), -1);
  EXPECT_EQ(collation.calls, 0);
}

}  // namespace
}  // namespace quire
