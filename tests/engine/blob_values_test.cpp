// Blob values through TBlobFile: where blocks go, what the file holds, and
// the result codes of the value operations.
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

TEST(BlobValues, EmptyValueHasNoBlocks) {
  BlobFileFixture blob;
  EXPECT_EQ(blob.Post(1, 0, {}), 0);
  EXPECT_EQ(blob.File().Header().EndOffset, 512u);
  EXPECT_EQ(blob.FileBytes().size(), 512u);
  EXPECT_TRUE(blob.Read(1, 0).empty());
}

TEST(BlobValues, FirstBlocksAt512And1024) {
  BlobFileFixture blob;
  EXPECT_EQ(blob.Post(1, 0, Pattern(10, 1)), 512);
  EXPECT_EQ(blob.Post(2, 0, Pattern(10, 2)), 1024);
  EXPECT_EQ(blob.File().Header().EndOffset, 1536u);
  EXPECT_EQ(blob.FileBytes().size(), 1536u);
}

TEST(BlobValues, ExactMultipleOfPayloadFillsEveryBlock) {
  BlobFileFixture blob;
  const Bytes value = Pattern(3 * kPayload);
  EXPECT_EQ(blob.Post(7, 0, value), 512);
  EXPECT_EQ(blob.File().Header().EndOffset, 512u + 3 * kB);

  const RawBlock first = blob.Block(512);
  EXPECT_EQ(first.previous, 0u);
  EXPECT_EQ(first.next, 1024u);
  EXPECT_EQ(first.usedBytes, kPayload);
  EXPECT_EQ(first.owner, 7u);
  EXPECT_EQ(first.valueLength, static_cast<std::int32_t>(value.size()));
  EXPECT_EQ(first.payload, Bytes(value.begin(), value.begin() + kPayload));

  const RawBlock middle = blob.Block(1024);
  EXPECT_EQ(middle.previous, 512u);
  EXPECT_EQ(middle.next, 1536u);
  EXPECT_EQ(middle.valueLength, 0);
  EXPECT_EQ(middle.owner, 7u);

  const RawBlock last = blob.Block(1536);
  EXPECT_EQ(last.previous, 1024u);
  EXPECT_EQ(last.next, 0u);
  EXPECT_EQ(last.usedBytes, kPayload);
  EXPECT_EQ(last.payload, Bytes(value.end() - kPayload, value.end()));
  EXPECT_EQ(blob.Read(7, 512), value);
}

TEST(BlobValues, OneByteMoreTakesAnotherBlockWithOneByteUsed) {
  BlobFileFixture blob;
  const Bytes value = Pattern(kPayload + 1);
  EXPECT_EQ(blob.Post(1, 0, value), 512);
  EXPECT_EQ(blob.Block(1024).usedBytes, 1u);
  EXPECT_EQ(blob.Block(1024).payload[0], value.back());
  EXPECT_EQ(blob.Block(1024).payload[1], 0);  // a new block is cleared
  EXPECT_EQ(blob.Read(1, 512), value);
}

TEST(BlobValues, ShrinkingThreeBlocksToOneFreesTheTailInChainOrder) {
  BlobFileFixture blob;
  const std::int32_t first = blob.Post(3, 0, Pattern(3 * kPayload - 5));
  const Bytes small = Pattern(20, 9);
  EXPECT_EQ(blob.Post(3, first, small), 512);

  // The third block was freed last, so it heads the free chain.
  EXPECT_EQ(blob.File().Header().FreeBlockHead, 1536u);
  EXPECT_EQ(blob.Block(1536).next, 1024u);
  EXPECT_EQ(blob.Block(1024).next, 0u);
  // Freed blocks keep the rest of their header.
  EXPECT_EQ(blob.Block(1536).previous, 1024u);
  EXPECT_EQ(blob.Block(1536).owner, 3u);
  const RawBlock kept = blob.Block(512);
  EXPECT_EQ(kept.next, 0u);
  EXPECT_EQ(kept.usedBytes, 20u);
  EXPECT_EQ(kept.valueLength, 20);
  EXPECT_EQ(blob.Read(3, 512), small);

  // The next value takes the head first, then the block after it.
  EXPECT_EQ(blob.Post(4, 0, Pattern(2 * kPayload)), 1536);
  EXPECT_EQ(blob.Block(1536).next, 1024u);
  EXPECT_EQ(blob.Block(1024).previous, 1536u);
  EXPECT_EQ(blob.Block(1024).owner, 4u);
  EXPECT_EQ(blob.File().Header().FreeBlockHead, 0u);
  EXPECT_EQ(blob.File().Header().EndOffset, 2048u);
}

