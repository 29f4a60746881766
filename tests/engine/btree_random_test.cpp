// Index trees against a model: long random runs of inserts, deletes and
// replacements on two indexes of one file at a time, checked after every step
// against an ordered container (presence and rank of the key touched) and,
// often, by re-reading every tree from the file with the verifier and
// comparing its leaves with the model entry by entry. The runs cover every
// compression scheme, descending indexes, non-unique indexes with many equal
// field values, and keys from 1 to 1040 bytes.
//
// QUIRE_RANDOM_STEPS sets the steps of each run (default 1000); QUIRE_RANDOM_SEED
// varies the runs.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "index/IndexFile.h"
#include "index/IndexVerifier.h"
#include "index/KeyLayout.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::size_t EnvNumber(const char* name, std::size_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != 0 ? std::strtoull(text, nullptr, 10) : fallback;
}

// One index of a run: the widths of its key fields and its flags.
struct IndexShape {
  std::vector<std::uint8_t> fieldSizes;
  std::uint8_t compression = 0;
  bool descending = false;
  bool unique = true;  // for a secondary index
};

struct Scenario {
  std::string name;
  IndexShape primary;
  IndexShape secondary;
  std::size_t maxKeys;  // the runs grow to about this many keys and shrink again
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

// Keys in index order, as the model keeps them.
struct KeyOrder {
  bool descending = false;
  bool operator()(const Bytes& a, const Bytes& b) const { return descending ? b < a : a < b; }
};
using Model = std::map<Bytes, std::uint32_t, KeyOrder>;

class IndexRun {
 public:
  IndexRun(const Scenario& scenario, std::uint32_t seed) : scenario_(scenario), random_(seed) {
    char pattern[] = "/tmp/quire-random-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("no scratch folder");
    dir_ = pattern;
  }
  ~IndexRun() {
    if (file_.IsOpen()) file_.Close();
    std::filesystem::remove_all(dir_);
  }

  void Run(std::size_t steps) {
    CreateFile();
    models_[0] = Model(KeyOrder{scenario_.primary.descending});
    models_[1] = Model(KeyOrder{scenario_.secondary.descending});
    for (step_ = 1; step_ <= steps && !::testing::Test::HasFailure(); ++step_) {
      const std::uint8_t index = static_cast<std::uint8_t>(random_() % 2);
      file_.SelectIndex(index);
      Model& model = models_[index];
      // Each index grows to its size and shrinks to nothing by turns, so
      // that splits, merges, borrowing, root changes and free pages all come.
      if (growing_[index] && model.size() >= scenario_.maxKeys) growing_[index] = false;
      if (!growing_[index] && model.empty()) {
        growing_[index] = true;
        Reopen();  // continue from what the file holds alone
        file_.SelectIndex(index);
      }
      const unsigned roll = random_() % 100;
      if (roll < 3 && !model.empty()) {
        Replace(index, model);
      } else if (roll < (growing_[index] ? 70u : 30u) || model.empty()) {
        Insert(index, model);
      } else {
        Delete(model);
      }
      const std::size_t total = models_[0].size() + models_[1].size();
      if (total < 12 || step_ % 25 == 0) VerifyAll();
    }
    VerifyAll();
  }

 private:
  void AddIndexFields(const IndexShape& shape, std::vector<std::uint16_t>& numbers) {
    for (std::uint8_t size : shape.fieldSizes) {
      const auto no = static_cast<std::uint16_t>(fields_.size() + 1);
      fields_.push_back({no, "F" + std::to_string(no), 9, 0, size});
      numbers.push_back(no);
    }
  }
  static TIndexDefinition Definition(const IndexShape& shape, std::string name,
                                     const std::vector<std::uint16_t>& numbers) {
    TIndexDefinition d;
    d.Name = std::move(name);
    d.Compression = shape.compression;
    d.Descending = shape.descending ? 1 : 0;
    d.Unique = shape.unique ? 1 : 0;
    d.FieldCount = static_cast<std::uint8_t>(numbers.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) d.FieldNumbers[i] = numbers[i];
    return d;
  }

  void CreateFile() {
    std::vector<std::uint16_t> primary, secondary;
    AddIndexFields(scenario_.primary, primary);
    AddIndexFields(scenario_.secondary, secondary);
    file_.SetFileName(dir_ + "/R.DAT");
    file_.SetExclusive(true);
    file_.Create();
    file_.DefinePrimaryIndex(Definition(scenario_.primary, "", primary), fields_);
    file_.AddSecondaryIndex(Definition(scenario_.secondary, "Second", secondary), fields_);
    file_.WriteHeader();
    file_.Close();
    // Shared opens take the path that checks for other writers.
    file_.SetExclusive(random_() % 2 == 0);
    file_.Open();
  }

  void Reopen() {
    Sync();
    file_.Close();
    file_.Open();
  }

  void Sync() {
    file_.Flush();
    file_.WriteHeader();
  }

