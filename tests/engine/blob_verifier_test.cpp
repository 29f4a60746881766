// The blob verifier names each fault with its file and block.
#include <gtest/gtest.h>

#include "blob/BlobFile.h"
#include "blob/BlobVerifier.h"
#include "support/BlobFiles.h"

namespace quire::testing {
namespace {

constexpr std::uint32_t kPayload = 512 - 18;

class BlobVerifierTest : public ::testing::Test {
 protected:
  BlobVerifierTest() {
    EXPECT_EQ(blob_.Post(1, 0, Pattern(2 * kPayload + 1)), 512);  // 512, 1024, 1536
    EXPECT_EQ(blob_.Post(2, 0, Pattern(10)), 2048);
  }

  std::vector<std::string> Lines(const std::vector<TStoredBlob>& values) {
    std::vector<std::string> lines;
    for (const auto& fault : blob_.Verify(values).faults) lines.push_back(fault.Line());
    return lines;
  }
  std::string Name() const { return blob_.Path(); }

  BlobFileFixture blob_;
  const std::vector<TStoredBlob> values_{{1, 1, 512}, {2, 1, 2048}};
};

TEST_F(BlobVerifierTest, SoundFileHasNoFaults) {
  const TBlobCheck check = blob_.Verify(values_);
  EXPECT_TRUE(check.Ok());
  EXPECT_EQ(check.values, 2u);
  EXPECT_EQ(check.valueBlocks, 4u);
  EXPECT_EQ(check.blocks, 4u);
  // Without references the chains are found from their first blocks.
  TBlobVerifier verifier(blob_.File());
  const TBlobCheck found = verifier.Verify();
  EXPECT_TRUE(found.Ok());
  EXPECT_EQ(found.values, 2u);
}

TEST_F(BlobVerifierTest, LostBlockAndMissingReference) {
  EXPECT_EQ(Lines({{1, 1, 512}}),
            std::vector<std::string>{Name() + ": block 2048: block is in no value and not free"});
}

TEST_F(BlobVerifierTest, ChainFaults) {
  blob_.PatchBlockField(1024, 10, 7);      // owner
  blob_.PatchBlockField(1536, 8, 100, 2);  // used bytes of the last block
  blob_.PatchBlockField(1536, 0, 512);     // previous link
  EXPECT_EQ(Lines(values_),
            (std::vector<std::string>{
                Name() + ": block 1024: record 1 field 1: block owned by record 7",
                Name() + ": block 1536: record 1 field 1: previous link 512 is not 1024",
                Name() + ": block 1536: record 1 field 1: 100 bytes used, 1 expected",
            }));
}

TEST_F(BlobVerifierTest, SharedBlockAndShortChain) {
  blob_.PatchBlockField(1024, 4, 2048);  // record 1 runs into record 2's block
  const std::string in1 = Name() + ": block 2048: record 1 field 1: ";
  EXPECT_EQ(Lines(values_), (std::vector<std::string>{
                                in1 + "block owned by record 2",
                                in1 + "previous link 0 is not 1024",
                                in1 + "value length 10 after the first block",
                                in1 + "10 bytes used, 1 expected",
                                Name() + ": block 2048: record 2 field 1: block is reached twice",
                                Name() + ": block 1536: block is in no value and not free",
                            }));
}

TEST_F(BlobVerifierTest, FreeChainFaults) {
  blob_.File().FreeValue(2048, 2);
  blob_.File().FlushBlocks();
  blob_.File().WriteHeader();
  EXPECT_TRUE(blob_.Verify({{1, 1, 512}}).Ok());
  blob_.PatchBlockField(2048, 4, 2048);  // the free block points at itself
  EXPECT_EQ(Lines({{1, 1, 512}}),
            std::vector<std::string>{Name() + ": block 2048: free chain leads back into itself"});
  blob_.PatchBlockField(2048, 4, 1024);  // into a value
  EXPECT_EQ(Lines({{1, 1, 512}}),
            std::vector<std::string>{
                Name() + ": block 1024: record 1 field 1: block is also on the free chain"});
}

}  // namespace
}  // namespace quire::testing
