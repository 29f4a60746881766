// Many records whose blobs grow, shrink and go away at random, the whole
// file checked by the verifier after every step and every value read back.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

#include "blob/BlobFile.h"
#include "blob/BlobVerifier.h"
#include "support/BlobFiles.h"

namespace quire::testing {
namespace {

struct Stored {
  std::int32_t firstBlock = 0;
  Bytes bytes;
};

// (block size, encrypted): 4096-byte blocks leave a cache of 63 blocks, so
// large values pass through eviction and write-back in the middle of a post.
class BlobRandom : public ::testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

TEST_P(BlobRandom, GrowShrinkAndDeleteKeepTheFileWhole) {
  const auto [blockSize, encrypted] = GetParam();
  BlobFileFixture blob(blockSize, encrypted);
  const std::uint32_t payload = blockSize - 18;
  std::mt19937 random(blockSize + (encrypted ? 1 : 0));
  std::map<std::pair<std::uint32_t, std::uint16_t>, Stored> model;  // (record, field)

  const auto references = [&model] {
    std::vector<TStoredBlob> values;
    for (const auto& [key, stored] : model) {
      if (stored.firstBlock != 0) {
        values.push_back({key.first, key.second, static_cast<std::uint32_t>(stored.firstBlock)});
      }
    }
    return values;
  };

  for (int step = 0; step < 250; ++step) {
    const auto record = static_cast<std::uint32_t>(1 + random() % 25);
    const auto field = static_cast<std::uint16_t>(1 + random() % 2);
    Stored& stored = model[{record, field}];
    const int action = static_cast<int>(random() % 10);
    if (action == 0) {
      // The record is deleted: its chain goes to the free chain.
      blob.File().FreeValue(stored.firstBlock, record);
      blob.File().FlushBlocks();
      blob.File().WriteHeader();
      stored = {};
    } else {
      // Mostly a few blocks, around block boundaries; now and then many.
      std::size_t blocks = random() % 4;
      if (action == 9) blocks = 20 + random() % 150;
      const std::size_t size = blocks * payload + (random() % 3 == 0 ? 0 : random() % payload);
      stored.bytes = Pattern(size, static_cast<std::uint32_t>(step));
      stored.firstBlock = blob.Post(record, stored.firstBlock, stored.bytes, field);
      ASSERT_EQ(stored.firstBlock == 0, size == 0);
    }
    const TBlobCheck check = blob.Verify(references());
    ASSERT_TRUE(check.Ok()) << "step " << step << ": " << check.faults.front().Line();
    ASSERT_EQ(check.valueBlocks + check.freeBlocks, check.blocks);
  }

  blob.Reopen(false);
  for (const auto& [key, stored] : model) {
    ASSERT_EQ(blob.Read(key.first, stored.firstBlock), stored.bytes)
        << "record " << key.first << " field " << key.second;
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, BlobRandom,
                         ::testing::Values(std::make_tuple(64u, false), std::make_tuple(512u, true),
                                           std::make_tuple(4096u, false),
                                           std::make_tuple(4096u, true)));

}  // namespace
}  // namespace quire::testing
