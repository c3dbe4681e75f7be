#include "app/job_text.h"

#include <gtest/gtest.h>

#include "app/job_folder.h"

namespace orvalin {
namespace {

TEST(JobText, PageAddress) {
  struct Case {
    const char *productId, *expected;
  } cases[] = {
      {"603454384329", "https://detail.1688.com/offer/603454384329.html"},
      {"", "https://detail.1688.com/offer/.html"},
      {" 12 ", "https://detail.1688.com/offer/%2012%20.html"},
      {"1\r\nX-Injected: y", "https://detail.1688.com/offer/1%0D%0AX-Injected:%20y.html"},
      {"1\t2\x7F", "https://detail.1688.com/offer/1%092%7F.html"},
      {"\xD6\xD0#?%", "https://detail.1688.com/offer/\xD6\xD0#?%.html"},  // otherwise as typed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.productId);
    EXPECT_EQ(PageAddress(c.productId).View(), c.expected);
  }
  EXPECT_EQ(PageAddress("7", "http://localhost:81/offer/").View(), "http://localhost:81/offer/7.html");
}

TEST(JobText, PicturesAndFiles) {
  EXPECT_EQ(PictureAddress("https://a/b").View(), "https://a/b.jpg");
  EXPECT_EQ(PictureFilePath("0", 1).View(), "0\\1.jpg");
  EXPECT_EQ(PictureFilePath("000", 12).View(), "000\\12.jpg");
  EXPECT_EQ(CountMessage(0).View(), "图片数量：0");
  EXPECT_EQ(CountMessage(20).View(), "图片数量：20");
}

TEST(JobText, EndMessageIsHonest) {
  struct Case {
    JobOutcome outcome;
    const char* expected;
  } cases[] = {
      {{.pageFetched = true, .pictures = 2, .notSaved = 0}, "完成！"},
      {{.pageFetched = true, .pictures = 0, .notSaved = 0}, "完成！"},
      {{.pageFetched = false, .pictures = 0, .notSaved = 0}, "商品页面获取失败"},
      {{.pageFetched = true, .pictures = 20, .notSaved = 3}, "有3张图片未能保存（共20张）"},
  };
  for (const Case& c : cases) EXPECT_EQ(EndMessage(c.outcome).View(), c.expected);
}

// Each test runs in a process of its own, so JobFolderName starts empty.
TEST(JobFolder, GrowsByOneZeroPerJobUntilReleased) {
  EXPECT_EQ(NextJobFolder()->View(), "0");
  EXPECT_EQ(NextJobFolder()->View(), "00");
  EXPECT_EQ(NextJobFolder()->View(), "000");
  EXPECT_FALSE(JobsMustStop());
  ReleaseJobFolderName();
  EXPECT_TRUE(JobsMustStop());
  EXPECT_FALSE(NextJobFolder().has_value());
}

}  // namespace
}  // namespace orvalin
