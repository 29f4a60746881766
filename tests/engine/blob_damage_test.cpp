// Damaged blob files: every broken chain ends in an engine error, never in a
// crash, and a refused change leaves the file as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include "blob/BlobFile.h"
#include "engine/ErrorCodes.h"
#include "support/BlobFiles.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

constexpr std::uint32_t kB = 512;
constexpr std::uint32_t kPayload = kB - 18;
constexpr std::size_t kNextAt = 4;
constexpr std::size_t kUsedAt = 8;
constexpr std::size_t kOwnerAt = 10;
constexpr std::size_t kLengthAt = 14;

// Record 1 holds a value in blocks 512, 1024 and 1536; record 2 one block
// at 2048. The end offset is 2560.
class BlobDamage : public ::testing::TestWithParam<bool> {
 protected:
  BlobDamage() : blob_(kB, GetParam()) {
    EXPECT_EQ(blob_.Post(1, 0, value_), 512);
    EXPECT_EQ(blob_.Post(2, 0, Pattern(10, 2)), 2048);
  }

  void Patch(std::uint32_t block, std::size_t at, std::uint32_t value, std::size_t size = 4) {
    blob_.File().Close();
    blob_.PatchBlockField(block, at, value, size);
    blob_.File().Open();
  }

  TErrorCode OpenCode(std::uint32_t record = 1, std::int32_t first = 512) {
    return ErrorCodeOf([&] {
      TBlobHandle handle = 0;
      blob_.File().OpenValue(first, 1, record, handle);
    });
  }

  // Asserts that nothing reached the file: blocks and header written as a
  // table would after a failed change.
  void ExpectUnchanged(const std::string& before) {
    blob_.File().CloseAllValues();
    blob_.File().FlushBlocks();
    blob_.File().WriteHeader();
    EXPECT_EQ(blob_.FileBytes(), before);
  }

  const Bytes value_ = Pattern(3 * kPayload - 5);
  BlobFileFixture blob_;
};

TEST_P(BlobDamage, IntactFileReadsBack) {
  blob_.Reopen();
  EXPECT_EQ(blob_.Read(1, 512), value_);
  EXPECT_TRUE(blob_.Verify({{1, 1, 512}, {2, 1, 2048}}).Ok());
}

TEST_P(BlobDamage, OwnerOfAnotherRecord) {
  EXPECT_EQ(OpenCode(2, 512), err::BlobBuffersCorrupt);  // first block of record 1
  Patch(1024, kOwnerAt, 5);
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  EXPECT_EQ(blob_.File().OpenValueCount(), 0u);
  const std::string before = blob_.FileBytes();
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().FreeValue(512, 1); }), err::BlobBuffersCorrupt);
  ExpectUnchanged(before);
}

TEST_P(BlobDamage, PointersOutsideTheBlocks) {
  for (const std::uint32_t next : {100u, 511u, 1025u, 2560u, 0xFFFFFE00u}) {
    Patch(512, kNextAt, next);
    EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt) << next;
    const std::string before = blob_.FileBytes();
    EXPECT_EQ(ErrorCodeOf([&] { blob_.File().FreeValue(512, 1); }), err::BlobBuffersCorrupt);
    ExpectUnchanged(before);
  }
  EXPECT_EQ(OpenCode(1, 600), err::BlobBuffersCorrupt);
  EXPECT_EQ(OpenCode(1, 2560), err::BlobBuffersCorrupt);
}

TEST_P(BlobDamage, ChainLeadingBackIntoItself) {
  Patch(1024, kNextAt, 512);
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  const std::string before = blob_.FileBytes();
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().FreeValue(512, 1); }), err::BlobBuffersCorrupt);
  ExpectUnchanged(before);
  // A block pointing at itself.
  Patch(512, kNextAt, 512);
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
}

TEST_P(BlobDamage, ChainIntoAnotherRecordsValue) {
  Patch(1024, kNextAt, 2048);
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  const std::string before = blob_.FileBytes();
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().FreeValue(512, 1); }), err::BlobBuffersCorrupt);
  ExpectUnchanged(before);
  EXPECT_EQ(blob_.Read(2, 2048), Pattern(10, 2));
}

TEST_P(BlobDamage, ShortChainIs8711) {
  Patch(1024, kNextAt, 0);
  EXPECT_EQ(OpenCode(), err::EndOfBlob);
  Patch(1024, kNextAt, 1536);
  Patch(1536, kUsedAt, 3, 2);  // fewer bytes than the length leaves for it
  EXPECT_EQ(OpenCode(), err::EndOfBlob);
}

