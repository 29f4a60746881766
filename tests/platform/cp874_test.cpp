#include "platform/Cp874.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace lyrabook {
namespace {

std::string Byte(int b) {
  return std::string(1, static_cast<char>(b));
}

const std::set<int>& UndefinedBytes() {
  static const std::set<int> bytes = [] {
    std::set<int> s{0x81, 0x82, 0x83, 0x84, 0xDB, 0xDC, 0xDD, 0xDE, 0xFC, 0xFD, 0xFE, 0xFF};
    for (int b = 0x86; b <= 0x90; ++b) s.insert(b);
    for (int b = 0x98; b <= 0x9F; ++b) s.insert(b);
    return s;
  }();
  return bytes;
}

TEST(Cp874, DecodesThaiLettersPunctuationAndAscii) {
  // "ก" U+0E01, "๛" U+0E5B, "฿" U+0E3F, "ฺ" U+0E3A, "€", "…", NBSP, quotes, dashes.
  EXPECT_EQ(Cp874ToUtf8(Byte(0xA1)), "\u0E01");
  EXPECT_EQ(Cp874ToUtf8(Byte(0xDA)), "\u0E3A");
  EXPECT_EQ(Cp874ToUtf8(Byte(0xDF)), "\u0E3F");
  EXPECT_EQ(Cp874ToUtf8(Byte(0xFB)), "\u0E5B");
  EXPECT_EQ(Cp874ToUtf8(Byte(0x80)), "\u20AC");
  EXPECT_EQ(Cp874ToUtf8(Byte(0x85)), "\u2026");
  EXPECT_EQ(Cp874ToUtf8(Byte(0xA0)), "\u00A0");
  EXPECT_EQ(Cp874ToUtf8(Byte(0x91) + Byte(0x92) + Byte(0x93) + Byte(0x94)),
            "\u2018\u2019\u201C\u201D");
  EXPECT_EQ(Cp874ToUtf8(Byte(0x95) + Byte(0x96) + Byte(0x97)), "\u2022\u2013\u2014");
  EXPECT_EQ(Cp874ToUtf8(std::string("Song A1\0x", 9)), std::string("Song A1\0x", 9));
  // "สวัสดี": the song title bytes of the catalogue.
  EXPECT_EQ(Cp874ToUtf8("\xCA\xC7\xD1\xCA\xB4\xD5"), "สวัสดี");
}

TEST(Cp874, UndefinedBytesBecomeReplacementCharactersAndAreCounted) {
  for (int b : UndefinedBytes()) {
    std::size_t undefined = 0;
    EXPECT_EQ(Cp874ToUtf8("a" + Byte(b) + "b", &undefined), "a\uFFFDb") << b;
    EXPECT_EQ(undefined, 1u) << b;
  }
  std::size_t undefined = 7;
  Cp874ToUtf8("plain \xA1", &undefined);
  EXPECT_EQ(undefined, 0u);
}

TEST(Cp874, EveryDefinedByteRoundTripsAndEveryUndefinedOneDoesNot) {
  for (int b = 0; b < 256; ++b) {
    const std::string utf8 = Cp874ToUtf8(Byte(b));
    const auto back = Utf8ToCp874(utf8);
    if (UndefinedBytes().count(b)) {
      EXPECT_FALSE(back.has_value()) << b;
    } else {
      ASSERT_TRUE(back.has_value()) << b;
      EXPECT_EQ(*back, Byte(b)) << b;
    }
  }
}

TEST(Cp874, RefusesTextTheCodePageCannotHold) {
  EXPECT_FALSE(Utf8ToCp874("caf\u00E9").has_value());   // é
  EXPECT_FALSE(Utf8ToCp874("\u0E5C").has_value());      // just past the Thai block
  EXPECT_FALSE(Utf8ToCp874("\U0001F600").has_value());  // outside the BMP
  EXPECT_FALSE(Utf8ToCp874("\uFFFD").has_value());
  EXPECT_EQ(Utf8ToCp874("").value(), "");
}

TEST(Cp874, RefusesInvalidUtf8) {
  EXPECT_FALSE(Utf8ToCp874("\xC0\xAF").has_value());          // overlong '/'
  EXPECT_FALSE(Utf8ToCp874("\xE0\xB8").has_value());          // cut short
  EXPECT_FALSE(Utf8ToCp874("\xED\xA0\x80").has_value());      // a surrogate
  EXPECT_FALSE(Utf8ToCp874("\x80").has_value());              // stray continuation
  EXPECT_FALSE(Utf8ToCp874("\xF4\x90\x80\x80").has_value());  // above U+10FFFF
}

TEST(Latin1, MapsEveryByteLosslessly) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += Byte(b);
  const std::string utf8 = Latin1ToUtf8(all);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  EXPECT_EQ(Utf8ToLatin1(utf8).value(), all);
  EXPECT_FALSE(Utf8ToLatin1("\u0100").has_value());
  EXPECT_FALSE(Utf8ToLatin1("\xFF").has_value());
}

}  // namespace
}  // namespace lyrabook
