// What the download job tests share: a window that records what a job
// shows, page and file helpers, and a scratch folder as current directory.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "app/download_job.h"
#include "script_server.h"

namespace orvalin::testing {

// Records what a job shows, in order, and hands it a fixed product ID.
class RecordingWindow : public JobWindow {
 public:
  explicit RecordingWindow(std::string productId = "603454384329") : productId_(productId) {}
  Text ProductId() override { return Text(productId_); }
  void SetStatusPartText(int part, const Text& text) override {
    std::lock_guard<std::mutex> hold(lock_);
    shown_.push_back(std::to_string(part) + ":" + std::string(text.View()));
  }
  std::vector<std::string> Shown() {
    std::lock_guard<std::mutex> hold(lock_);
    return shown_;
  }

 private:
  std::string productId_;
  std::mutex lock_;
  std::vector<std::string> shown_;
};

inline std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The picture values of a page, in the page's data format.
inline std::string PageWith(const std::vector<std::string>& values) {
  std::string page = "<html><script>var data={\"skuProps\":[";
  for (const std::string& value : values) page += "{\"imageUrl\":\"" + value + ".jpg\"},";
  return page + "]};</script></html>";
}

// The names in a folder, sorted.
inline std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs each test in a scratch folder of its own, named after the test, below
// the tests' working directory, and makes it the current directory.
class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    // The script server is found through a file in the working directory,
    // which the test is about to leave.
    std::ifstream portFile("script-server.port");
    std::string port;
    portFile >> port;
    _putenv_s("ORVALIN_SCRIPT_SERVER_PORT", port.c_str());
    scratch_ = previous_ + "\\download_job_scratch\\" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(scratch_);
    std::filesystem::create_directories(scratch_);
    SetCurrentDirectoryA(scratch_.c_str());
  }
  void TearDown() override { SetCurrentDirectoryA(previous_.c_str()); }

  // Where product pages are asked for on the page server.
  static Text OfferStart(const ScriptedListener& pages) { return Text(pages.Url("/offer/")); }

  std::string previous_, scratch_;
};

}  // namespace orvalin::testing