TEST_P(BlobDamage, ImpossibleLengths) {
  Patch(512, kLengthAt, 0x7FFFFFFF);
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  Patch(512, kLengthAt, 0xFFFFFFF0);  // negative
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  Patch(512, kLengthAt, 3 * kPayload - 5);
  Patch(512, kUsedAt, kPayload + 1, 2);
  EXPECT_EQ(OpenCode(), err::InvalidBlobLength);
}

TEST_P(BlobDamage, PostOverAChainDamagedSinceOpenChangesNothing) {
  TBlobFile& file = blob_.File();
  TBlobHandle handle = 0;
  ASSERT_EQ(file.OpenValue(512, 1, 1, handle), 0);
  ASSERT_EQ(file.TruncateValue(handle, 5 * kPayload), 0);
  // Another program damages the chain while the value is open.
  blob_.PatchBlockField(1024, kNextAt, 512);
  file.Invalidate();
  const std::string before = blob_.FileBytes();
  file.SetOwner(1);
  EXPECT_EQ(ErrorCodeOf([&] { file.WriteModifiedValues(); }), err::BlobBuffersCorrupt);
  EXPECT_EQ(file.Header().EndOffset, 2560u);
  ExpectUnchanged(before);
}

TEST_P(BlobDamage, DamagedFreeChainStopsTheTake) {
  blob_.File().FreeValue(2048, 2);
  blob_.File().FlushBlocks();
  blob_.File().WriteHeader();
  Patch(2048, kNextAt, 777);
  const std::string before = blob_.FileBytes();
  TBlobHandle handle = 0;
  ASSERT_EQ(blob_.File().OpenValue(0, 1, 4, handle), 0);
  ASSERT_EQ(blob_.File().WriteValue(handle, 0, 3, "xyz"), 0);
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().WriteModifiedValues(); }), err::BlobBuffersCorrupt);
  EXPECT_EQ(blob_.File().Header().FreeBlockHead, 2048u);
  ExpectUnchanged(before);
}

TEST_P(BlobDamage, FreeChainIntoTheValueBeingWritten) {
  // The free chain's head is a block of record 1's own chain: taking it
  // would put one block twice into the value.
  blob_.File().FreeValue(2048, 2);
  blob_.File().FlushBlocks();
  blob_.File().WriteHeader();
  Patch(2048, kNextAt, 1024);
  const std::string before = blob_.FileBytes();
  TBlobHandle handle = 0;
  ASSERT_EQ(blob_.File().OpenValue(512, 1, 1, handle), 0);
  const Bytes longer = Pattern(5 * kPayload, 3);
  ASSERT_EQ(
      blob_.File().WriteValue(handle, 0, static_cast<std::uint32_t>(longer.size()), longer.data()),
      0);
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().WriteModifiedValues(); }), err::BlobBuffersCorrupt);
  ExpectUnchanged(before);
}

TEST_P(BlobDamage, DamagedHeaderIsRefusedAtOpen) {
  blob_.File().Close();
  TBlobHeader header;
  header.EndOffset = 700;
  auto image = header.Encode();
  if (blob_.Encrypted()) {
    for (std::size_t i = 0; i < image.size(); ++i) image[i] ^= Keystream(0x3B, 0xA6, i);
  }
  PatchFile(blob_.Path(), 0, std::string(image.begin(), image.end()));
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().Open(); }), err::BlobBuffersCorrupt);
  header.EndOffset = 2560;
  header.Version = 2;
  image = header.Encode();
  if (blob_.Encrypted()) {
    for (std::size_t i = 0; i < image.size(); ++i) image[i] ^= Keystream(0x3B, 0xA6, i);
  }
  PatchFile(blob_.Path(), 0, std::string(image.begin(), image.end()));
  EXPECT_EQ(ErrorCodeOf([&] { blob_.File().Open(); }), err::WrongVersion);
}

TEST_P(BlobDamage, FileShorterThanItsEndOffset) {
  blob_.File().Close();
  ::truncate(blob_.Path().c_str(), 1200);
  blob_.File().Open();
  EXPECT_EQ(OpenCode(), err::BlobBuffersCorrupt);
  EXPECT_EQ(OpenCode(2, 2048), err::BlobBuffersCorrupt);
  const TBlobCheck check = blob_.Verify({{1, 1, 512}, {2, 1, 2048}});
  EXPECT_FALSE(check.Ok());
  // No new block is placed past the end of a file cut short.
  const std::string before = blob_.FileBytes();
  EXPECT_EQ(ErrorCodeOf([&] { blob_.Post(3, 0, Pattern(10, 4)); }), err::BlobBuffersCorrupt);
  ExpectUnchanged(before);
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, BlobDamage, ::testing::Bool());

}  // namespace
}  // namespace quire::testing
