// Plain columns reach a SELECT's result as reading the source field's value
// and writing it to the result field would leave them, byte for byte: a
// string up to its first zero without trailing blanks, a NULL as an empty
// slot, numbers as they stand, also when another program left bytes a
// value write would not (blanks and bytes after the terminating zero).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FieldTypes.h"
#include "engine/Value.h"
#include "support/SelectTesting.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The slot of `field` in `record`: its indicator and value bytes.
Bytes Slot(const TFieldDescriptor& field, std::span<const std::uint8_t> record) {
  const auto begin = record.begin() + field.FieldOffset;
  return Bytes(begin, begin + 1 + field.DataSize);
}

TEST(SelectColumnCopy, ResultSlotsEqualAValueReadAndWrittenBack) {
  TSelectFolder folder;
  folder.Create("t",
                {{"ID", ftype::Integer, 0, fsubtype::AutoInc},
                 {"s", ftype::String, 12},
                 {"n", ftype::SmallInt},
                 {"w", ftype::Word},
                 {"i", ftype::Integer},
                 {"f", ftype::Float}},
                IndexOn({1}, false, "", true));
  folder.Insert("t", {{N, S("ab"), TValue::Int(-7), TValue::Int(65000), I(-123456), F(2.25)},
                      {N, S("\xca\xc7\xd1\xca\xb4\xd5"), N, N, N, N},
                      {N, N, TValue::Int(1), TValue::Int(0), I(0), F(-0.5)},
                      {N, S("x"), N, TValue::Int(3), N, F(1e300)}});
  // Bytes no value write makes: trailing blanks and bytes after the zero in
  // the first row's string, a string slot marked present but empty in the
  // third.
  TDataFile source;
  source.SetFileName(folder.Path("t"));
  source.Open();
  const TFieldDescriptor s = source.LogicalFields()[1];
  const std::int64_t first = source.Header().RecordOffset(1);
  const std::int64_t third = source.Header().RecordOffset(3);
  const std::uint32_t recordSize = source.Header().RecordSize;
  source.Close();
  PatchFile(folder.Path("t.DAT"), first + s.FieldOffset, std::string("\1ab  \0zz", 8));
  PatchFile(folder.Path("t.DAT"), third + s.FieldOffset, std::string("\1\0", 2));
  ASSERT_GT(recordSize, s.FieldOffset + 1u + s.DataSize);

  TSelectQuery query(folder, "SELECT ID, s, n, w, i, f FROM t");
  TDataFile& result = query.Run();
  source.Open();
  source.SelectIndex(kPhysicalOrder);
  result.SelectIndex(kPhysicalOrder);
  Bytes from = source.NewRecordBuffer();
  Bytes to = result.NewRecordBuffer();
  Bytes expected = result.NewRecordBuffer();
  source.First();
  result.First();
  int rows = 0;
  while (source.GetNextRecord(from) == 0) {
    ASSERT_EQ(result.GetNextRecord(to), 0);
    ++rows;
    for (int column = 1; column <= 6; ++column) {
      const TFieldDescriptor& in = source.LogicalFields()[column - 1];
      const TFieldDescriptor& out = result.LogicalFields()[column];
      SCOPED_TRACE("row " + std::to_string(rows) + " column " + out.FieldName);
      WriteValue(out, expected, ReadValue(in, from));
      EXPECT_EQ(ShowValue(ReadValue(out, to)), ShowValue(ReadValue(out, expected)));
      if (!out.IsAutoInc()) {
        EXPECT_EQ(Slot(out, to), Slot(out, expected));
      }
    }
  }
  EXPECT_EQ(rows, 4);
  EXPECT_NE(result.GetNextRecord(to), 0);
  source.Close();
  EXPECT_EQ(query.Rows()[0], "1|ab|-7|65000|-123456|2.25");
  EXPECT_EQ(query.Rows()[2], "3|NULL|1|0|0|-0.5");
}

}  // namespace
}  // namespace quire::testing