TEST(BlobValues, WritingNothingFreesTheWholeChain) {
  BlobFileFixture blob;
  const std::int32_t first = blob.Post(5, 0, Pattern(2 * kPayload));
  EXPECT_EQ(blob.Post(5, first, {}), 0);
  EXPECT_EQ(blob.File().Header().FreeBlockHead, 1024u);
  EXPECT_EQ(blob.Block(1024).next, 512u);
  EXPECT_EQ(blob.Block(512).next, 0u);
  EXPECT_TRUE(blob.Verify({}).Ok());
}

TEST(BlobValues, GrowingReusesTheChainThenTakesFreeBlocksThenTheEnd) {
  BlobFileFixture blob;
  const std::int32_t a = blob.Post(1, 0, Pattern(kPayload));     // 512
  const std::int32_t b = blob.Post(2, 0, Pattern(kPayload, 2));  // 1024
  blob.File().FreeValue(b, 2);
  blob.File().FlushBlocks();
  blob.File().WriteHeader();
  const Bytes grown = Pattern(3 * kPayload, 3);
  EXPECT_EQ(blob.Post(1, a, grown), a);
  EXPECT_EQ(blob.Block(512).next, 1024u);
  EXPECT_EQ(blob.Block(1024).next, 1536u);
  EXPECT_EQ(blob.Block(1024).owner, 1u);
  EXPECT_EQ(blob.Read(1, a), grown);
  EXPECT_TRUE(blob.Verify({{1, 1, 512}}).Ok());
}

TEST(BlobValues, ReusedLastBlockKeepsItsOldTail) {
  BlobFileFixture blob;
  const Bytes big = Pattern(100, 1);
  const std::int32_t first = blob.Post(1, 0, big);
  blob.Post(1, first, Pattern(10, 2));
  const RawBlock block = blob.Block(512);
  EXPECT_EQ(block.usedBytes, 10u);
  // Bytes past the used count stay as the earlier value left them.
  EXPECT_EQ(Bytes(block.payload.begin() + 10, block.payload.begin() + 100),
            Bytes(big.begin() + 10, big.end()));
}

TEST(BlobValues, ShortReadAtTheEndReturns8711) {
  BlobFileFixture blob;
  const Bytes value = Pattern(1000);
  const std::int32_t first = blob.Post(1, 0, value);
  TBlobHandle handle = 0;
  ASSERT_EQ(blob.File().OpenValue(first, 1, 1, handle), 0);
  Bytes out(10, 0xEE);
  std::uint32_t copied = 99;
  EXPECT_EQ(blob.File().ReadValue(handle, 996, 10, out.data(), copied), err::EndOfBlob);
  EXPECT_EQ(copied, 4u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Bytes(value.end() - 4, value.end()));
  EXPECT_EQ(out[4], 0xEE);
  EXPECT_EQ(blob.File().ReadValue(handle, 1000, 1, out.data(), copied), err::EndOfBlob);
  EXPECT_EQ(copied, 0u);
  EXPECT_EQ(blob.File().ReadValue(handle, 5000, 1, out.data(), copied), err::EndOfBlob);
  EXPECT_EQ(copied, 0u);
  EXPECT_EQ(blob.File().ReadValue(handle, 990, 10, out.data(), copied), 0);
  EXPECT_EQ(copied, 10u);
  // offset + count past 2^32 is a read past the end, not a wrap-around.
  EXPECT_EQ(blob.File().ReadValue(handle, 998, 0xFFFFFFFFu, out.data(), copied), err::EndOfBlob);
  EXPECT_EQ(copied, 2u);
}

