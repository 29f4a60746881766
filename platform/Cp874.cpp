#include "platform/Cp874.h"

#include <array>
#include <cstdint>

namespace lyrabook {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kUndefined = 0;  // marks a byte the code page leaves out

// Bytes 0x80..0xFF. 0x00..0x7F are ASCII.
constexpr std::array<char32_t, 128> MakeHighHalf() {
  std::array<char32_t, 128> table{};
  table[0x80 - 0x80] = 0x20AC;
  table[0x85 - 0x80] = 0x2026;
  table[0x91 - 0x80] = 0x2018;
  table[0x92 - 0x80] = 0x2019;
  table[0x93 - 0x80] = 0x201C;
  table[0x94 - 0x80] = 0x201D;
  table[0x95 - 0x80] = 0x2022;
  table[0x96 - 0x80] = 0x2013;
  table[0x97 - 0x80] = 0x2014;
  table[0xA0 - 0x80] = 0x00A0;
  // The Thai block follows the byte order: 0xA1..0xDA, then 0xDF..0xFB.
  for (int b = 0xA1; b <= 0xDA; ++b) table[b - 0x80] = 0x0E01 + (b - 0xA1);
  for (int b = 0xDF; b <= 0xFB; ++b) table[b - 0x80] = 0x0E3F + (b - 0xDF);
  return table;
}

constexpr std::array<char32_t, 128> kHighHalf = MakeHighHalf();

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads one code point at `at`, advancing it; nothing for invalid UTF-8
// (bad lead or continuation bytes, overlong forms, surrogates, > U+10FFFF).
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  int length;
  char32_t c;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (text.size() - at < static_cast<std::size_t>(length)) return std::nullopt;
  for (int i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += static_cast<std::size_t>(length);
  return c;
}

std::optional<char> EncodeCp874(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i)
    if (kHighHalf[i] == c) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

}  // namespace

std::string Cp874ToUtf8(std::string_view bytes, std::size_t* undefinedBytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  std::size_t undefined = 0;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    char32_t c = b < 0x80 ? char32_t{b} : kHighHalf[b - 0x80];
    if (b >= 0x80 && c == kUndefined) {
      c = kReplacement;
      ++undefined;
    }
    AppendUtf8(out, c);
  }
  if (undefinedBytes) *undefinedBytes = undefined;
  return out;
}

std::optional<std::string> Utf8ToCp874(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const auto c = NextCodePoint(utf8, at);
    if (!c) return std::nullopt;
    const auto b = EncodeCp874(*c);
    if (!b) return std::nullopt;
    out += *b;
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char ch : bytes) AppendUtf8(out, static_cast<unsigned char>(ch));
  return out;
}

std::optional<std::string> Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const auto c = NextCodePoint(utf8, at);
    if (!c || *c > 0xFF) return std::nullopt;
    out += static_cast<char>(*c);
  }
  return out;
}

}  // namespace lyrabook
