// Engine buffers: zero-filled, and 11016 when a request cannot be met.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/Allocator.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

using testing::EngineScope;

bool AllZero(const TEngineBuffer& buffer) {
  return std::all_of(buffer.data(), buffer.data() + buffer.size(),
                     [](std::uint8_t byte) { return byte == 0; });
}

TEST(EngineBuffer, NewBuffersAreZeroFilled) {
  for (std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{65535 * 3}}) {
    TEngineBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    ASSERT_NE(buffer.data(), nullptr);
    EXPECT_TRUE(AllZero(buffer)) << size;
  }
}

TEST(EngineBuffer, SizeZeroIsEmptyAndNoFailure) {
  TEngineBuffer buffer(0);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.span().size(), 0u);
}

TEST(EngineBuffer, ResizeKeepsTheBytesAndZeroFillsTheGrowth) {
  TEngineBuffer buffer(100);
  for (std::size_t i = 0; i < 100; ++i) buffer.data()[i] = static_cast<std::uint8_t>(i + 1);
  buffer.Resize(5000);
  ASSERT_EQ(buffer.size(), 5000u);
  for (std::size_t i = 0; i < 100; ++i) ASSERT_EQ(buffer.data()[i], i + 1);
  for (std::size_t i = 100; i < 5000; ++i) ASSERT_EQ(buffer.data()[i], 0) << i;

  buffer.Resize(10);
  ASSERT_EQ(buffer.size(), 10u);
  EXPECT_EQ(buffer.data()[9], 10);
  buffer.Resize(20);
  EXPECT_EQ(buffer.data()[10], 0);  // what was cut off does not come back
  buffer.Resize(0);
  EXPECT_TRUE(buffer.empty());
}

TEST(EngineBuffer, ImpossibleRequestRaises11016WithEmptyTexts) {
  EngineScope engine;
  try {
    RaiseEngineError(err::ReadError, "/d/Song.DAT", "Title");
  } catch (const EQuireEngineError&) {
  }
  for (std::size_t size : {std::numeric_limits<std::size_t>::max(), kMaxEngineBufferSize + 1}) {
    try {
      TEngineBuffer buffer(size);
      ADD_FAILURE() << "a buffer of " << size << " bytes was made";
    } catch (const EQuireEngineError& error) {
      EXPECT_EQ(error.Message(),
                "Quire Engine Error # 11016 There is insufficient operating system memory "
                "available for the current operation");
    }
    const TErrorContext& context = CurrentSession().ErrorContext();
    EXPECT_EQ(context.code, err::OutOfMemory);
    EXPECT_EQ(context.fileName, "");
    EXPECT_EQ(context.fieldText, "");
  }
}

TEST(EngineBuffer, FailedResizeLeavesTheBuffer) {
  EngineScope engine;
  TEngineBuffer buffer(16);
  buffer.data()[3] = 0x5A;
  EXPECT_THROW(buffer.Resize(kMaxEngineBufferSize + 1), EQuireEngineError);
  ASSERT_EQ(buffer.size(), 16u);
  EXPECT_EQ(buffer.data()[3], 0x5A);
}

TEST(EngineBuffer, MovingHandsOverTheBytes) {
  TEngineBuffer source(8);
  source.data()[0] = 7;
  TEngineBuffer target = std::move(source);
  EXPECT_EQ(target.size(), 8u);
  EXPECT_EQ(target.data()[0], 7);
  EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): checks the moved-from state
  EXPECT_EQ(source.span().size(), 0u);
}

}  // namespace
}  // namespace quire