TEST(BlobValues, WriteGrowsTruncateCutsAndBothMarkTheValueForThePost) {
  BlobFileFixture blob;
  TBlobFile& file = blob.File();
  TBlobHandle handle = 0;
  ASSERT_EQ(file.OpenValue(0, 2, 1, handle), 0);
  EXPECT_GT(handle, 0);
  const Bytes tail = Pattern(5);
  ASSERT_EQ(file.WriteValue(handle, 600, 5, tail.data()), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(file.ValueSize(handle, size), 0);
  EXPECT_EQ(size, 605u);
  ASSERT_EQ(file.TruncateValue(handle, 602), 0);
  ASSERT_EQ(file.ValueSize(handle, size), 0);
  EXPECT_EQ(size, 602u);
  file.SetOwner(9);
  const auto references = file.WriteModifiedValues();
  ASSERT_EQ(references.size(), 1u);
  EXPECT_EQ(references[0].field, 2);
  EXPECT_EQ(references[0].firstBlock, 512);
  file.FlushBlocks();
  file.WriteHeader();
  file.CloseAllValues();

  Bytes expected(602, 0);
  std::copy(tail.begin(), tail.begin() + 2, expected.begin() + 600);
  EXPECT_EQ(blob.Read(9, 512), expected);
  EXPECT_EQ(blob.Block(512).owner, 9u);
}

TEST(BlobValues, UnmodifiedValuesAreNotRewritten) {
  BlobFileFixture blob;
  const std::int32_t first = blob.Post(1, 0, Pattern(50));
  const std::string before = blob.FileBytes();
  TBlobHandle handle = 0;
  ASSERT_EQ(blob.File().OpenValue(first, 1, 1, handle), 0);
  blob.File().SetOwner(1);
  const auto references = blob.File().WriteModifiedValues();
  ASSERT_EQ(references.size(), 1u);
  EXPECT_EQ(references[0].firstBlock, first);
  blob.File().FlushBlocks();
  blob.File().WriteHeader();
  EXPECT_EQ(blob.FileBytes(), before);
}

TEST(BlobValues, HandleCodes) {
  BlobFileFixture blob;
  TBlobFile& file = blob.File();
  std::vector<TBlobHandle> handles;
  for (std::size_t i = 0; i < kMaxOpenBlobs; ++i) {
    TBlobHandle handle = 0;
    ASSERT_EQ(file.OpenValue(0, 1, static_cast<std::uint32_t>(i + 1), handle), 0);
    handles.push_back(handle);
  }
  TBlobHandle extra = 0;
  EXPECT_EQ(file.OpenValue(0, 1, 99, extra), err::TooManyBlobsOpen);
  EXPECT_EQ(file.OpenValueCount(), kMaxOpenBlobs);

  std::int32_t reference = -1;
  EXPECT_EQ(file.CloseValue(handles[0], reference), 0);
  EXPECT_EQ(reference, 0);
  EXPECT_FALSE(file.IsValueOpen(handles[0]));
  EXPECT_EQ(file.CloseValue(handles[0], reference), err::InvalidBlobHandle);
  std::uint32_t size = 0;
  EXPECT_EQ(file.ValueSize(handles[0], size), err::InvalidBlobHandle);
  EXPECT_EQ(file.WriteValue(handles[0], 0, 1, "x"), err::InvalidBlobHandle);
  EXPECT_EQ(file.TruncateValue(handles[0], 0), err::InvalidBlobHandle);
  std::uint32_t copied = 7;
  EXPECT_EQ(file.ReadValue(handles[0], 0, 1, &size, copied), err::InvalidBlobHandle);
  EXPECT_EQ(copied, 0u);

  // A freed slot is usable again, under a handle of its own: the stale one
  // still names nothing.
  TBlobHandle again = 0;
  EXPECT_EQ(file.OpenValue(0, 1, 100, again), 0);
  EXPECT_NE(again, handles[0]);
  EXPECT_FALSE(file.IsValueOpen(handles[0]));
  EXPECT_TRUE(file.IsValueOpen(again));
  file.CloseAllValues();
  EXPECT_EQ(file.OpenValueCount(), 0u);
  EXPECT_EQ(file.OpenValue(-3, 1, 1, extra), err::InvalidBlobOffset);
}

TEST(BlobValues, LengthsBeyondTheLimitAre10029) {
  BlobFileFixture blob;
  TBlobHandle handle = 0;
  ASSERT_EQ(blob.File().OpenValue(0, 1, 1, handle), 0);
  EXPECT_EQ(blob.File().TruncateValue(handle, kMaxBlobLength + 1u), err::InvalidBlobLength);
  EXPECT_EQ(blob.File().WriteValue(handle, kMaxBlobLength, 1, "x"), err::InvalidBlobLength);
  std::uint32_t size = 1;
  EXPECT_EQ(blob.File().ValueSize(handle, size), 0);
  EXPECT_EQ(size, 0u);
}

TEST(BlobValues, ModifiedValuesOfTwoRecordsIn1PostAre8963) {
  BlobFileFixture blob;
  TBlobFile& file = blob.File();
  TBlobHandle a = 0, b = 0;
  ASSERT_EQ(file.OpenValue(0, 1, 1, a), 0);
  ASSERT_EQ(file.OpenValue(0, 2, 2, b), 0);
  ASSERT_EQ(file.WriteValue(a, 0, 1, "a"), 0);
  ASSERT_EQ(file.WriteValue(b, 0, 1, "b"), 0);
  EXPECT_EQ(ErrorCodeOf([&] { file.WriteModifiedValues(); }), err::BlobBuffersCorrupt);
  EXPECT_EQ(file.Header().EndOffset, 512u);
  // SetOwner makes them one record's values.
  file.SetOwner(3);
  const auto references = file.WriteModifiedValues();
  ASSERT_EQ(references.size(), 2u);
  EXPECT_EQ(references[0].firstBlock, 512);
  EXPECT_EQ(references[1].firstBlock, 1024);
}

TEST(BlobValues, ClosingWithoutPostingDiscardsChanges) {
  BlobFileFixture blob;
  const Bytes value = Pattern(30);
  const std::int32_t first = blob.Post(1, 0, value);
  TBlobHandle handle = 0;
  ASSERT_EQ(blob.File().OpenValue(first, 1, 1, handle), 0);
  ASSERT_EQ(blob.File().TruncateValue(handle, 3), 0);
  std::int32_t reference = 0;
  ASSERT_EQ(blob.File().CloseValue(handle, reference), 0);
  EXPECT_EQ(reference, first);
  EXPECT_EQ(blob.Read(1, first), value);
}

TEST(BlobValues, FreeValueOfADeletedRecord) {
  BlobFileFixture blob;
  const std::int32_t a = blob.Post(1, 0, Pattern(2 * kPayload + 1));
  const std::int32_t b = blob.Post(1, 0, Pattern(10), 2);
  blob.File().FreeValue(a, 1);
  blob.File().FreeValue(b, 1);
  blob.File().FreeValue(0, 1);
  blob.File().FlushBlocks();
  blob.File().WriteHeader();
  EXPECT_EQ(blob.File().Header().FreeBlockHead, static_cast<std::uint32_t>(b));
  const TBlobCheck check = blob.Verify({});
  EXPECT_TRUE(check.Ok());
  EXPECT_EQ(check.freeBlocks, 4u);
  EXPECT_EQ(check.valueBlocks, 0u);
}

TEST(BlobValues, EachPostMovesTheChangeCounter) {
  BlobFileFixture blob;
  const std::int32_t before = blob.File().Header().ChangeCount;
  const std::int32_t first = blob.Post(1, 0, Pattern(30));
  EXPECT_EQ(blob.File().Header().ChangeCount, before + 1);
  // Same length, same chain: only block contents change, yet other users
  // must learn of it.
  blob.Post(1, first, Pattern(30, 2));
  EXPECT_EQ(blob.File().Header().ChangeCount, before + 2);
}

TEST(BlobValues, ValuesSurviveReopen) {
  for (const std::uint32_t blockSize : {64u, 512u, 4096u}) {
    BlobFileFixture blob(blockSize);
    std::vector<std::pair<std::int32_t, Bytes>> stored;
    for (const std::size_t size : {0u, 1u, 46u, 47u, 1000u, 65536u, 4u << 20}) {
      Bytes value = Pattern(size, static_cast<std::uint32_t>(size));
      stored.emplace_back(blob.Post(static_cast<std::uint32_t>(stored.size() + 1), 0, value),
                          std::move(value));
    }
    blob.Reopen();
    for (std::size_t i = 0; i < stored.size(); ++i) {
      EXPECT_EQ(blob.Read(static_cast<std::uint32_t>(i + 1), stored[i].first), stored[i].second)
          << "block size " << blockSize << ", value " << i;
    }
  }
}

TEST(BlobValues, FullFileIs9479AndChangesNothing) {
  BlobFileFixture blob;
  blob.File().Close();
  // The header claims blocks up to 2,000,000,000: one more block may go
  // there, none beyond.
  TBlobHeader header;
  header.EndOffset = 2000000000u - kB;
  const auto image = header.Encode();
  PatchFile(blob.Path(), 0, std::string(image.begin(), image.end()));
  // As long as the header says (a hole: nothing is stored), or the file
  // counts as cut short and takes no new block at all.
  ASSERT_EQ(::truncate(blob.Path().c_str(), 2000000000 - kB), 0);
  blob.File().Open();
  TBlobHandle handle = 0;
  ASSERT_EQ(blob.File().OpenValue(0, 1, 1, handle), 0);
  const Bytes value = Pattern(3 * kPayload);
  ASSERT_EQ(
      blob.File().WriteValue(handle, 0, static_cast<std::uint32_t>(value.size()), value.data()), 0);
  EXPECT_EQ(ErrorCodeOf([&] { blob.File().WriteModifiedValues(); }), err::FileFull);
  EXPECT_EQ(blob.File().Header().EndOffset, 2000000000u - kB);
  // Two blocks still fit: at 2,000,000,000 - B and at 2,000,000,000.
  ASSERT_EQ(blob.File().TruncateValue(handle, 2 * kPayload), 0);
  const auto references = blob.File().WriteModifiedValues();
  EXPECT_EQ(references[0].firstBlock, static_cast<std::int32_t>(2000000000u - kB));
  EXPECT_EQ(blob.File().Header().EndOffset, 2000000000u + kB);
  blob.File().CloseAllValues();
  blob.File().Invalidate();  // keep the sparse giant off the disk
}

}  // namespace
}  // namespace quire::testing
