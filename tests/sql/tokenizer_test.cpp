// The SQL tokenizer: token kinds and texts, blanks and comments, quoted and
// bracketed tokens with their messages, numbers, keywords and the text of an
// expression.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sql/ExpressionParser.h"
#include "support/ExpressionTesting.h"

namespace quire::testing {
namespace {

using TToken = std::pair<int, std::string>;

// Every token of `text` up to the end, as (kind, TokenText).
std::vector<TToken> Tokens(std::string_view text) {
  TExpressionParser parser;
  parser.Load(text);
  std::vector<TToken> tokens;
  while (parser.ReadToken() != tkEnd) {
    tokens.emplace_back(parser.Kind(), parser.TokenText());
    if (tokens.size() > 1000) break;  // a tokenizer that never ends
  }
  EXPECT_EQ(parser.TokenText(), "");
  return tokens;
}

// The message of reading every token of `text`.
std::string TokenizeMessage(std::string_view text) {
  return SqlMessageOf([&] { Tokens(text); });
}

TEST(Tokenizer, ReadsEachKindWithItsText) {
  EXPECT_EQ(Tokens("Code_1 [Song Name] 'it''s' \"dq\" 42 4.5"),
            (std::vector<TToken>{{tkSymbol, "Code_1"},
                                 {tkBracketed, "Song Name"},
                                 {tkString, "it''s"},
                                 {tkString, "dq"},
                                 {tkInteger, "42"},
                                 {tkFloat, "4.5"}}));
  // A symbol may start with "_"; a digit ends no symbol but starts none.
  EXPECT_EQ(Tokens("_a9 9a"),
            (std::vector<TToken>{{tkSymbol, "_a9"}, {tkInteger, "9"}, {tkSymbol, "a"}}));
}

TEST(Tokenizer, UpperHalfBytesAreLettersButNot128And255) {
  // Thai "song" in code page 874, then bytes 128 and 255, which are not.
  EXPECT_EQ(Tokens("\xE0\xBE\xC5\xA7x1 a\x80"
                   "b\xFF"),
            (std::vector<TToken>{{tkSymbol, "\xE0\xBE\xC5\xA7x1"},
                                 {tkSymbol, "a"},
                                 {0x80, "\x80"},
                                 {tkSymbol, "b"},
                                 {0xFF, "\xFF"}}));
  EXPECT_EQ(Tokens("\x81\xFE"), (std::vector<TToken>{{tkSymbol, "\x81\xFE"}}));
}

TEST(Tokenizer, OtherCharactersAreOneCharacterTokensOfTheirOwnCode) {
  const std::string singles = "(),=<>?*+-/|.;:!@#$%&^~{}\\`]";
  std::vector<TToken> expected;
  for (char c : singles) expected.emplace_back(static_cast<unsigned char>(c), std::string(1, c));
  EXPECT_EQ(Tokens(singles), expected);
  // Two-character operators are two tokens, with or without a blank between.
  EXPECT_EQ(Tokens("<> < > <= >= ||"), (std::vector<TToken>{{'<', "<"},
                                                            {'>', ">"},
                                                            {'<', "<"},
                                                            {'>', ">"},
                                                            {'<', "<"},
                                                            {'=', "="},
                                                            {'>', ">"},
                                                            {'=', "="},
                                                            {'|', "|"},
                                                            {'|', "|"}}));
}

TEST(Tokenizer, SkipsBlanksAndControlCharacters) {
  EXPECT_EQ(Tokens(" \t\r\n\x01\x1F a\x7F"),
            (std::vector<TToken>{{tkSymbol, "a"}, {0x7F, "\x7F"}}));
  EXPECT_TRUE(Tokens(" \n\t ").empty());
  // An embedded zero byte ends the text.
  EXPECT_EQ(Tokens(std::string("a\0b", 3)), (std::vector<TToken>{{tkSymbol, "a"}}));
}

TEST(Tokenizer, SkipsComments) {
  EXPECT_EQ(
      Tokens("/* lead */ a /**/ b/*x*//* y */c /* a * lone star */ d /***/ e /* ** */"),
      (std::vector<TToken>{
          {tkSymbol, "a"}, {tkSymbol, "b"}, {tkSymbol, "c"}, {tkSymbol, "d"}, {tkSymbol, "e"}}));
  // Not nested: the first "*/" closes, and the rest is read as tokens.
  EXPECT_EQ(Tokens("/* a /* b */ c */"),
            (std::vector<TToken>{{tkSymbol, "c"}, {'*', "*"}, {'/', "/"}}));
  // "/*/" opens a comment and does not close it.
  EXPECT_EQ(Tokens("/*/ x */ y"), (std::vector<TToken>{{tkSymbol, "y"}}));
  // A slash and a star apart are two tokens; there is no line comment.
  EXPECT_EQ(Tokens("a / * b -- c"), (std::vector<TToken>{{tkSymbol, "a"},
                                                         {'/', "/"},
                                                         {'*', "*"},
                                                         {tkSymbol, "b"},
                                                         {'-', "-"},
                                                         {'-', "-"},
                                                         {tkSymbol, "c"}}));
}

TEST(Tokenizer, UnclosedCommentIsRefused) {
  const std::string message = "Missing ending comment slash and asterisk in SQL statement";
  EXPECT_EQ(TokenizeMessage("a /* never closed"), message);
  EXPECT_EQ(TokenizeMessage("/*"), message);
  EXPECT_EQ(TokenizeMessage("/*/"), message);
  EXPECT_EQ(TokenizeMessage("a /* closed */ /* * /"), message);
}

TEST(Tokenizer, QuotedTokensKeepDoubledQuotesInTheirText) {
  EXPECT_EQ(Tokens("'O''Neil' \"say \"\"hi\"\"\" '' 'a\"b' \"a'b\" 'ab'''"),
            (std::vector<TToken>{{tkString, "O''Neil"},
                                 {tkString, "say \"\"hi\"\""},
                                 {tkString, ""},
                                 {tkString, "a\"b"},
                                 {tkString, "a'b"},
                                 {tkString, "ab''"}}));
  // Two quoted tokens side by side with a blank are two tokens.
  EXPECT_EQ(Tokens("'a' 'b'"), (std::vector<TToken>{{tkString, "a"}, {tkString, "b"}}));
  // Comment marks inside quotes and brackets are text.
  EXPECT_EQ(Tokens("'/* x */' [/*]"),
            (std::vector<TToken>{{tkString, "/* x */"}, {tkBracketed, "/*"}}));
}

TEST(Tokenizer, StringValueReducesDoubledQuotes) {
  TExpressionParser parser;
  parser.Load("'O''Neil' \"a\"\"b\" 'x\"\"y' '''' [a''b] sym");
  const std::vector<std::string> expected = {"O'Neil", "a\"b", "x\"\"y", "'", "a''b", "sym"};
  for (const std::string& value : expected) {
    parser.ReadToken();
    EXPECT_EQ(parser.StringValue(), value);
  }
}

TEST(Tokenizer, BracketedNameEndsAtTheFirstBracket) {
  EXPECT_EQ(Tokens("[a]b] [x y] [] [it's]"), (std::vector<TToken>{{tkBracketed, "a"},
                                                                  {tkSymbol, "b"},
                                                                  {']', "]"},
                                                                  {tkBracketed, "x y"},
                                                                  {tkBracketed, ""},
                                                                  {tkBracketed, "it's"}}));
}

TEST(Tokenizer, MissingClosingDelimiterShowsTheRestOfTheText) {
  EXPECT_EQ(TokenizeMessage("Code = 'A1"), "Missing single quote after 'A1' in SQL statement");
  EXPECT_EQ(TokenizeMessage("x = 'it''s"), "Missing single quote after 'it''s' in SQL statement");
  EXPECT_EQ(TokenizeMessage("'"), "Missing single quote after '' in SQL statement");
  EXPECT_EQ(TokenizeMessage("\"ab\ncd"), "Missing double quote after 'ab\ncd' in SQL statement");
  EXPECT_EQ(TokenizeMessage("[Song Name = 1"),
            "Missing right bracket after 'Song Name = 1' in SQL statement");
  // The rest is cut to 255 characters, and the message as the session keeps
  // it to 255 as well.
  const std::string rest(300, 'x');
  const auto kept = [](const std::string& message) { return message.substr(0, 255); };
  EXPECT_EQ(TokenizeMessage("a = '" + rest),
            kept("Missing single quote after '" + rest.substr(0, 255) + "' in SQL statement"));
  EXPECT_EQ(TokenizeMessage("[" + rest),
            kept("Missing right bracket after '" + rest.substr(0, 255) + "' in SQL statement"));
  EXPECT_EQ(TokenizeMessage("\"" + rest),
            kept("Missing double quote after '" + rest.substr(0, 255) + "' in SQL statement"));
}

TEST(Tokenizer, NumbersTakeASignOnlyInTheExponent) {
  EXPECT_EQ(Tokens("12-3"), (std::vector<TToken>{{tkInteger, "12"}, {'-', "-"}, {tkInteger, "3"}}));
  EXPECT_EQ(Tokens("7+"), (std::vector<TToken>{{tkInteger, "7"}, {'+', "+"}}));
  EXPECT_EQ(Tokens("1.5E+3"), (std::vector<TToken>{{tkFloat, "1.5E+3"}}));
  EXPECT_EQ(Tokens("2e-4+1"),
            (std::vector<TToken>{{tkFloat, "2e-4"}, {'+', "+"}, {tkInteger, "1"}}));
  EXPECT_EQ(Tokens("1.5-2"), (std::vector<TToken>{{tkFloat, "1.5"}, {'-', "-"}, {tkInteger, "2"}}));
  EXPECT_EQ(Tokens("1.2.3"), (std::vector<TToken>{{tkFloat, "1.2.3"}}));
  EXPECT_EQ(Tokens("1E5E5"), (std::vector<TToken>{{tkFloat, "1E5E5"}}));
  EXPECT_EQ(Tokens("5."), (std::vector<TToken>{{tkFloat, "5."}}));
  // A number never starts with a point or a sign.
  EXPECT_EQ(Tokens(".5 -5"),
            (std::vector<TToken>{{'.', "."}, {tkInteger, "5"}, {'-', "-"}, {tkInteger, "5"}}));
  // Other letters end the number.
  EXPECT_EQ(Tokens("12abc 3x"),
            (std::vector<TToken>{
                {tkInteger, "12"}, {tkSymbol, "abc"}, {tkInteger, "3"}, {tkSymbol, "x"}}));
  EXPECT_EQ(Tokens("0012"), (std::vector<TToken>{{tkInteger, "0012"}}));
}

TEST(Tokenizer, NumberTokensThatDoNotConvertAreRefused) {
  // The conversion fails when the grammar turns the token into a constant.
  for (const char* text : {"1.2.3", "1E5E5", "99999999999"}) {
    const std::string message = SqlMessageOf([&] { ParseText(text); });
    EXPECT_NE(message.find(text), std::string::npos) << message;
    EXPECT_NE(message, "(no error)") << text;
  }
  EXPECT_EQ(SqlMessageOf([] { ParseText("2147483647 = 1.5E+3"); }), "(no error)");
}

TEST(Tokenizer, TokenTextIsCutTo255Characters) {
  const std::string longName(300, 'n');
  const std::string longDigits(300, '7');
  for (const std::string& text :
       {longName, "[" + longName + "]", "'" + longName + "'", "\"" + longName + "\"", longDigits}) {
    TExpressionParser parser;
    parser.Load(text + " next");
    parser.ReadToken();
    EXPECT_EQ(parser.TokenText().size(), 255u) << text.substr(0, 3);
    EXPECT_EQ(parser.TokenText(),
              text.substr(text[0] == '[' || text[0] == '\'' || text[0] == '"' ? 1 : 0, 255));
    // The scan itself runs on to the end of the long token.
    parser.ReadToken();
    EXPECT_EQ(parser.TokenText(), "next");
  }
}

TEST(Tokenizer, KeywordsAreSymbolsOrBracketedNamesInAnyCase) {
  const auto keyword = [](std::string_view text, std::string_view word) {
    TExpressionParser parser;
    parser.Load(text);
    parser.ReadToken();
    return parser.IsKeyword(word);
  };
  EXPECT_TRUE(keyword("from", "FROM"));
  EXPECT_TRUE(keyword("FrOm", "FROM"));
  EXPECT_TRUE(keyword("[FROM]", "FROM"));
  EXPECT_TRUE(keyword("[from]", "FROM"));
  EXPECT_FALSE(keyword("'FROM'", "FROM"));
  EXPECT_FALSE(keyword("\"FROM\"", "FROM"));
  EXPECT_FALSE(keyword("FROMX", "FROM"));
  EXPECT_FALSE(keyword("FRO", "FROM"));
  EXPECT_FALSE(keyword("[ FROM ]", "FROM"));
  EXPECT_FALSE(keyword("12", "12"));
  EXPECT_FALSE(keyword("", ""));
}

TEST(Tokenizer, KindQueriesFollowTheCurrentToken) {
  TExpressionParser parser;
  parser.Load("a (");
  EXPECT_EQ(parser.Kind(), tkEnd);
  EXPECT_EQ(parser.ReadToken(), tkSymbol);
  EXPECT_TRUE(parser.TokenKindIs(tkSymbol));
  EXPECT_FALSE(parser.TokenKindIs('('));
  EXPECT_EQ(parser.ReadToken(), '(');
  EXPECT_TRUE(parser.TokenKindIs(40));
  EXPECT_EQ(parser.ReadToken(), tkEnd);
  EXPECT_EQ(parser.ReadToken(), tkEnd);  // stays at the end
}

TEST(Tokenizer, LoadStartsAfreshAndFreeForgets) {
  TExpressionParser parser;
  parser.Load("first second");
  parser.ReadToken();
  parser.ReadToken();
  parser.Load("other");
  EXPECT_EQ(parser.Kind(), tkEnd);
  parser.ReadToken();
  EXPECT_EQ(parser.TokenText(), "other");
  parser.Free();
  EXPECT_EQ(parser.ReadToken(), tkEnd);
  EXPECT_EQ(parser.TokenText(), "");
}

// The text of the expression that starts at the first token of `text`.
std::string ExpressionTextOf(std::string_view text) {
  TExpressionParser parser;
  parser.Load(text);
  parser.ReadToken();
  parser.MarkExpressionStart();
  ParseExpression(parser, kAllParseFlags, kClauseSourceColumns);
  return parser.ExpressionText();
}

TEST(Tokenizer, ExpressionTextRunsFromTheMarkToTheLastTokenOfTheExpression) {
  EXPECT_EQ(ExpressionTextOf("a + b, c"), "a + b");
  EXPECT_EQ(ExpressionTextOf("  Price /* tax */ * 2   FROM t"), "Price /* tax */ * 2");
  EXPECT_EQ(ExpressionTextOf("UPPER( [Song Name] )"), "UPPER( [Song Name] )");
  EXPECT_EQ(ExpressionTextOf("'it''s'  ,"), "'it''s'");
  // After a statement keyword, in the middle of the text.
  TExpressionParser parser;
  parser.Load("VALUES (1 + 2 , 'x')");
  parser.ReadToken();
  parser.ReadToken();
  parser.ReadToken();
  parser.MarkExpressionStart();
  ParseExpression(parser, pfParams, kClauseValues);
  EXPECT_EQ(parser.ExpressionText(), "1 + 2");
  parser.ReadToken();
  parser.MarkExpressionStart();
  ParseExpression(parser, pfParams, kClauseValues);
  EXPECT_EQ(parser.ExpressionText(), "'x'");
}

TEST(Tokenizer, ExpressionTextLongerThan255IsRefused) {
  // "a + b + ..." of exactly 255 characters passes; one more does not.
  std::string text = "x";
  while (text.size() < 251) text += " + x";
  text += std::string(255 - text.size(), 'y');
  ASSERT_EQ(text.size(), 255u);
  EXPECT_EQ(ExpressionTextOf(text + " , z"), text);
  EXPECT_EQ(SqlMessageOf([&] { ExpressionTextOf(text + "y , z"); }),
            "Source column expression exceeds maximum expression length of 255 characters");
}

}  // namespace
}  // namespace quire::testing
