// The record cache's pins: unpinning all buffers reaches every pinned one
// however it was pinned and unpinned before, a pinned buffer is never
// reused, and buffers dropped from the cache leave nothing behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/RecordCache.h"

namespace quire {
namespace {

TEST(RecordCachePins, UnpinAllReachesEveryPinnedBuffer) {
  TRecordCache cache;
  cache.Configure(kRecordCacheBytes / 8);  // room for eight buffers
  ASSERT_EQ(cache.Capacity(), 8u);
  std::vector<TRecord*> records;
  for (std::uint32_t n = 1; n <= 8; ++n) records.push_back(cache.TakeFree(n));
  records[1]->Pin("T");
  records[3]->Pin("T");
  records[3]->Pin("T");
  records[5]->Pin("T");
  records[5]->Unpin();  // pinned and let go again
  records[6]->Pin("T");
  records[6]->ResetPins();
  records[7]->Pin("T");
  EXPECT_EQ(records[3]->PinCount(), 2);
  cache.UnpinAll();
  for (TRecord* record : records) EXPECT_EQ(record->PinCount(), 0) << record->Number();
  // Pins taken after it are counted afresh and reached by the next one.
  records[0]->Pin("T");
  records[2]->Pin("T");
  records[2]->Unpin();
  cache.UnpinAll();
  EXPECT_EQ(records[0]->PinCount(), 0);
  EXPECT_EQ(records[2]->PinCount(), 0);
}

TEST(RecordCachePins, PinnedBuffersAreNotReusedAndDroppedOnesLeaveNoTrace) {
  TRecordCache cache;
  cache.Configure(kRecordCacheBytes / 4);
  std::vector<TRecord*> records;
  for (std::uint32_t n = 1; n <= 4; ++n) records.push_back(cache.TakeFree(n));
  for (TRecord* record : records) record->Pin("T");
  EXPECT_EQ(cache.TakeFree(5), nullptr) << "every buffer pinned";
  records[0]->Unpin();
  TRecord* reused = cache.TakeFree(5);
  ASSERT_EQ(reused, records[0]);
  EXPECT_EQ(cache.Find(1), nullptr);
  EXPECT_EQ(cache.Find(5), reused);
  // Discarding forgets numbers and pins; the buffers are taken again.
  cache.DiscardAll();
  for (TRecord* record : records) {
    EXPECT_EQ(record->PinCount(), 0);
    EXPECT_EQ(record->Number(), 0u);
  }
  EXPECT_EQ(cache.Find(2), nullptr);
  TRecord* again = cache.TakeFree(9);
  ASSERT_NE(again, nullptr);
  for (const std::uint8_t byte : again->Bytes().subspan(9)) ASSERT_EQ(byte, 0) << "cleared";
  // Grown past its room and cut back, with pins coming and going: the
  // buffers cut are gone from the pinned list too (the sanitizer would see
  // a freed one touched).
  for (int i = 0; i < 3; ++i) cache.Grow();
  std::vector<TRecord*> extra;
  for (std::uint32_t n = 100; n < 120; ++n) {
    TRecord* record = cache.TakeFree(n);
    ASSERT_NE(record, nullptr);
    record->Pin("T");
    record->Unpin();
    extra.push_back(record);
  }
  extra.back()->Pin("T");
  cache.Trim();
  cache.UnpinAll();
  EXPECT_EQ(extra.back()->PinCount(), 0);
  cache.Clear();
  EXPECT_EQ(cache.Size(), 0u);
  cache.UnpinAll();
}

}  // namespace
}  // namespace quire
