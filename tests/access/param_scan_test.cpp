#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/ParamScan.h"

namespace quire {
namespace {

using Names = std::vector<std::string>;

TEST(ParamScan, ReferencesBecomeMarkersInOrder) {
  const TScannedText scanned = ScanParameters("SELECT * FROM Song WHERE Code = :c\r\n");
  EXPECT_EQ(scanned.names, Names{"c"});
  EXPECT_EQ(scanned.engineText, "SELECT * FROM Song WHERE Code = ?\r\n");

  const TScannedText two = ScanParameters("UPDATE Song SET Name = :name WHERE Code=:code");
  EXPECT_EQ(two.names, (Names{"name", "code"}));
  EXPECT_EQ(two.engineText, "UPDATE Song SET Name = ? WHERE Code=?");

  // A name used twice is two parameters.
  EXPECT_EQ(ScanParameters(":a OR :a").names, (Names{"a", "a"}));
}

TEST(ParamScan, ANameEndsAtLineEndsBlanksBracketsCommasAndSemicolons) {
  const TScannedText scanned = ScanParameters("(:a,:b):c;:d\r:e\n:f :g");
  EXPECT_EQ(scanned.names, (Names{"a", "b", "c", "d", "e", "f", "g"}));
  EXPECT_EQ(scanned.engineText, "(?,?)?;?\r?\n? ?");
  // Other characters belong to the name.
  EXPECT_EQ(ScanParameters("Code=:x.y+1").names, Names{"x.y+1"});
}

TEST(ParamScan, ColonsInsideLiteralsAndDoubledColonsAreNoReferences) {
  const TScannedText quoted = ScanParameters("Delete from Song where Code = '10:01'\r\n");
  EXPECT_TRUE(quoted.names.empty());
  EXPECT_EQ(quoted.engineText, "Delete from Song where Code = '10:01'\r\n");
  EXPECT_TRUE(ScanParameters("Name = \"a :b\"").names.empty());

  const TScannedText doubled = ScanParameters("Code = '1' || '::' AND T = 10::30");
  EXPECT_TRUE(doubled.names.empty());
  // Inside the literal the text stays as written; outside "::" is one ":".
  EXPECT_EQ(doubled.engineText, "Code = '1' || '::' AND T = 10:30");

  // A colon closing the text starts nothing.
  EXPECT_EQ(ScanParameters("x = :").engineText, "x = :");
  EXPECT_TRUE(ScanParameters("x = :").names.empty());
}

TEST(ParamScan, EitherQuoteTogglesTheLiteral) {
  // The double quote inside the apostrophes ends the literal, the second
  // apostrophe opens another one, and the reference inside it is text.
  const TScannedText crossed = ScanParameters("Name = 'say \"hi' AND Code = :c");
  EXPECT_TRUE(crossed.names.empty());
  EXPECT_EQ(crossed.engineText, "Name = 'say \"hi' AND Code = :c");
  // A lone quote of the other kind inside a literal turns what follows it
  // out of the literal: the colon there starts a reference, whose name then
  // opens quotes of its own and runs to the end.
  const TScannedText out = ScanParameters("Name = 'a\" :x' AND Code = :c");
  EXPECT_EQ(out.names, Names{"x' AND Code = :c"});
  EXPECT_EQ(out.engineText, "Name = 'a\" ?");
  // Matched pairs behave as literals of either kind.
  EXPECT_EQ(ScanParameters("A = '\"\"' AND B = :b").names, Names{"b"});
}

TEST(ParamScan, AQuotedNameMayHoldSeparatorsAndLosesItsQuotes) {
  const TScannedText scanned = ScanParameters("Code = :\"song code\" AND Name = :'a, b'");
  EXPECT_EQ(scanned.names, (Names{"song code", "a, b"}));
  EXPECT_EQ(scanned.engineText, "Code = ? AND Name = ?");
  // An unclosed quoted name runs to the end.
  EXPECT_EQ(ScanParameters("Code = :'open end").names, Names{"open end"});
  // After its closing quote the name runs on to a separator.
  EXPECT_EQ(ScanParameters(":'a b'c d").names, Names{"a b'c"});
}

}  // namespace
}  // namespace quire
