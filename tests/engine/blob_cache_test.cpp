// The block cache: its size, read-ahead, write-back in runs, growth in
// buffered-change mode, pins, and what another user's change does to it.
#include <gtest/gtest.h>

#include "blob/BlobFile.h"
#include "blob/BlockCache.h"
#include "engine/Cipher.h"
#include "engine/ErrorCodes.h"
#include "support/BlobFiles.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

TEST(BlobCache, CapacityFollowsTheBlockSize) {
  EXPECT_EQ(BlobFileFixture(512).File().CacheCapacity(), 511u);
  EXPECT_EQ(BlobFileFixture(64).File().CacheCapacity(), 4095u);  // 262140 / 64
  EXPECT_EQ(BlockCacheCapacity(32), 4096u);                      // the upper limit
  EXPECT_EQ(BlobFileFixture(4096).File().CacheCapacity(), 63u);
}

TEST(BlobCache, ReadAheadFetchesTheRestOfAValueInFewReads) {
  BlobFileFixture blob(512);
  const Bytes value = Pattern(200 * 494);
  const std::int32_t first = blob.Post(1, 0, value);
  blob.Reopen();
  EXPECT_EQ(blob.File().BlockReads(), 0u);
  EXPECT_EQ(blob.Read(1, first), value);
  // The first block alone, then 127 blocks (65535 / 512) and the last 72.
  EXPECT_EQ(blob.File().BlockReads(), 3u);
  EXPECT_EQ(blob.File().CachedBlocks(), 200u);
  // Cached now: reading again reads nothing.
  EXPECT_EQ(blob.Read(1, first), value);
  EXPECT_EQ(blob.File().BlockReads(), 3u);
}

TEST(BlobCache, WriteBackWritesEachRunOfAdjacentBlocksOnce) {
  BlobFileFixture blob(512);
  const std::int32_t a = blob.Post(1, 0, Pattern(3 * 494), 1);  // 512..1536
  blob.Post(2, 0, Pattern(5), 1);                               // 2048
  const std::int32_t c = blob.Post(1, 0, Pattern(5), 2);        // 2560
  TBlobFile& file = blob.File();
  TBlobHandle ha = 0, hc = 0;
  ASSERT_EQ(file.OpenValue(a, 1, 1, ha), 0);
  ASSERT_EQ(file.OpenValue(c, 2, 1, hc), 0);
  ASSERT_EQ(file.WriteValue(ha, 0, 3, "new"), 0);
  ASSERT_EQ(file.WriteValue(hc, 0, 3, "new"), 0);
  file.SetOwner(1);
  file.WriteModifiedValues();
  const std::uint64_t before = file.BlockWrites();
  file.FlushBlocks();
  EXPECT_EQ(file.BlockWrites() - before, 2u);  // 512..1536, then 2560
  file.FlushBlocks();
  EXPECT_EQ(file.BlockWrites() - before, 2u);  // nothing left to write
}

TEST(BlobCache, BufferedModeGrowsTheCacheInsteadOfWriting) {
  BlobFileFixture blob(4096);
  TBlobFile& file = blob.File();
  file.SetTableLockHeld(true, true);
  const Bytes value = Pattern(100 * 4078);
  TBlobHandle handle = 0;
  ASSERT_EQ(file.OpenValue(0, 1, 1, handle), 0);
  ASSERT_EQ(file.WriteValue(handle, 0, static_cast<std::uint32_t>(value.size()), value.data()), 0);
  file.SetOwner(1);
  const std::int32_t first = file.WriteModifiedValues()[0].firstBlock;
  file.CloseAllValues();
  EXPECT_EQ(file.BlockWrites(), 0u);
  EXPECT_EQ(file.CachedBlocks(), 100u);
  EXPECT_EQ(file.CacheCapacity(), 63u + 256u);

  // Leaving the mode writes the blocks and cuts the cache back.
  file.SetTableLockHeld(false);
  EXPECT_GT(file.BlockWrites(), 0u);
  EXPECT_EQ(file.CacheCapacity(), 63u);
  EXPECT_LE(file.CachedBlocks(), 63u);
  file.WriteHeader();
  EXPECT_TRUE(blob.Verify({{1, 1, static_cast<std::uint32_t>(first)}}).Ok());
  blob.Reopen();
  EXPECT_EQ(blob.Read(1, first), value);
}

