// Songs recorded twice under different codes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/catalogue/DuplicateSongs.h"
#include "support/CatalogueScratch.h"

namespace lyrabook {
namespace {

class DuplicateSongs : public testing::CatalogueScratch {
 protected:
  void Song(const std::string& code, const std::string& name, const std::string& singer) {
    Write(code + ".txt", "m\r\nG\r\nx\r\nF\r\n" + name + "\r\n" + singer + "\r\nAuthor\r\n");
    names_.push_back(code + ".txt");
  }

  std::vector<std::string> Groups() {
    std::vector<std::string> lines;
    for (const TDuplicateSongs& group : FindDuplicateSongs(catalogue_, Data())) {
      std::string line = group.Name + "|" + group.Singer + ":";
      for (const std::string& code : group.Codes) line += " " + code;
      lines.push_back(line);
    }
    return lines;
  }

  std::vector<std::string> names_;
};

TEST_F(DuplicateSongs, SameNameAndSingerUnderOtherCodesLatinCaseAndBlanksAside) {
  const std::string love = "\xC3\xD1\xA1";  // Thai "rak" in code page 874
  const std::string bird = "\xB9\xA1";      // Thai "nok"
  Song("A1", "Love", "Bird");
  Song("B2", " love ", "BIRD");
  Song("C3", "Love", "Other singer");
  Song("D4", love, bird);
  Song("E5", love, bird);
  Song("F6", love, bird + "x");
  Song("G7", "", "");  // no name: nothing to tell two such songs apart by
  Song("H8", "", "");
  ASSERT_EQ(Import(names_), 8);
  EXPECT_EQ(Groups(),
            (std::vector<std::string>{"Love|Bird: A1 B2", love + "|" + bird + ": D4 E5"}));
}

TEST_F(DuplicateSongs, ACatalogueWithoutRepeatsHasNoGroups) {
  EXPECT_TRUE(Groups().empty());
  Song("A1", "One", "Singer");
  Song("B2", "Two", "Singer");
  ASSERT_EQ(Import(names_), 2);
  EXPECT_TRUE(Groups().empty());
}

}  // namespace
}  // namespace lyrabook
