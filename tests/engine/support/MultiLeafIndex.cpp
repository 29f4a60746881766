#include "support/MultiLeafIndex.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace quire::testing {

MultiLeafIndexTest::Bytes MultiLeafIndexTest::KeyOf(std::uint32_t n) {
  Bytes key(6, 0);
  key[0] = 1;
  for (std::size_t i = 0; i < 4; ++i) key[1 + i] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
  return key;
}

void MultiLeafIndexTest::SetUp() {
  char pattern[] = "/tmp/quire-index-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  fields_ = {{1, "F1", 9, 0, 5}};
  file_.SetFileName(dir_ + "/T.DAT");
  file_.SetExclusive(true);
  file_.Create();
  TIndexDefinition primary;
  primary.FieldCount = 1;
  primary.FieldNumbers[0] = 1;
  file_.DefinePrimaryIndex(primary, fields_);
  file_.SelectIndex(kPrimaryIndex);
  for (std::uint32_t n = 1; n <= 1500; ++n) file_.InsertKey(KeyOf(n), n);
  file_.Flush();
  file_.WriteHeader();
}

void MultiLeafIndexTest::TearDown() {
  if (file_.IsOpen()) file_.Close();
  std::filesystem::remove_all(dir_);
}

void MultiLeafIndexTest::Scribble(std::uint32_t offset) {
  std::fstream out(dir_ + "/T.IDX", std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(offset);
  const std::string zeros(4096, '\0');
  out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

}  // namespace quire::testing
