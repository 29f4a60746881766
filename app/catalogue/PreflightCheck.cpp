#include "app/catalogue/PreflightCheck.h"

#include <cstdio>
#include <map>
#include <optional>

#include "app/catalogue/LyricHeader.h"
#include "app/catalogue/SongCode.h"
#include "platform/Cp874.h"

namespace lyrabook {
namespace {

constexpr int kNameLine = 5;
constexpr int kSingerLine = 6;

// Whether `line` is valid UTF-8 holding a character of three or four bytes,
// as every Thai letter in UTF-8 is. Code page 874 Thai is not: its leading
// vowels and tone marks (0xE0..0xEF) would be three-byte leads, but no Thai
// letter follows them with two bytes of 0x80..0xBF. Two-byte sequences are
// not enough: a consonant of 0xC2..0xDA and one of 0xA1..0xBF ("วง") form one.
bool IsUtf8Text(const std::string& line) {
  bool multibyte = false;
  for (std::size_t i = 0; i < line.size();) {
    const auto lead = static_cast<unsigned char>(line[i]);
    int length = lead < 0x80                    ? 1
                 : lead >= 0xC2 && lead <= 0xDF ? 2
                 : lead >= 0xE0 && lead <= 0xEF ? 3
                 : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > line.size()) return false;
    for (int k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) return false;
    // Overlong and surrogate forms are not UTF-8.
    const auto second = static_cast<unsigned char>(length > 1 ? line[i + 1] : 0);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
      return false;
    multibyte = multibyte || length > 2;
    i += static_cast<std::size_t>(length);
  }
  return multibyte;
}

std::optional<unsigned char> FirstUndefinedByte(const std::string& line) {
  for (const char c : line) {
    std::size_t undefined = 0;
    Cp874ToUtf8(std::string_view(&c, 1), &undefined);
    if (undefined != 0) return static_cast<unsigned char>(c);
  }
  return std::nullopt;
}

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string FoldedCode(std::string code) {
  for (char& c : code)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return code;
}

// The header lines as the import reads them.
std::vector<std::string> ReadHeader(const std::string& path) {
  TLyricHeaderReader reader(path);
  std::vector<std::string> lines;
  for (int i = 1; i <= kSingerLine; ++i) lines.push_back(reader.ReadLine());
  const std::string& singer = lines.back();
  if (!singer.empty() && singer.front() != '(') lines.push_back(reader.ReadLine());
  reader.Close();
  return lines;
}

void CheckTexts(const std::string& name, const std::vector<std::string>& lines,
                std::vector<TPreflightFinding>& findings) {
  if (lines[kNameLine - 1].empty()) findings.push_back({name, "the name line (5) is empty"});
  if (lines[kSingerLine - 1].empty()) findings.push_back({name, "the singer line (6) is empty"});
}

void CheckHeader(const std::string& name, const std::vector<std::string>& lines,
                 std::vector<TPreflightFinding>& findings) {
  const auto add = [&](const std::string& text) { findings.push_back({name, text}); };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if ((i == 0 && line.starts_with("\xEF\xBB\xBF")) || IsUtf8Text(line)) {
      // UTF-8 bytes are mostly ones the code page leaves undefined: one
      // finding says it.
      add("line " + std::to_string(i + 1) + " is UTF-8, not code page 874: \"" + line + "\"");
      return CheckTexts(name, lines, findings);
    }
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<unsigned char> undefined = FirstUndefinedByte(lines[i]);
    if (undefined) {
      add("line " + std::to_string(i + 1) + " holds byte " + Hex(*undefined) +
          ", which code page 874 leaves undefined");
      break;
    }
  }
  CheckTexts(name, lines, findings);
}

}  // namespace

std::vector<TPreflightFinding> CheckLyricFiles(const std::string& folder,
                                               const std::vector<std::string>& names) {
  std::vector<TPreflightFinding> findings;
  // Stored code (cut to the field, case folded) -> the first file with it.
  std::map<std::string, std::string> stored;
  for (const std::string& name : names) {
    try {
      CheckHeader(name, ReadHeader(folder + "/" + name), findings);
    } catch (const std::exception& error) {
      findings.push_back({name, std::string("cannot be read: ") + error.what()});
    }
    std::string code;
    try {
      code = SongCode(name);
    } catch (const std::exception&) {
      findings.push_back({name, "the name cannot be written in code page 874"});
      continue;
    }
    const std::string kept = StoredCode(code);
    if (code.size() > kCodeSize)
      findings.push_back({name, "the code " + Cp874ToUtf8(code) + " is longer than " +
                                    std::to_string(kCodeSize) + " characters; " +
                                    Cp874ToUtf8(kept) + " is kept"});
    const auto [first, added] = stored.emplace(FoldedCode(kept), name);
    if (added) continue;
    const std::string earlier = StoredCode(SongCode(first->second));
    findings.push_back({name, earlier == kept
                                  ? "the code " + Cp874ToUtf8(kept) + " is also the code of " +
                                        first->second + ": its import replaces that song"
                                  : "the code " + Cp874ToUtf8(kept) + " differs from " +
                                        Cp874ToUtf8(earlier) + " of " + first->second +
                                        " only in letter case"});
  }
  return findings;
}

}  // namespace lyrabook
