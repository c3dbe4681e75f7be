// The Windows tests run under Wine, which takes its ANSI code page from the
// Unix locale and silently falls back to 1252 when the zh_CN locale is
// missing. Then GBK text turns into mojibake while byte-level tests still
// pass; this test makes such an environment fail loudly.
#include <windows.h>

#include <gtest/gtest.h>

TEST(CodePage, AnsiCodePageIs936) {
  EXPECT_EQ(GetACP(), 936u);
}