TEST(BlobCache, OutsideBufferedModeBlocksAreWrittenToMakeRoom) {
  BlobFileFixture blob(4096);
  const Bytes value = Pattern(100 * 4078);
  TBlobFile& file = blob.File();
  TBlobHandle handle = 0;
  ASSERT_EQ(file.OpenValue(0, 1, 1, handle), 0);
  ASSERT_EQ(file.WriteValue(handle, 0, static_cast<std::uint32_t>(value.size()), value.data()), 0);
  file.SetOwner(1);
  file.WriteModifiedValues();
  EXPECT_GT(file.BlockWrites(), 0u);
  EXPECT_LE(file.CachedBlocks(), 63u);
}

TEST(BlobCache, EveryBlockPinnedIs8963UnlessTheCacheMayGrow) {
  BlobFileFixture blob(4096);
  TBlockCache cache(blob.File(), 4096, false);
  for (std::uint32_t i = 0; i < 63; ++i) ASSERT_TRUE(cache.Create(512 + i * 4096).Pin());
  EXPECT_EQ(ErrorCodeOf([&] { cache.Create(512 + 63 * 4096); }), err::BlobBuffersCorrupt);
  cache.SetMayGrow(true);
  cache.Create(512 + 63 * 4096);
  EXPECT_EQ(cache.Capacity(), 63u + 256u);
  EXPECT_EQ(cache.Size(), 64u);

  TBlock& block = *cache.Find(512);
  for (int i = 1; i < kMaxBlockPins; ++i) ASSERT_TRUE(block.Pin());
  EXPECT_FALSE(block.Pin());
  cache.UnpinAll();
  EXPECT_EQ(block.PinCount(), 0);
}

TEST(BlobCache, AnotherUsersChangeIsSeen) {
  BlobFileFixture blob(512);
  blob.Reopen(false);
  TBlobFile other;
  blob.OpenOther(other);

  // Written after `other` read its header: the block lies past the end
  // offset it knows, so it checks for changes before it judges the offset.
  const Bytes first = Pattern(1000, 1);
  const std::int32_t reference = blob.Post(1, 0, first);
  TBlobHandle handle = 0;
  ASSERT_EQ(other.OpenValue(reference, 1, 1, handle), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(other.ValueSize(handle, size), 0);
  EXPECT_EQ(size, 1000u);
  std::int32_t ignored = 0;
  other.CloseValue(handle, ignored);

  // Rewritten in place: `other` still holds the old blocks until its table
  // runs the change check.
  const Bytes second = Pattern(1000, 2);
  blob.Post(1, reference, second);
  EXPECT_TRUE(other.CheckForChanges());
  EXPECT_EQ(other.CachedBlocks(), 0u);
  EXPECT_FALSE(other.CheckForChanges());
  ASSERT_EQ(other.OpenValue(reference, 1, 1, handle), 0);
  Bytes read(1000);
  std::uint32_t copied = 0;
  EXPECT_EQ(other.ReadValue(handle, 0, 1000, read.data(), copied), 0);
  EXPECT_EQ(read, second);
}

TEST(BlobCache, EncryptedBlocksAreTwoRunsAndTheHeaderOne) {
  BlobFileFixture plain(512, false);
  BlobFileFixture encrypted(512, true);
  for (BlobFileFixture* blob : {&plain, &encrypted}) {
    const std::int32_t first = blob->Post(4, 0, Pattern(3 * 494));
    blob->Post(4, first, Pattern(100, 2));  // frees two blocks: a free chain
  }
  const std::string p = plain.FileBytes();
  const std::string e = encrypted.FileBytes();
  ASSERT_EQ(p.size(), e.size());
  ASSERT_EQ(p.size(), 512u + 3 * 512);
  const auto keystream = [](std::size_t i) {
    return Keystream(kDataCipherSeeds.first, kDataCipherSeeds.second, i);
  };
  for (std::size_t i = 0; i < 512; ++i) {
    ASSERT_EQ(static_cast<std::uint8_t>(e[i]), static_cast<std::uint8_t>(p[i]) ^ keystream(i))
        << "header byte " << i;
  }
  for (std::size_t at = 512; at < p.size(); ++at) {
    const std::size_t inBlock = (at - 512) % 512;
    const std::size_t run = inBlock < 18 ? inBlock : inBlock - 18;
    ASSERT_EQ(static_cast<std::uint8_t>(e[at]), static_cast<std::uint8_t>(p[at]) ^ keystream(run))
        << "byte " << at;
  }
}

}  // namespace
}  // namespace quire::testing
