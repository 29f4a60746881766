// The import where the catalogue's files are used by more than its own
// datasets: over an existing catalogue, where Query1's table objects delete
// from the files the open datasets hold, and against another program that
// holds the List table's all-records lock.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/catalogue/SongImport.h"
#include "engine/EngineError.h"
#include "support/CatalogueScratch.h"
#include "support/LockHolderProcess.h"

namespace lyrabook {
namespace {

using quire::testing::LockHolderProcess;

std::string Lyric(const std::string& name, const std::string& singer) {
  return "maker\r\nPOP\r\n120\r\nM. Am\r\n" + name + "\r\n" + singer + "\r\nauthor\r\n";
}

class CatalogueSharing : public testing::CatalogueScratch {
 protected:
  // List rows with their ID first, in ID order: "ID|Code|SearchBy|Detail".
  std::vector<std::string> ListRowsById() {
    std::vector<std::string> rows = Rows(catalogue_.tbList, {"ID", "Code", "SearchBy", "Detail"});
    std::sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
      return std::stol(a) < std::stol(b);
    });
    return rows;
  }
  // The three List rows an import writes for one song, numbered from `id`.
  static std::vector<std::string> ListRowsOf(long id, const std::string& code,
                                             const std::string& name, const std::string& singer) {
    return {std::to_string(id) + "|" + code + "|1|" + name,
            std::to_string(id + 1) + "|" + code + "|2|" + singer,
            std::to_string(id + 2) + "|" + code + "|3|" + code};
  }
  static std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  }
};

TEST_F(CatalogueSharing, ImportOverAnExistingCatalogueInOneRun) {
  Write("A.txt", Lyric("first", "one"));
  Write("B.txt", Lyric("second", "two"));
  Write("C.txt", Lyric("third", "three"));
  ASSERT_EQ(Import({"A.txt", "B.txt", "C.txt"}), 3);
  // Another program's import left them; this one starts on a catalogue it
  // has not opened yet.
  catalogue_.tbSong.Close();
  catalogue_.tbList.Close();
  Write("B.txt", Lyric("second again", "two again"));
  Write("D.txt", Lyric("fourth", "four"));
  // In one run, the datasets stay open while Query1's own table objects
  // delete B's and C's rows from the same files.
  EXPECT_EQ(Import({"B.txt", "C.txt", "D.txt"}), 3);
  ASSERT_TRUE(catalogue_.tbSong.Active());
  ASSERT_TRUE(catalogue_.tbList.Active());
  // The open datasets see every change, their own and the query's.
  EXPECT_EQ(catalogue_.tbSong.RecordCount(), 4);
  EXPECT_EQ(catalogue_.tbList.RecordCount(), 12);
  EXPECT_EQ(SongRows(), (std::vector<std::string>{"A|first|one|author|M. Am|POP|maker",
                                                  "B|second again|two again|author|M. Am|POP|maker",
                                                  "C|third|three|author|M. Am|POP|maker",
                                                  "D|fourth|four|author|M. Am|POP|maker"}));
  // A keeps its rows; B and C get new IDs after every one used before.
  EXPECT_EQ(
      ListRowsById(),
      Join({ListRowsOf(1, "A", "first", "one"), ListRowsOf(10, "B", "second again", "two again"),
            ListRowsOf(13, "C", "third", "three"), ListRowsOf(16, "D", "fourth", "four")}));
  EXPECT_EQ(CheckBothTables(), std::vector<std::string>{});
}

// Has a second process take the all-records lock of `dataFile` when the
// status line shows `code`, that is before the code's statements run.
class TLockingStatus : public testing::TCollectedStatus {
 public:
  TLockingStatus(std::string code, std::string dataFile)
      : code_(std::move(code)), dataFile_(std::move(dataFile)) {}
  void ShowStatus(std::string_view text) override {
    TCollectedStatus::ShowStatus(text);
    if (text != "Song : " + code_) return;
    // The all-records range: 100,000,001 bytes from 2047483645.
    holder = std::make_unique<LockHolderProcess>(
        std::vector<std::string>{"range", dataFile_, "2047483645", "100000001", "120"});
  }
  std::unique_ptr<LockHolderProcess> holder;

 private:
  std::string code_;
  std::string dataFile_;
};

TEST_F(CatalogueSharing, AnotherProgramHoldingAllOfListEndsTheImportInTheListStatement) {
  Write("A.txt", Lyric("first", "one"));
  Write("B.txt", Lyric("second", "two"));
  Write("C.txt", Lyric("third", "three"));
  ASSERT_EQ(Import({"A.txt", "B.txt", "C.txt"}), 3);
  Write("A.txt", Lyric("first again", "one again"));
  Write("D.txt", Lyric("fourth", "four"));

  TLockingStatus status("C", Data() + "/list.DAT");
  const auto start = std::chrono::steady_clock::now();
  quire::TErrorCode code = 0;
  std::string message;
  try {
    Import({"A.txt", "B.txt", "C.txt", "D.txt"}, status);
  } catch (const quire::EQuireEngineError& e) {
    code = e.Code();
    message = e.Message();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_NE(status.holder, nullptr);
  EXPECT_EQ(status.holder->Line(), "locked");
  EXPECT_EQ(code, 10241);
  // The file as the statement names it ("Delete from List"), found on disk
  // as list.DAT: the error is the List statement's, not tbList's.
  const std::string text =
      "The data file " + Data() + "/List.DAT is already locked by another user";
  EXPECT_EQ(message, "Quire Engine Error # 10241 " + text.substr(0, 127));
  // The statement gave up only after its 15 retries, 100 ms apart (a lower
  // bound of the wait the lock settings ask for, not a speed).
  EXPECT_GE(waited, std::chrono::milliseconds(1500));
  EXPECT_EQ(status.shown,
            (std::vector<std::string>{"Song : A", "Song : B", "Song : C"}));  // D never reached

  // A and B were imported again; C's Song row is gone (its Song statement
  // ran) and its old List rows remain; D was never reached.
  EXPECT_EQ(SongRows(), (std::vector<std::string>{"A|first again|one again|author|M. Am|POP|maker",
                                                  "B|second|two|author|M. Am|POP|maker"}));
  EXPECT_EQ(ListRowsById(), Join({ListRowsOf(7, "C", "third", "three"),
                                  ListRowsOf(10, "A", "first again", "one again"),
                                  ListRowsOf(13, "B", "second", "two")}));
  status.holder->Stop();
  EXPECT_EQ(CheckBothTables(), std::vector<std::string>{});

  // Once the other program is gone, the same import runs to the end.
  EXPECT_EQ(Import({"A.txt", "B.txt", "C.txt", "D.txt"}), 4);
  EXPECT_EQ(Rows(catalogue_.tbSong, {"Code"}), (std::vector<std::string>{"A", "B", "C", "D"}));
  EXPECT_EQ(catalogue_.tbList.RecordCount(), 12);
  EXPECT_EQ(CheckBothTables(), std::vector<std::string>{});
}

}  // namespace
}  // namespace lyrabook
