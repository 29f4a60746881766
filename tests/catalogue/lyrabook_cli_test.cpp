// lyrabook-cli's search, duplicates, check and songbook commands end to end: the
// program in bin/ of this build, run on scratch catalogues and folders.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Cp874.h"
#include "support/ScratchDir.h"

namespace lyrabook {
namespace {

namespace fs = std::filesystem;
using quire::testing::ScratchDir;

struct TRun {
  int status;
  std::string out, err;
};

class LyrabookCli : public ::testing::Test {
 protected:
  // Runs lyrabook-cli with `arguments` (already quoted for the shell).
  TRun Run(const std::string& arguments) {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path program = (self.parent_path() / ".." / ".." / "bin" / "lyrabook-cli");
    EXPECT_TRUE(fs::exists(program)) << program;
    const std::string command = "'" + program.string() + "' " + arguments + " >'" +
                                dir_.Path("out") + "' 2>'" + dir_.Path("err") + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ScratchDir::ReadFile(dir_.Path("out")),
            ScratchDir::ReadFile(dir_.Path("err"))};
  }
  std::string Data() const { return "--data '" + dir_.Path("Data") + "'"; }
  void Lyric(const std::string& name, const std::string& song, const std::string& singer) {
    fs::create_directories(dir_.Path("songs"));
    std::ofstream(dir_.Path("songs/" + name), std::ios::binary)
        << "maker\r\nPOP\r\nx\r\nM. Am\r\n"
        << Utf8ToCp874(song).value() << "\r\n"
        << Utf8ToCp874(singer).value() << "\r\n";
  }

  ScratchDir dir_;
};

TEST_F(LyrabookCli, SearchPrintsTheSongsAsJsonLines) {
  ASSERT_EQ(Run("init " + Data()).status, 0);
  Lyric("A1.txt", "ดอกไม้", "(วงดาว)");
  Lyric("A2.txt", "Dolly", "ดวงใจ");
  Lyric("B3.txt", "ดาวเหนือ", "Dan");
  ASSERT_EQ(Run("import '" + dir_.Path("songs") + "' --quiet " + Data()).out, "imported 3\n");
  TRun run = Run("search 'ด' " + Data());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"Code\":\"A1\",\"Name\":\"ดอกไม้\",\"Singer\":\"(วงดาว)\",\"Authur\":null,"
            "\"Sex\":\"M. Am\",\"Group\":\"POP\",\"CreateBy\":\"maker\"}\n"
            "{\"Code\":\"B3\",\"Name\":\"ดาวเหนือ\",\"Singer\":\"Dan\",\"Authur\":null,"
            "\"Sex\":\"M. Am\",\"Group\":\"POP\",\"CreateBy\":\"maker\"}\n"
            "{\"Code\":\"A2\",\"Name\":\"Dolly\",\"Singer\":\"ดวงใจ\",\"Authur\":null,"
            "\"Sex\":\"M. Am\",\"Group\":\"POP\",\"CreateBy\":\"maker\"}\n");
  run = Run("search d --by name " + Data());
  EXPECT_EQ(run.out.substr(0, 13), "{\"Code\":\"A2\",");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  const std::string codes = Run("search a --by code " + Data()).out;
  EXPECT_EQ(std::count(codes.begin(), codes.end(), '\n'), 2);
  EXPECT_EQ(codes.find("{\"Code\":\"A1\","), 0u);
  EXPECT_NE(codes.find("\n{\"Code\":\"A2\","), std::string::npos);
  EXPECT_EQ(Run("search '(ว' --by singer " + Data()).out.substr(0, 13), "{\"Code\":\"A1\",");
  EXPECT_EQ(Run("search '日本' " + Data()).out, "");  // not in the code page: no song
  // Usage errors change nothing and say so.
  EXPECT_EQ(Run("search d --by author " + Data()).status, 2);
  EXPECT_EQ(Run("search " + Data()).status, 2);
  run = Run("search d --data '" + dir_.Path("nowhere") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(run.err.empty());
}

TEST_F(LyrabookCli, DuplicatesPrintsEachGroupOfCodesAsAJsonLine) {
  ASSERT_EQ(Run("init " + Data()).status, 0);
  Lyric("A1.txt", "ดอกไม้", "ดวงใจ");
  Lyric("B2.txt", "ดอกไม้", "ดวงใจ");
  Lyric("C3.txt", "ดอกไม้", "Dan");
  ASSERT_EQ(Run("import '" + dir_.Path("songs") + "' --quiet " + Data()).out, "imported 3\n");
  const TRun run = Run("duplicates " + Data());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "{\"Name\":\"ดอกไม้\",\"Singer\":\"ดวงใจ\",\"Codes\":[\"A1\",\"B2\"]}\n");
  EXPECT_EQ(Run("duplicates extra " + Data()).status, 2);
}

TEST_F(LyrabookCli, CheckListsFindingsAndExitsOneWhenThereAreAny) {
  Lyric("10001.txt", "ฝน", "ต้น");
  TRun run = Run("check '" + dir_.Path("songs") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  std::ofstream(dir_.Path("songs/10002.TXT"), std::ios::binary)
      << "m\r\nPOP\r\nx\r\nM\r\nเพลง\r\n\r\n";  // UTF-8, no singer
  std::ofstream(dir_.Path("songs/notes.doc"), std::ios::binary) << "not a lyric file";
  run = Run("check '" + dir_.Path("songs") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "10002.TXT: line 5 is UTF-8, not code page 874: \"เพลง\"\n"
            "10002.TXT: the singer line (6) is empty\n");
  EXPECT_EQ(Run("check").status, 2);
  EXPECT_EQ(Run("check '" + dir_.Path("none") + "'").status, 1);
}

TEST_F(LyrabookCli, SongbookWritesPdfOrHtml) {
  ASSERT_EQ(Run("init " + Data()).status, 0);
  Lyric("S1.txt", "เกม", "แพรวา");
  Lyric("S2.txt", "กา", "ต้น");
  ASSERT_EQ(Run("import '" + dir_.Path("songs") + "' --quiet " + Data()).status, 0);
  TRun run = Run("songbook '" + dir_.Path("b.html") + "' --by name --title 'My <book>' " + Data());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "songs 2\n");
  const std::string html = ScratchDir::ReadFile(dir_.Path("b.html"));
  EXPECT_NE(html.find("<title>My &lt;book&gt;</title>"), std::string::npos);
  // By name: กา before เกม (a leading vowel sorts after its consonant).
  EXPECT_LT(html.find(">S2<"), html.find(">S1<"));
  run = Run("songbook '" + dir_.Path("b.pdf") + "' " + Data());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ScratchDir::ReadFile(dir_.Path("b.pdf")).substr(0, 5), "%PDF-");
  EXPECT_EQ(Run("songbook '" + dir_.Path("b.txt") + "' " + Data()).status, 2);
  EXPECT_FALSE(fs::exists(dir_.Path("b.txt")));
  EXPECT_EQ(Run("songbook '" + dir_.Path("b.pdf") + "' --by year " + Data()).status, 2);
}

}  // namespace
}  // namespace lyrabook
