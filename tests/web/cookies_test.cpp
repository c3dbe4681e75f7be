#include "web/cookies.h"

#include <gtest/gtest.h>

namespace orvalin {
namespace {

TEST(MergeCookies, Table) {
  struct Case {
    const char *cookies, *newCookies, *result, *cookiesAfter, *newCookiesAfter;
  } cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3; c=4; a=1", "b=3;c=4"},
      {"a=1; b=2", "a=deleted", "b=2", "b=2", "a=deleted"},
      {"a=deleted; b=2", "", "b=2", "b=2", ""},
      {"", "c=4; c=4", "c=4", "c=4", "c=4;c=4"},
      {"", "c=4; c=5", "c=4; c=5", "c=4; c=5", "c=4;c=5"},
      {"a=1; a=2", "", "a=1", "a=1", ""},
      {"", "", "", "", ""},
      {"x = 1 ; y= 2", "", "x=1; y=2", "x=1; y=2", ""},
      {"x=\xA1\xA1" "1", "", "x=1", "x=1", ""},  // the full-width blank goes too
      {"A=1", "a=2", "a=2; A=1", "a=2; A=1", "a=2"},
      {"flag; a=1", "flag", "flag; a=1", "flag; a=1", "flag"},
      {"x=undeleted", "a=b=deleted", "x=undeleted", "x=undeleted", "a=b=deleted"},
      {"a=1;", "b=2;", "b=2; a=1", "b=2; a=1", "b=2;"},
      // Empty items name no cookie and never reach the merged string.
      {";a=1;;b=2", "", "a=1; b=2", "a=1; b=2", ""},
      {"", "c=3;;;", "c=3", "c=3", "c=3;;;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cookies) + " + " + c.newCookies);
    Text cookies(c.cookies), newCookies(c.newCookies);
    const Text result = MergeCookies(cookies, newCookies);
    EXPECT_EQ(result.View(), c.result);
    EXPECT_EQ(cookies.View(), c.cookiesAfter);
    EXPECT_EQ(newCookies.View(), c.newCookiesAfter);
  }
}

TEST(CookieName, Table) {
  struct Case {
    const char *item, *name;
  } cases[] = {{"a=b=c", "a"}, {"a =1", "a"}, {" a =1", "a"}, {"a", "a"}, {"=x", ""}, {"", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    EXPECT_EQ(CookieName(c.item).View(), c.name);
  }
}

TEST(CookieItems, DuplicatesAndLookup) {
  EXPECT_EQ(RemoveDuplicateItems("a; b; a", "; ").View(), "a; b");
  EXPECT_EQ(RemoveDuplicateItems("a; b; ", "; ").View(), "a; b");
  EXPECT_EQ(RemoveDuplicateItems("a; a=1", "; ").View(), "a; a=1");  // only identical items repeat
  EXPECT_TRUE(RemoveDuplicateItems("", "; ").IsAbsent());

  TextArray items;
  for (const char* item : {"x", "y", "x"}) ArrayAppend(items, item);
  EXPECT_EQ(IndexOfText(items, "x"), 1);
  EXPECT_EQ(IndexOfText(items, "y"), 2);
  EXPECT_EQ(IndexOfText(items, "z"), -1);
  EXPECT_EQ(IndexOfText(TextArray(), ""), -1);
  EXPECT_TRUE(HasCookieNamed(items, "y"));
  EXPECT_FALSE(HasCookieNamed(items, "Y"));
}

}  // namespace
}  // namespace orvalin