  // A key with long runs of equal leading bytes and of trailing zeros, drawn
  // from a small alphabet so that equal field values are common; half of the
  // keys fill their whole body, so that compressed entries are large too.
  Bytes MakeKey(bool withSuffix) {
    const std::size_t k = file_.KeySize();
    const std::size_t body = withSuffix ? k - 4 : k;
    Bytes key(k, 0);
    key[0] = random_() % 16 == 0 ? 0 : 1;
    static constexpr std::uint8_t kAlphabet[] = {0x00, 0x41, 0x42, 0xFF};
    const bool small = body <= 8;  // few bytes: use all byte values to get enough keys
    const std::size_t room = body - 1;
    const std::size_t length =
        room == 0 ? 0
                  : (random_() % 2 == 0 ? random_() % std::min<std::size_t>(room, 12) + 1
                                        : room - random_() % std::min<std::size_t>(room, 4));
    for (std::size_t i = 0; i < length; ++i) {
      key[1 + i] = small ? static_cast<std::uint8_t>(random_()) : kAlphabet[random_() % 4];
    }
    if (withSuffix) PutKeyInt32(key.data() + body, autoIncrement_++);
    return key;
  }

  void Insert(std::uint8_t index, Model& model) {
    const bool suffix = index == 1 && !scenario_.secondary.unique;
    const Bytes key = MakeKey(suffix);
    const std::uint32_t record = nextRecord_++;
    if (model.count(key) != 0) {
      const TErrorCode code = quire::testing::CodeOf([&] { file_.CheckDuplicate(key); });
      ASSERT_EQ(code, 9729) << Where();
      return;
    }
    file_.CheckDuplicate(key);
    file_.InsertKey(key, record);
    model.emplace(key, record);
    CheckKey(model, key);
  }

  void Delete(Model& model) {
    auto it = std::next(model.begin(), static_cast<std::ptrdiff_t>(random_() % model.size()));
    const Bytes key = it->first;
    file_.DeleteKey(key);
    model.erase(it);
    ASSERT_FALSE(file_.FindExact(key)) << Where();
    ASSERT_EQ(quire::testing::CodeOf([&] { file_.DeleteKey(key); }), 8708) << Where();
  }

  void Replace(std::uint8_t index, Model& model) {
    auto it = std::next(model.begin(), static_cast<std::ptrdiff_t>(random_() % model.size()));
    const Bytes oldKey = it->first;
    const Bytes newKey = MakeKey(index == 1 && !scenario_.secondary.unique);
    if (model.count(newKey) != 0) return;
    const std::uint32_t record = it->second;
    file_.ReplaceKey(oldKey, newKey, record);
    model.erase(it);
    model.emplace(newKey, record);
    ASSERT_FALSE(file_.FindExact(oldKey)) << Where();
    CheckKey(model, newKey);
  }

  void CheckKey(const Model& model, const Bytes& key) {
    const auto rank = std::distance(model.begin(), model.find(key)) + 1;
    ASSERT_EQ(file_.KeyPosition(key), rank) << Where();
  }

  void VerifyAll() {
    Sync();
    const TIndexCheck file = TIndexVerifier(file_).VerifyFile();
    for (const TIndexFault& fault : file.faults) ADD_FAILURE() << Where() << fault.Line();
    ASSERT_TRUE(file.faults.empty());
    for (std::uint8_t index = 0; index < 2; ++index) {
      const Model& model = models_[index];
      auto expected = model.begin();
      std::size_t seen = 0;
      TIndexVerifier(file_).VerifyIndex(
          index, [&](std::span<const std::uint8_t> key, std::uint32_t record) {
            ++seen;
            if (expected == model.end()) return;
            EXPECT_TRUE(
                std::equal(key.begin(), key.end(), expected->first.begin(), expected->first.end()))
                << Where() << "index " << int(index) << " entry " << seen;
            EXPECT_EQ(record, expected->second) << Where() << "entry " << seen;
            ++expected;
          });
      ASSERT_EQ(seen, model.size()) << Where() << "index " << int(index);
    }
  }

  std::string Where() const { return scenario_.name + " step " + std::to_string(step_) + ": "; }

  Scenario scenario_;
  std::mt19937 random_;
  std::string dir_;
  std::vector<TIndexField> fields_;
  TIndexFile file_;
  Model models_[2];
  std::int32_t autoIncrement_ = -1000;
  std::uint32_t nextRecord_ = 1;
  std::size_t step_ = 0;
  bool growing_[2] = {true, true};
};

class BtreeRandom : public ::testing::TestWithParam<Scenario> {};

TEST_P(BtreeRandom, MatchesAnOrderedModelAfterEveryStep) {
  const std::size_t steps = EnvNumber("QUIRE_RANDOM_STEPS", 1000);
  const auto seed = static_cast<std::uint32_t>(EnvNumber("QUIRE_RANDOM_SEED", 20240501));
  IndexRun run(GetParam(), seed + static_cast<std::uint32_t>(GetParam().name.size()));
  run.Run(steps);
}

// Byte fields: a width of 0 gives a 1-byte key part (the indicator alone).
const Scenario kScenarios[] = {
    {"TinyKeysAndManyDuplicates", {{0}, 0, false, true}, {{4}, 1, false, false}, 400},
    {"DescendingTrailingZeros", {{4}, 2, true, true}, {{13}, 3, true, false}, 600},
    {"MidSizeBothSchemes", {{60}, 3, false, true}, {{250}, 2, false, false}, 300},
    {"LargestKeysUncompressed",
     {{250, 250, 250, 250, 31}, 0, false, true},
     {{250, 250, 250, 250, 31}, 3, false, false},
     60},
    {"LargestKeysDescending",
     {{250, 250, 250, 250, 31}, 1, true, true},
     {{250, 250, 250, 250, 31}, 0, true, false},
     60},
    {"UniqueSecondaryLeadingBytes", {{19}, 0, true, true}, {{150, 150}, 1, false, true}, 200},
};

INSTANTIATE_TEST_SUITE_P(Shapes, BtreeRandom, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quire
