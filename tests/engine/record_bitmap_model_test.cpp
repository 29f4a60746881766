// TRecordBitmap against a plain vector of flags: random operations over
// bitmaps that hold few records, all but a few, or many, so that the listed
// forms, their complements and the words all meet each other in And and Or,
// across resizes and the switch from a list to words.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "index/RecordBitmap.h"

namespace quire {
namespace {

// The same records as a vector of flags (index 0 unused).
struct TModel {
  std::vector<bool> bits{false};

  std::uint32_t Slots() const { return static_cast<std::uint32_t>(bits.size() - 1); }
  void Resize(std::uint32_t slots) { bits.resize(std::size_t{slots} + 1, false); }
  std::int32_t Count() const {
    std::int32_t count = 0;
    for (std::size_t r = 1; r < bits.size(); ++r) count += bits[r] ? 1 : 0;
    return count;
  }
  bool Test(std::uint32_t r) const { return r >= 1 && r <= Slots() && bits[r]; }
};

void ExpectSame(const TRecordBitmap& bitmap, const TModel& model, const char* step) {
  SCOPED_TRACE(step);
  ASSERT_EQ(bitmap.Slots(), model.Slots());
  ASSERT_EQ(bitmap.Count(), model.Count());
  std::vector<std::uint32_t> set;
  for (std::uint32_t r = 1; r <= model.Slots(); ++r) {
    ASSERT_EQ(bitmap.Test(r), model.Test(r)) << "record " << r;
    if (model.Test(r)) set.push_back(r);
  }
  EXPECT_FALSE(bitmap.Test(0));
  EXPECT_FALSE(bitmap.Test(model.Slots() + 1));
  // Walks both ways, positions and ranks.
  std::vector<std::uint32_t> forward;
  for (std::uint32_t r = bitmap.NextSet(0); r != 0; r = bitmap.NextSet(r)) forward.push_back(r);
  ASSERT_EQ(forward, set);
  std::vector<std::uint32_t> backward;
  for (std::uint32_t r = bitmap.PriorSet(0); r != 0; r = bitmap.PriorSet(r))
    backward.insert(backward.begin(), r);
  ASSERT_EQ(backward, set);
  for (std::size_t n = 0; n < set.size(); ++n)
    ASSERT_EQ(bitmap.NthSet(static_cast<std::int32_t>(n + 1)), set[n]) << "n " << n + 1;
  EXPECT_EQ(bitmap.NthSet(0), 0u);
  EXPECT_EQ(bitmap.NthSet(static_cast<std::int32_t>(set.size()) + 1), 0u);
  std::int32_t rank = 0;
  for (std::uint32_t r = 1; r <= model.Slots(); ++r) {
    if (model.Test(r)) ++rank;
    ASSERT_EQ(bitmap.RankOf(r), rank) << "record " << r;
  }
  EXPECT_EQ(bitmap.RankOf(0), 0);
  EXPECT_EQ(bitmap.RankOf(model.Slots() + 5), rank);
}

// A bitmap of `slots` records in one of the shapes a table makes: a few
// records, all but a few, or about half of them.
void MakeShaped(std::mt19937& random, std::uint32_t slots, TRecordBitmap& bitmap, TModel& model) {
  bitmap = TRecordBitmap();
  bitmap.Resize(slots);
  model = TModel();
  model.Resize(slots);
  const int shape = static_cast<int>(random() % 3);
  const std::uint32_t few = slots == 0 ? 0 : random() % (slots / 20 + 3);
  if (shape == 1) {
    bitmap.SetAll();
    for (std::uint32_t r = 1; r <= slots; ++r) model.bits[r] = true;
  }
  const std::uint32_t changes = shape == 2 ? slots / 2 : few;
  for (std::uint32_t i = 0; i < changes && slots > 0; ++i) {
    const std::uint32_t r = 1 + random() % slots;
    const bool value = shape == 0 ? true : shape == 1 ? false : (random() & 1) != 0;
    bitmap.Set(r, value);
    model.bits[r] = value;
  }
}

TEST(RecordBitmapModel, RandomOperationsAgreeWithFlags) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const std::uint32_t sizes[] = {0, 1, 63, 64, 65, 200, 1000, 5000, 9000};
    const std::uint32_t slots = sizes[random() % std::size(sizes)];
    TRecordBitmap bitmap;
    TModel model;
    MakeShaped(random, slots, bitmap, model);
    ExpectSame(bitmap, model, "shaped");
    for (int step = 0; step < 6; ++step) {
      TRecordBitmap other;
      TModel theirs;
      // The other side sometimes has fewer or more slots.
      std::uint32_t otherSlots = slots;
      if (random() % 3 == 0) otherSlots = slots / 2 + random() % (slots + 2);
      MakeShaped(random, otherSlots, other, theirs);
      switch (random() % 6) {
        case 0:
          bitmap.And(other);
          for (std::uint32_t r = 1; r <= model.Slots(); ++r)
            model.bits[r] = model.bits[r] && theirs.Test(r);
          ExpectSame(bitmap, model, "and");
          break;
        case 1:
          bitmap.Or(other);
          for (std::uint32_t r = 1; r <= model.Slots(); ++r)
            model.bits[r] = model.bits[r] || theirs.Test(r);
          ExpectSame(bitmap, model, "or");
          break;
        case 2:
          bitmap.Invert();
          for (std::uint32_t r = 1; r <= model.Slots(); ++r) model.bits[r] = !model.bits[r];
          ExpectSame(bitmap, model, "invert");
          break;
        case 3: {
          // Grows: the new records are clear, whatever the shape.
          const std::uint32_t grown = model.Slots() + random() % 300;
          bitmap.Resize(grown);
          model.Resize(grown);
          ExpectSame(bitmap, model, "grow");
          break;
        }
        case 4: {
          const std::uint32_t cut = model.Slots() == 0 ? 0 : random() % model.Slots();
          bitmap.Resize(cut);
          model.bits.resize(std::size_t{cut} + 1);
          ExpectSame(bitmap, model, "shrink");
          break;
        }
        default:
          for (int i = 0; i < 40 && model.Slots() > 0; ++i) {
            const std::uint32_t r = 1 + random() % model.Slots();
            const bool value = (random() & 1) != 0;
            bitmap.Set(r, value);
            model.bits[r] = value;
          }
          ExpectSame(bitmap, model, "set");
          break;
      }
      if (HasFatalFailure()) return;
    }
  }
}

