#include "text/between.h"

#include <gtest/gtest.h>

#include "text_test_support.h"

namespace orvalin {
namespace {

const char kImageLeft[] = "{\"imageUrl\":\"";
const char kImageRight[] = ".jpg";

TEST(AllTextsBetween, Table) {
  struct Case {
    const char* what;
    const char *source, *left, *right;
    BetweenOptions options;
    std::vector<std::string> expected;
  } cases[] = {
      {"the job's markers", "a{\"imageUrl\":\"p/1.jpg\"},{\"imageUrl\":\"p/2.jpg\"}", kImageLeft,
       kImageRight, {}, {"p/1", "p/2"}},
      {"no left marker", "abc.jpg", kImageLeft, kImageRight, {}, {}},
      {"no right marker", "{\"imageUrl\":\"p/1.png", kImageLeft, kImageRight, {}, {}},
      {"blanks trimmed", "{\"imageUrl\":\"  p/1  .jpg", kImageLeft, kImageRight, {}, {"p/1"}},
      {"full-width blanks trimmed, tabs kept", "[" FULL_SPACE "\tx ]", "[", "]", {}, {"\tx"}},
      {"an empty value ends the extraction",
       "{\"imageUrl\":\"a.jpg{\"imageUrl\":\".jpg{\"imageUrl\":\"b.jpg", kImageLeft, kImageRight, {},
       {"a"}},
      {"a blank value ends it too", "[a][  ][b]", "[", "]", {}, {"a"}},
      {"case ignored by default", "{\"IMAGEURL\":\"a.JPG", kImageLeft, kImageRight, {}, {"a"}},
      {"case-sensitive", "{\"IMAGEURL\":\"a.JPG", kImageLeft, kImageRight, {.caseSensitive = true}, {}},
      {"one marker text closes and opens", "a|b|c|d", "|", "|", {}, {"b", "c"}},
      {"the cut crosses a second left marker", "[x[y]", "[", "]", {}, {"x[y"}},
      {"a cut over the limit ends it", "[abc][abcd][ab]", "[", "]", {.maxLength = 3}, {"abc"}},
      {"a negative limit ends it at once", "[a]", "[", "]", {.maxLength = -1}, {}},
      {"decoration order", "(a)", "(", ")",
       {.prefix = "p", .suffix = "s", .includeLeftMarker = true, .includeRightMarker = true},
       {"(pas)"}},
      {"the caller's marker text is put in", "abXY.", "AB", ".", {.includeLeftMarker = true},
       {"ABXY"}},
      {"empty right marker", "[a]", "[", "", {}, {}},
      {"empty left marker", "[a]", "", "]", {}, {}},
      {"start position", "[a][b]", "[", "]", {.startPosition = 2}, {"b"}},
      {"start position beyond the end", "[a]", "[", "]", {.startPosition = 9}, {}},
      {"markers are not found inside double-byte characters", "[x" DB_BAR "]|y|", "|", "|", {}, {"y"}},
      {"values hold double-byte text", "[\xD6\xD0\xCE\xC4]", "[", "]", {}, {"\xD6\xD0\xCE\xC4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TextArray results;
    ArrayAppend(results, "left over from before");
    const int count = AllTextsBetween(c.source, c.left, c.right, results, c.options);
    EXPECT_EQ(Members(results), c.expected);
    EXPECT_EQ(count, static_cast<int>(c.expected.size()));
  }
}

TEST(TextBetween, Table) {
  struct Case {
    const char* what;
    const char *source, *left, *right;
    int start;
    bool caseSensitive;
    const char* expected;
  } cases[] = {
      {"quote token on both sides", "a\"b\"c", "#引号", "#引号", 0, false, "b"},
      {"quote token inside a marker", "x=\"v\";", "=#引号", "#引号;", 0, false, "v"},
      {"not trimmed", "[ a ]", "[", "]", 0, false, " a "},
      {"start position", "[a][b]", "[", "]", 4, false, "b"},
      {"markers side by side", "[]", "[", "]", 0, false, ""},
      {"no left marker", "abc", "[", "]", 0, false, ""},
      {"no right marker", "[abc", "[", "]", 0, false, ""},
      {"empty right marker", "[abc]", "[", "", 0, false, ""},
      {"case ignored", "User-Agent: Mozilla\r\nX: y", "user-agent:", "\r\n", 0, false, " Mozilla"},
      {"case-sensitive", "User-Agent: Mozilla\r\n", "user-agent:", "\r\n", 0, true, ""},
      {"cookie value", "Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 0, false, " a=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(S(TextBetween(c.source, c.left, c.right, c.start, c.caseSensitive)), c.expected);
  }
}

TEST(TextBetween, LeavesTheCallersMarkersAlone) {
  const Text left("#引号");
  TextBetween("a\"b\"", left, left);
  EXPECT_EQ(S(left), "#引号");
}

}  // namespace
}  // namespace orvalin
