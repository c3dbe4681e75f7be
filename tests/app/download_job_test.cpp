// The download job against loopback servers standing in for the marketplace
// and its picture host. Each test runs in a process of its own (ctest), so
// its first job writes into the folder "0", below a scratch folder that the
// test makes its current directory.
#include "app/download_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "job_test_support.h"

namespace orvalin {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::Files;
using testing::HttpReply;
using testing::PageWith;
using testing::RecordingWindow;
using testing::Reply;
using testing::ScriptedListener;

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

class DownloadJob : public testing::JobTest {};

TEST_F(DownloadJob, SavesThePicturesInPageOrder) {
  ScriptedListener pictures({{HttpReply(200, {}, "first picture")}, {HttpReply(200, {}, "second")}});
  const std::string a = pictures.Url("/img/a"), b = pictures.Url("/img/b");
  ScriptedListener pages({{HttpReply(200, {}, PageWith({a, b}))}});
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));

  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"0:图片数量：2", "1:" + a + ".jpg",
                                                      "1:" + b + ".jpg", "1:完成！"}));
  EXPECT_EQ(Content("0\\1.jpg"), "first picture");
  EXPECT_EQ(Content("0\\2.jpg"), "second");
  EXPECT_EQ(Files("0"), (std::vector<std::string>{"1.jpg", "2.jpg"}));
  const std::vector<std::string> sent = pictures.RequestList();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(testing::RequestLine(sent[0]), "GET /img/a.jpg HTTP/1.0");
  EXPECT_EQ(testing::RequestLine(sent[1]), "GET /img/b.jpg HTTP/1.0");
  EXPECT_EQ(testing::FirstRequestLine(pages), "GET /offer/603454384329.html HTTP/1.1");
}

TEST_F(DownloadJob, DuplicatesErrorPagesAndCutAddresses) {
  ScriptedListener pictures({{HttpReply(200, {}, "one")},
                             {HttpReply(200, {}, "one again")},
                             {HttpReply(404, {}, "<html>missing</html>")},
                             {HttpReply(200, {}, "cut")}});
  const std::string a = pictures.Url("/a"), missing = pictures.Url("/gone"),
                    fragment = pictures.Url("/c?x=1#frag");
  ScriptedListener pages({{HttpReply(200, {}, PageWith({a, a, missing, fragment}))}});
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));

  EXPECT_EQ(Content("0\\1.jpg"), "one");
  EXPECT_EQ(Content("0\\2.jpg"), "one again");
  EXPECT_EQ(Content("0\\3.jpg"), "<html>missing</html>");  // an error page is saved as it came
  EXPECT_EQ(Content("0\\4.jpg"), "cut");
  const std::vector<std::string> sent = pictures.RequestList();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(testing::RequestLine(sent[3]), "GET /c?x=1 HTTP/1.0");  // nothing from "#" on
  EXPECT_EQ(window.Shown().back(), "1:完成！");
}

TEST_F(DownloadJob, AFailedPictureKeepsItsNumberAndIsReported) {
  ScriptedListener pictures({{HttpReply(200, {}, "good")}});
  const std::string good = pictures.Url("/good");
  const std::string unreachable = "http://localhost:" + std::to_string(testing::UnusedPort()) + "/x";
  ScriptedListener pages({{HttpReply(200, {}, PageWith({unreachable, good}))}});
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));

  EXPECT_EQ(fs::file_size("0\\1.jpg"), 0u);  // the placeholder under its number
  EXPECT_EQ(Content("0\\2.jpg"), "good");
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"0:图片数量：2", "1:" + unreachable + ".jpg",
                                                      "1:" + good + ".jpg",
                                                      "1:有1张图片未能保存（共2张）"}));
}

TEST_F(DownloadJob, AnUnfetchablePageSaysSoAndStillTakesAFolderName) {
  RecordingWindow window;
  const std::string nowhere = "http://localhost:" + std::to_string(testing::UnusedPort()) + "/offer/";
  RunDownloadJob(window, Text(nowhere));
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"0:图片数量：0", "1:商品页面获取失败"}));
  EXPECT_FALSE(fs::exists("0"));

  // A page without pictures is a success; the next job after both uses "000".
  ScriptedListener pictures({{HttpReply(200, {}, "p")}});
  ScriptedListener pages({{HttpReply(200, {}, "<html>no pictures here</html>")},
                          {HttpReply(200, {}, PageWith({pictures.Url("/p")}))}});
  RecordingWindow second, third;
  RunDownloadJob(second, OfferStart(pages));
  EXPECT_EQ(second.Shown(), (std::vector<std::string>{"0:图片数量：0", "1:完成！"}));
  RunDownloadJob(third, OfferStart(pages));
  EXPECT_EQ(Files("."), (std::vector<std::string>{"000"}));
  EXPECT_EQ(Content("000\\1.jpg"), "p");
}

TEST_F(DownloadJob, TheProductIdCannotSplitTheRequest) {
  ScriptedListener pages({{HttpReply(200, {}, "")}});
  RecordingWindow window("1 2\r\nX-Injected: yes");
  RunDownloadJob(window, OfferStart(pages));
  EXPECT_EQ(testing::FirstRequestLine(pages), "GET /offer/1%202%0D%0AX-Injected:%20yes.html HTTP/1.1");
  EXPECT_FALSE(testing::Sent(pages, "\r\nX-Injected"));
}

TEST_F(DownloadJob, TwoJobsAtOnceKeepToTheirOwnFolders) {
  // Every picture request gets the same body: what matters is where it goes.
  ScriptedListener pictures({{HttpReply(200, {}, "picture")}});
  std::vector<std::string> values;
  for (int i = 0; i < 5; ++i) values.push_back(pictures.Url("/p" + std::to_string(i)));
  ScriptedListener pages({{HttpReply(200, {}, PageWith(values))}});
  RecordingWindow first, second;
  std::thread one([&] { RunDownloadJob(first, OfferStart(pages)); });
  std::thread two([&] { RunDownloadJob(second, OfferStart(pages)); });
  one.join();
  two.join();

  const std::vector<std::string> numbered{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"};
  EXPECT_EQ(Files("."), (std::vector<std::string>{"0", "00"}));
  EXPECT_EQ(Files("0"), numbered);
  EXPECT_EQ(Files("00"), numbered);
  EXPECT_EQ(pictures.RequestCount(), 10);
  EXPECT_EQ(first.Shown().back(), "1:完成！");
  EXPECT_EQ(second.Shown().back(), "1:完成！");
}

// A real product page, its picture host replaced by the local server.
TEST_F(DownloadJob, ARealPage) {
  std::string page = Content(previous_ + "\\offer_1018189511965.html");
  ASSERT_FALSE(page.empty());
  std::vector<Reply> replies;
  for (int i = 1; i <= 4; ++i) replies.push_back({HttpReply(200, {}, "picture " + std::to_string(i))});
  ScriptedListener pictures(replies);
  page = ReplaceAll(page, "https://cbu01.alicdn.com/", pictures.Url("/"));
  ScriptedListener pages({{HttpReply(200, {}, page)}});
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));

  EXPECT_EQ(Files("0"), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(Content("0\\" + std::to_string(i) + ".jpg"), "picture " + std::to_string(i));
  }
  const std::vector<std::string> shown = window.Shown();
  EXPECT_EQ(shown.front(), "0:图片数量：4");
  EXPECT_EQ(shown[1], "1:" + pictures.Url("/img/ibank/O1CN01DIvkgq1TVIWylcvPz_!!1055682387-0-cib.jpg"));
  EXPECT_EQ(shown.back(), "1:完成！");
}

}  // namespace
}  // namespace orvalin