TEST(RecordBitmapModel, FillClearAndEdgesOfEachForm) {
  TRecordBitmap bitmap;
  bitmap.Resize(10000);
  bitmap.SetAll();
  EXPECT_EQ(bitmap.Count(), 10000);
  EXPECT_EQ(bitmap.NextSet(0), 1u);
  EXPECT_EQ(bitmap.PriorSet(0), 10000u);
  EXPECT_EQ(bitmap.NthSet(10000), 10000u);
  // All but the first three and the last: the walks skip them.
  for (std::uint32_t r : {1u, 2u, 3u, 10000u}) bitmap.Set(r, false);
  EXPECT_EQ(bitmap.Count(), 9996);
  EXPECT_EQ(bitmap.NextSet(0), 4u);
  EXPECT_EQ(bitmap.PriorSet(0), 9999u);
  EXPECT_EQ(bitmap.NthSet(1), 4u);
  EXPECT_EQ(bitmap.RankOf(4), 1);
  EXPECT_EQ(bitmap.PriorSet(4), 0u);
  EXPECT_EQ(bitmap.NextSet(9999), 0u);
  // Growing a full bitmap leaves the new records clear.
  bitmap.Resize(10010);
  EXPECT_FALSE(bitmap.Test(10005));
  EXPECT_EQ(bitmap.Count(), 9996);
  bitmap.Invert();
  EXPECT_EQ(bitmap.Count(), 14);
  EXPECT_TRUE(bitmap.Test(10005));
  EXPECT_TRUE(bitmap.Test(2));
  bitmap.Clear();
  EXPECT_EQ(bitmap.Count(), 0);
  EXPECT_EQ(bitmap.Slots(), 10010u);
  EXPECT_EQ(bitmap.NextSet(0), 0u);
  EXPECT_EQ(bitmap.PriorSet(0), 0u);
  // Many single records set in random order end up as words and still
  // answer the same.
  std::mt19937 random(7);
  TModel model;
  model.Resize(10010);
  for (int i = 0; i < 3000; ++i) {
    const std::uint32_t r = 1 + random() % 10010;
    bitmap.Set(r, true);
    model.bits[r] = true;
  }
  ExpectSame(bitmap, model, "many set");
}

}  // namespace
}  // namespace quire
