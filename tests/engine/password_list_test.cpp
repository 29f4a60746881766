// The password list and the session's password rules.

#include <gtest/gtest.h>

#include <string>

#include "engine/FileSession.h"
#include "engine/PasswordList.h"

namespace quire {
namespace {

TEST(PasswordList, EmptyPasswordIsIgnored) {
  TPasswordList list;
  list.Add("");
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(list.Contains(""));
}

TEST(PasswordList, MatchIsExactCaseAndBlanksIncluded) {
  TPasswordList list;
  list.Add(" Secret ");
  EXPECT_TRUE(list.Contains(" Secret "));
  EXPECT_FALSE(list.Contains("Secret"));
  EXPECT_FALSE(list.Contains(" secret "));
  EXPECT_FALSE(list.Contains(" SECRET "));
  EXPECT_FALSE(list.Contains(" Secret"));
}

TEST(PasswordList, RemoveTakesOnlyTheFirstEqualEntry) {
  TPasswordList list;
  list.Add("alpha");
  list.Add("beta");
  list.Add("alpha");
  list.Remove("ALPHA");  // differs in case: nothing removed
  EXPECT_EQ(list.Count(), 3u);
  list.Remove("alpha");
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_TRUE(list.Contains("alpha"));
  list.Remove("alpha");
  EXPECT_FALSE(list.Contains("alpha"));
  EXPECT_TRUE(list.Contains("beta"));
  list.Remove("gamma");
  EXPECT_EQ(list.Count(), 1u);
}

TEST(PasswordList, RemoveAllEmptiesTheList) {
  TPasswordList list;
  list.Add("one");
  list.Add("two");
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(list.Contains("one"));
  EXPECT_FALSE(list.Contains("two"));
}

TEST(PasswordList, EntriesHoldAt255Characters) {
  TPasswordList list;
  const std::string longPassword = std::string(255, 'p') + "tail";
  list.Add(longPassword);
  EXPECT_TRUE(list.Contains(std::string(255, 'p')));
  EXPECT_TRUE(list.Contains(longPassword));  // the same text finds its entry
  EXPECT_FALSE(list.Contains(std::string(254, 'p')));
  list.Remove(longPassword);
  EXPECT_EQ(list.Count(), 0u);
}

TEST(SessionPasswords, AddingTwiceKeepsOneEntry) {
  TFileSession session;
  session.AddPassword("tlk2020");
  session.AddPassword("tlk2020");
  session.AddPassword("");
  EXPECT_EQ(session.Passwords().Count(), 1u);
  EXPECT_TRUE(session.TestPassword("tlk2020"));

  session.AddPassword("TLK2020");
  EXPECT_EQ(session.Passwords().Count(), 2u);
  session.RemovePassword("TLK2020");
  EXPECT_TRUE(session.TestPassword("tlk2020"));
  EXPECT_FALSE(session.TestPassword("TLK2020"));

  session.RemoveAllPasswords();
  EXPECT_FALSE(session.TestPassword("tlk2020"));
  EXPECT_EQ(session.Passwords().Count(), 0u);
}

}  // namespace
}  // namespace quire
