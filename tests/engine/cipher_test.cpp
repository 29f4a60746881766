// The table cipher: keystream, involution, period and the 16-bit length rule.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/Cipher.h"

namespace quire {
namespace {

// The keystream byte at position i, straight from the definition: the first
// counter counts up from s1, the second down from s2, both mod 256.
std::uint8_t KeystreamByte(TCipherSeeds seeds, std::size_t i) {
  const unsigned low = (seeds.first + i) % 256;
  const unsigned high = (seeds.second + 256 * 256 - i % 256) % 256;
  return static_cast<std::uint8_t>(low ^ high);
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

class CipherBothSeeds : public ::testing::TestWithParam<TCipherSeeds> {};

TEST_P(CipherBothSeeds, KeystreamFollowsTheTwoCounters) {
  std::vector<std::uint8_t> bytes(600, 0);
  CipherRun(bytes, GetParam());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], KeystreamByte(GetParam(), i)) << "at " << i;
  }
}

TEST_P(CipherBothSeeds, RunningTwiceRestoresTheBytes) {
  const std::vector<std::uint8_t> original = RandomBytes(4096, 7);
  std::vector<std::uint8_t> bytes = original;
  EncipherRun(bytes.data(), bytes.size(), GetParam());
  EXPECT_NE(bytes, original);
  DecipherRun(bytes.data(), bytes.size(), GetParam());
  EXPECT_EQ(bytes, original);
}

TEST_P(CipherBothSeeds, KeystreamRepeatsEvery256Bytes) {
  // Both counters wrap after 256 steps. (Adding 128 flips the top bit of
  // both, so the XOR already repeats after 128; 256 is what readers rely on.)
  std::vector<std::uint8_t> bytes(1024, 0);
  CipherRun(bytes, GetParam());
  for (std::size_t i = 0; i + 256 < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], bytes[i + 256]) << "at " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CipherBothSeeds,
                         ::testing::Values(kDataCipherSeeds, kHeaderCipherSeeds));

TEST(Cipher, SeedPairsGiveTheirFirstKeystreamBytes) {
  std::vector<std::uint8_t> data(2, 0);
  CipherRun(data, kDataCipherSeeds);
  EXPECT_EQ(data[0], 0x3B ^ 0xA6);  // 0x9D
  EXPECT_EQ(data[1], 0x3C ^ 0xA5);  // 0x99
  std::vector<std::uint8_t> header(2, 0);
  CipherRun(header, kHeaderCipherSeeds);
  EXPECT_EQ(header[0], 0x5E ^ 0xC4);  // 0x9A
  EXPECT_EQ(header[1], 0x5F ^ 0xC3);
}

TEST(Cipher, EachRunStartsAFreshKeystream) {
  // Two record images written together are still enciphered one by one.
  std::vector<std::uint8_t> bytes(20, 0);
  CipherRun(bytes.data(), 10, kDataCipherSeeds);
  CipherRun(bytes.data() + 10, 10, kDataCipherSeeds);
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(bytes[i], KeystreamByte(kDataCipherSeeds, i));
    EXPECT_EQ(bytes[10 + i], KeystreamByte(kDataCipherSeeds, i));
  }
}

TEST(Cipher, LengthIsTakenModulo65536) {
  // 100 fields of 768 descriptor bytes: 76800 mod 65536 = 11264 enciphered.
  std::vector<std::uint8_t> block(76800, 0);
  CipherRun(block, kDataCipherSeeds);
  for (std::size_t i = 0; i < 11264; ++i) {
    ASSERT_EQ(block[i], KeystreamByte(kDataCipherSeeds, i)) << "at " << i;
  }
  for (std::size_t i = 11264; i < block.size(); ++i) {
    ASSERT_EQ(block[i], 0) << "stored plain at " << i;
  }
}

TEST(Cipher, LengthsOfZeroAndExactly65536DoNothing) {
  const std::vector<std::uint8_t> original = RandomBytes(65536, 11);
  std::vector<std::uint8_t> bytes = original;
  CipherRun(bytes, kDataCipherSeeds);
  EXPECT_EQ(bytes, original);
  CipherRun(bytes.data(), 0, kHeaderCipherSeeds);
  EXPECT_EQ(bytes, original);
}

}  // namespace
}  // namespace quire
