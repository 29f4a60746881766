// Cursor walks, counts, jumps and finds in every order, checked against a
// model of the table after random inserts, changes and deletes, with random
// key ranges and random callback filters, on tables with and without a
// primary index, shared and exclusive.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/DataFile.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::CompareSongs;
using testing::SongRow;

// A filter of the model: passes the codes whose remainder by `modulus` is
// not `remainder`.
struct ModelFilter {
  TFilterHandle handle = 0;
  int modulus = 2;
  int remainder = 0;
  bool active = false;
};

// The order under test: an index with an optional range, or physical order.
struct Order {
  std::uint8_t index = 0;
  bool ranged = false;
  std::optional<SongRow> from;  // open end when empty
  std::optional<SongRow> to;
};

class CursorModel : public ::testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  void SetUp() override {
    primary_ = std::get<0>(GetParam());
    testing::CreateSongTable(dir_.Path("t"), primary_);
    table_.SetFileName(dir_.Path("t"));
    table_.SetExclusive(std::get<1>(GetParam()));
    table_.Open();
  }

  std::string RandomName() {
    static const char* names[] = {"", "ANNA", "BEN", "CARL", "DORA", "EVE", "FINN", "GUS"};
    return names[random_() % 8];
  }

  std::int32_t UnusedCode() {
    for (;;) {
      const auto code = static_cast<std::int32_t>(random_() % 4000) - 1000;
      if (std::none_of(rows_.begin(), rows_.end(),
                       [code](const auto& r) { return r.second.code == code; }))
        return code;
    }
  }

  void Insert() {
    const SongRow row = testing::InsertSong(table_, UnusedCode(), RandomName());
    ASSERT_EQ(rows_.count(row.slot), 0u);
    rows_[row.slot] = row;
  }

  std::uint32_t RandomSlot() {
    auto it = rows_.begin();
    std::advance(it, static_cast<long>(random_() % rows_.size()));
    return it->first;
  }

  void Delete() {
    const std::uint32_t slot = RandomSlot();
    ASSERT_TRUE(table_.GoToRecord(slot));
    table_.DeleteRecord();
    rows_.erase(slot);
  }

  void Modify() {
    const std::uint32_t slot = RandomSlot();
    ASSERT_TRUE(table_.GoToRecord(slot));
    SongRow& row = rows_[slot];
    row.code = UnusedCode();
    row.name = RandomName();
    auto buffer = testing::SongBuffer(table_, row.code, row.name);
    table_.ModifyRecord(buffer);
  }

  void ChangeRecords(int count) {
    for (int i = 0; i < count; ++i) {
      const auto pick = random_() % 10;
      if (rows_.empty() || pick < 6) {
        Insert();
      } else if (pick < 9) {
        Delete();
      } else {
        Modify();
      }
    }
  }

  void ChangeFilters() {
    switch (random_() % 5) {
      case 0:
        if (filters_.size() < 3) {
          ModelFilter filter{0, 2 + static_cast<int>(random_() % 4), 0, false};
          filter.remainder = static_cast<int>(random_() % filter.modulus);
          filter.handle =
              table_.InstallFilter([this, m = filter.modulus, r = filter.remainder](
                                       std::span<const std::uint8_t> record, std::uint32_t) {
                return Pass(testing::SongCode(table_, record), m, r);
              });
          filters_.push_back(filter);
        }
        break;
      case 1:
        if (!filters_.empty()) {
          ModelFilter& filter = filters_[random_() % filters_.size()];
          filter.active = !filter.active;
          if (filter.active) {
            table_.ActivateFilter(filter.handle);
          } else {
            table_.DeactivateFilter(filter.handle);
          }
        }
        break;
      case 2:
        if (random_() % 3 == 0) {
          table_.RemoveAllFilters();
          filters_.clear();
        }
        break;
      default:
        break;  // as they were
    }
  }

  static bool Pass(std::int32_t code, int modulus, int remainder) {
    return ((code % modulus) + modulus) % modulus != remainder;
  }

  bool Visible(const SongRow& row) const {
    return std::all_of(filters_.begin(), filters_.end(), [&](const ModelFilter& f) {
      return !f.active || Pass(row.code, f.modulus, f.remainder);
    });
  }

  bool AnyFilterActive() const {
    return std::any_of(filters_.begin(), filters_.end(), [](const auto& f) { return f.active; });
  }

  bool Physical() const {
    return order_.index == kPhysicalOrder || (order_.index == 0 && !primary_);
  }

  SongRow RandomBound() {
    SongRow bound;
    if (!rows_.empty() && random_() % 2 == 0) {
      bound = rows_[RandomSlot()];  // on a key
    } else {
      bound.code = static_cast<std::int32_t>(random_() % 4000) - 1000;
      bound.name = RandomName();
    }
    return bound;
  }

  void ChangeOrder() {
    static const std::uint8_t orders[] = {0, testing::kByName, testing::kByCodeDown,
                                          kPhysicalOrder};
    order_ = Order();
    order_.index = orders[random_() % 4];
    table_.SelectIndex(order_.index);
    if (Physical() || random_() % 3 == 0) return;
    order_.ranged = true;
    if (random_() % 5 != 0) order_.from = RandomBound();
    if (random_() % 5 != 0) order_.to = RandomBound();
    const auto buffer = [&](const std::optional<SongRow>& row) {
      return row ? testing::SongBuffer(table_, row->code, row->name) : std::vector<std::uint8_t>();
    };
    table_.SetRange(buffer(order_.from), 1, buffer(order_.to), 1);
  }

  bool InRange(const SongRow& row) const {
    if (!order_.ranged) return true;
    if (order_.from && CompareSongs(order_.index, *order_.from, row, true) > 0) return false;
    if (order_.to && CompareSongs(order_.index, row, *order_.to, true) > 0) return false;
    return true;
  }

  // Every live record of the range in the current order.
  std::vector<SongRow> Expected() const {
    std::vector<SongRow> rows;
    for (const auto& [slot, row] : rows_) {
      if (Physical() ? Visible(row) : InRange(row)) rows.push_back(row);
    }
    const std::uint8_t index = Physical() ? kPhysicalOrder : order_.index;
    std::sort(rows.begin(), rows.end(), [index](const SongRow& a, const SongRow& b) {
      return CompareSongs(index, a, b, false) < 0;
    });
    return rows;
  }

  std::string Describe() const {
    std::string text = "index " + std::to_string(order_.index) + (order_.ranged ? " ranged" : "");
    if (order_.from) text += " from " + std::to_string(order_.from->code) + "/" + order_.from->name;
    if (order_.to) text += " to " + std::to_string(order_.to->code) + "/" + order_.to->name;
    for (const auto& f : filters_) {
      if (f.active)
        text += " filter %" + std::to_string(f.modulus) + "!=" + std::to_string(f.remainder);
    }
    return text;
  }

  void Check() {
    SCOPED_TRACE(Describe());
    const std::vector<SongRow> all = Expected();
    std::vector<std::uint32_t> visible;
    for (const SongRow& row : all)
      if (Visible(row)) visible.push_back(row.slot);

    EXPECT_EQ(testing::WalkSlots(table_, true), visible);
    std::vector<std::uint32_t> backward(visible.rbegin(), visible.rend());
    EXPECT_EQ(testing::WalkSlots(table_, false), backward);
    EXPECT_EQ(table_.RecordCount(), static_cast<std::int32_t>(visible.size()));

    // Jumps: positions count every key of the range; a record filtered out
    // gives way to the next visible one, else the previous one.
    const auto count = static_cast<std::int32_t>(all.size());
    std::vector<std::int32_t> jumps{0, 1, 2, count / 2, count, count + 1};
    for (int i = 0; i < 6; ++i) jumps.push_back(static_cast<std::int32_t>(random_() % (count + 2)));
    for (const std::int32_t n : jumps) {
      SCOPED_TRACE("jump to " + std::to_string(n));
      std::uint32_t slot = 0;
      std::int32_t position = 0;
      if (n >= 1 && n <= count) {
        std::optional<std::size_t> at;
        for (std::size_t j = static_cast<std::size_t>(n - 1); j < all.size() && !at; ++j)
          if (Visible(all[j])) at = j;
        for (std::size_t j = static_cast<std::size_t>(n - 1); j-- > 0 && !at;)
          if (Visible(all[j])) at = j;
        if (at) {
          slot = all[*at].slot;
          position = static_cast<std::int32_t>(*at) + 1;
        }
      }
      table_.GoToPosition(n);
      EXPECT_EQ(table_.CurrentRecordNumber(), slot);
      if (slot != 0) {
        EXPECT_EQ(table_.CurrentPosition(), position);
      }
    }

    // Find nearest over the first field, from a random code or name.
    if (!Physical()) {
      const SongRow probe = RandomBound();
      std::uint32_t slot = 0;
      bool equal = false;
      for (const SongRow& row : all) {
        if (!Visible(row) || CompareSongs(order_.index, row, probe, true) < 0) continue;
        slot = row.slot;
        equal = CompareSongs(order_.index, row, probe, true) == 0;
        break;
      }
      auto out = table_.NewRecordBuffer();
      const auto search = testing::SongBuffer(table_, probe.code, probe.name);
      SCOPED_TRACE("find " + std::to_string(probe.code) + "/" + probe.name);
      EXPECT_EQ(table_.FindNearest(search, 1, out), equal);
      EXPECT_EQ(table_.CurrentRecordNumber(), slot);
    }
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
  bool primary_ = true;
  std::mt19937 random_{20261208};
  std::map<std::uint32_t, SongRow> rows_;
  std::vector<ModelFilter> filters_;
  Order order_;
};

TEST_P(CursorModel, WalksCountsJumpsAndFindsMatchTheModel) {
  ChangeRecords(500);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ChangeFilters();
    ChangeOrder();
    Check();
    // Changes while the order, range and filters stand: the bitmaps follow
    // them record by record.
    ChangeRecords(static_cast<int>(random_() % 20));
    Check();
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, CursorModel,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Primary" : "NoPrimary") +
                                  (std::get<1>(info.param) ? "Exclusive" : "Shared");
                         });

}  // namespace
}  // namespace quire
