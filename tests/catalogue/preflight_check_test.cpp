// The pre-flight check over a crafted folder: each kind of finding, and
// files that are right give none.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/catalogue/PreflightCheck.h"
#include "platform/Cp874.h"
#include "support/ScratchDir.h"

namespace lyrabook {

void PrintTo(const TPreflightFinding& finding, std::ostream* out) {
  *out << finding.File << ": " << finding.Text;
}

namespace {

using quire::testing::ScratchDir;

std::string Header(const std::string& name, const std::string& singer,
                   const std::string& author = "author") {
  return "maker\r\nPOP\r\nx\r\nM. Am\r\n" + name + "\r\n" + singer + "\r\n" + author + "\r\n";
}

std::string Thai(const std::string& utf8) {
  return Utf8ToCp874(utf8).value();
}

TEST(PreflightCheck, FindsEachKindOfWrongHeaderAndCode) {
  ScratchDir dir;
  // Right: Thai in code page 874, a band in brackets (no author line read).
  dir.WriteFile("10001.txt", Header(Thai("ฝนตกที่หน้าต่าง"), Thai("ต้นข้าว")));
  dir.WriteFile("10002.txt", Header(Thai("คิดถึงบ้านนา"), "(" + Thai("วง") + ")", "\xEF\xBB"));
  // Saved by an editor as UTF-8, with and without a byte order mark.
  dir.WriteFile("20001.txt", Header("ฝนตก", "ต้นข้าว"));
  dir.WriteFile("20002.txt", "\xEF\xBB\xBFmaker\r\nPOP\r\nx\r\nM\r\nName\r\nSinger\r\n");
  // A byte the code page leaves out, in the author line; empty texts.
  dir.WriteFile("30001.txt", Header("Name", "Singer", "Auth\xDBor"));
  dir.WriteFile("30002.txt", Header("", ""));
  dir.WriteFile("30003.txt", "only\r\nthree\r\nlines");
  // Codes: too long, the same once cut, differing only in case.
  dir.WriteFile("LongNameX12.txt", Header("a", "b"));
  dir.WriteFile("LongNameX13.txt", Header("a", "b"));
  dir.WriteFile("a0005.txt", Header("a", "b"));
  dir.WriteFile("A0005.txt", Header("a", "b"));
  const std::vector<std::string> names = {
      "10001.txt", "10002.txt",       "20001.txt",       "20002.txt", "30001.txt", "30002.txt",
      "30003.txt", "LongNameX12.txt", "LongNameX13.txt", "a0005.txt", "A0005.txt", "missing.txt"};
  const std::vector<TPreflightFinding> findings = CheckLyricFiles(dir.Path(""), names);
  const std::vector<TPreflightFinding> expected = {
      {"20001.txt", "line 5 is UTF-8, not code page 874: \"ฝนตก\""},
      {"20002.txt", "line 1 is UTF-8, not code page 874: \"\xEF\xBB\xBFmaker\""},
      {"30001.txt", "line 7 holds byte 0xDB, which code page 874 leaves undefined"},
      {"30002.txt", "the name line (5) is empty"},
      {"30002.txt", "the singer line (6) is empty"},
      {"30003.txt", "the name line (5) is empty"},
      {"30003.txt", "the singer line (6) is empty"},
      {"LongNameX12.txt", "the code LongNameX12 is longer than 10 characters; LongNameX1 is kept"},
      {"LongNameX13.txt", "the code LongNameX13 is longer than 10 characters; LongNameX1 is kept"},
      {"LongNameX13.txt",
       "the code LongNameX1 is also the code of LongNameX12.txt: its import replaces that song"},
      {"A0005.txt", "the code A0005 differs from a0005 of a0005.txt only in letter case"},
  };
  ASSERT_GE(findings.size(), expected.size() + 1);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(findings[i], expected[i])
        << i << ": " << findings[i].File << ": " << findings[i].Text;
  // The unreadable file is reported with its error, and nothing more follows.
  EXPECT_EQ(findings[expected.size()].File, "missing.txt");
  EXPECT_TRUE(findings[expected.size()].Text.starts_with("cannot be read: "));
  EXPECT_EQ(findings.size(), expected.size() + 1);
}

TEST(PreflightCheck, UtfEightIsToldFromThaiOfTheCodePage) {
  ScratchDir dir;
  // Code page 874 Thai whose bytes start like UTF-8 sequences (เ is 0xE0,
  // a three-byte lead) is not UTF-8; neither is plain ASCII.
  dir.WriteFile("a.txt", Header(Thai("เพลงเธอ"), Thai("เธอ")));
  dir.WriteFile("b.txt", Header("Plain", "ASCII"));
  // Two Thai consonants can make a valid two-byte UTF-8 sequence ("วง" is
  // 0xC7 0xA7): not UTF-8 for the check, which wants a Thai letter's three
  // bytes; a Thai word in UTF-8 has them.
  dir.WriteFile("c.txt", Header(Thai("วง"), Thai("ลม")));
  dir.WriteFile("d.txt", Header("Band", "วง"));
  EXPECT_EQ(
      CheckLyricFiles(dir.Path(""), {"a.txt", "b.txt", "c.txt", "d.txt"}),
      (std::vector<TPreflightFinding>{{"d.txt", "line 6 is UTF-8, not code page 874: \"วง\""}}));
  // A name the code page cannot hold.
  dir.WriteFile("日本.txt", Header("a", "b"));
  EXPECT_EQ(CheckLyricFiles(dir.Path(""), {"日本.txt"}),
            (std::vector<TPreflightFinding>{
                {"日本.txt", "the name cannot be written in code page 874"}}));
  EXPECT_TRUE(CheckLyricFiles(dir.Path(""), {}).empty());
}

}  // namespace
}  // namespace lyrabook
