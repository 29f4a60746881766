#pragma once
// An exclusive index file in a scratch folder whose primary index holds
// 1500 six-byte keys: a root node over several leaves, written out. For the
// tests of how index pages are shared between the index file's cache and
// the readers of the file.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "index/IndexFile.h"

namespace quire::testing {

class MultiLeafIndexTest : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  // A 6-byte key that sorts by n.
  static Bytes KeyOf(std::uint32_t n);

  void SetUp() override;
  void TearDown() override;
  // Overwrites the page at `offset` of the file with zeros: only a cache
  // still knows it.
  void Scribble(std::uint32_t offset);

  std::string dir_;
  std::vector<TIndexField> fields_;
  TIndexFile file_;
};

}  // namespace quire::testing
