// The download job under faults of the marketplace, of the picture hosts and
// of the disk: each row names the fault and what the job shows and leaves on
// disk. Rows run one job each in a folder of their own, below the test's
// scratch folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/download_job.h"
#include "app/job_folder.h"
#include "app/kernel_handle.h"
#include "job_test_support.h"
#include "server_goes_away.h"

namespace orvalin {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::Files;
using testing::HttpReply;
using testing::Misbehaviour;
using testing::PageWith;
using testing::RecordingWindow;
using testing::Reply;
using testing::ScriptedListener;
using testing::Tls;

using FileList = std::vector<std::pair<std::string, std::string>>;  // name, content

// The names in `folder` (a path the ANSI calls take), without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Removes the file or folder (of files) `name` below the current directory.
void RemoveEntry(const std::string& name) {
  for (const std::string& file : FolderEntries(name)) {
    const std::string path = name + "\\" + file;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!RemoveDirectoryA(name.c_str())) DeleteFileA(name.c_str());
}

class DownloadJobFaults : public testing::JobTest {
 protected:
  void SetUp() override {
    // The full paths of late job folders pass MAX_PATH, and std::filesystem
    // cannot remove what an earlier run left of them: empty each row's
    // folder through short relative paths first.
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string scratch = std::string(current) + "\\download_job_scratch\\" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (const std::string& row : FolderEntries(scratch)) {
      if (!SetCurrentDirectoryA((scratch + "\\" + row).c_str())) continue;
      for (const std::string& entry : FolderEntries(".")) RemoveEntry(entry);
    }
    SetCurrentDirectoryA(current);
    JobTest::SetUp();
  }

  // Makes a new folder below the scratch folder the current directory.
  void EnterRowFolder(int row) {
    const std::string folder = scratch_ + "\\" + std::to_string(row);
    fs::create_directories(folder);
    SetCurrentDirectoryA(folder.c_str());
  }

  // The folder name the next job will take: one name is taken here, and the
  // job takes the one after it.
  static std::string NextJobsFolder() { return std::string(NextJobFolder()->View()) + "0"; }

  // The same for a name of `length` zeros, at least two longer than the
  // last name taken.
  static std::string JobsFolderOfLength(std::size_t length) {
    std::string name;
    do {
      name = NextJobsFolder();
    } while (name.size() < length);
    return name;
  }

  // The files of a job folder with their contents, in name order.
  static FileList FolderFiles(const std::string& folder) {
    FileList files;
    for (const std::string& name : FolderEntries(folder)) {
      files.emplace_back(name, Content(folder + "\\" + name));
    }
    return files;
  }
};

std::string NotSaved(int notSaved, int pictures) {
  return "1:有" + std::to_string(notSaved) + "张图片未能保存（共" + std::to_string(pictures) +
         "张）";
}

// A page the server sends in part: the first part holds one picture value;
// after the fault would come padding and a second value.
struct CutPage {
  std::string reply;
  std::size_t cut;  // bytes of `reply` that go out before the fault
};

CutPage PageCutAfterItsFirstPicture(const std::string& first, const std::string& second) {
  const std::string head = PageWith({first});
  const std::string page = head + std::string(300 * 1024, ' ') + PageWith({second});
  const std::string reply = HttpReply(200, {}, page);
  return {reply, reply.size() - page.size() + head.size() + 100 * 1024};
}

TEST_F(DownloadJobFaults, PageFaults) {
  ScriptedListener pictures({{HttpReply(200, {}, "picture")}});
  const std::string a = pictures.Url("/a"), b = pictures.Url("/b");
  const CutPage cut = PageCutAfterItsFirstPicture(a, b);

  const std::vector<std::string> notFetched{"0:图片数量：0", "1:商品页面获取失败"};
  const std::vector<std::string> firstOnly{"0:图片数量：1", "1:" + a + ".jpg", "1:完成！"};
  struct Row {
    const char* what;
    Reply page;
    bool serverGoes = false;  // the server goes away after a while (server_goes_away.h)
    std::vector<std::string> shown;
    FileList files;  // of the job folder; none: there is no job folder
  } rows[] = {
      {.what = "reset before the status line",
       .page = {HttpReply(200, {}, PageWith({a})), Misbehaviour::ResetAfter, 0},
       .shown = notFetched},
      {.what = "empty page", .page = {HttpReply(200, {}, "")}, .shown = notFetched},
      {.what = "redirect loop",
       .page = {HttpReply(302, {"Location: /offer/again"}, "")},
       .serverGoes = true,
       .shown = notFetched},
      // An error page is a page like any other: the job takes the picture
      // values it holds, none or some.
      {.what = "404 page",
       .page = {HttpReply(404, {}, "<html>no such offer</html>")},
       .shown = {"0:图片数量：0", "1:完成！"}},
      {.what = "500 page holding a picture value",
       .page = {HttpReply(500, {}, PageWith({a}))},
       .shown = firstOnly,
       .files = {{"1.jpg", "picture"}}},
      // The page request gives what arrived; the job cannot tell a cut page
      // from a whole one.
      {.what = "page cut by a reset",
       .page = {cut.reply, Misbehaviour::ResetAfter, cut.cut},
       .shown = firstOnly,
       .files = {{"1.jpg", "picture"}}},
      {.what = "page that stalls",
       .page = {cut.reply, Misbehaviour::StallAfter, cut.cut},
       .serverGoes = true,
       .shown = firstOnly,
       .files = {{"1.jpg", "picture"}}},
  };
  int row = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EnterRowFolder(++row);
    const std::string folder = NextJobsFolder();
    auto pages = std::make_unique<ScriptedListener>(std::vector<Reply>{r.page});
    const Text offerStart = OfferStart(*pages);
    RecordingWindow window;
    const auto job = [&] { RunDownloadJob(window, offerStart); };
    if (r.serverGoes) {
      testing::UntilTheServersGo({&pages}, job);
    } else {
      job();
    }
    EXPECT_EQ(window.Shown(), r.shown);
    if (r.files.empty()) {
      EXPECT_EQ(Files("."), std::vector<std::string>{});
    } else {
      EXPECT_EQ(Files("."), std::vector<std::string>{folder});
      EXPECT_EQ(FolderFiles(folder), r.files);
    }
  }
}

// A page of 64 MB with a picture value at each end. (About 10 s under Wine,
// 8 of them in the page request's 1 KB reads.)
TEST_F(DownloadJobFaults, A64MbPage) {
  ScriptedListener pictures({{HttpReply(200, {}, "first")}, {HttpReply(200, {}, "last")}});
  const std::string a = pictures.Url("/a"), b = pictures.Url("/b");
  ScriptedListener pages(
      {{HttpReply(200, {}, PageWith({a}) + std::string(64 << 20, 'x') + PageWith({b}))}});
  const std::string folder = NextJobsFolder();
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"0:图片数量：2", "1:" + a + ".jpg",
                                                      "1:" + b + ".jpg", "1:完成！"}));
  EXPECT_EQ(FolderFiles(folder), (FileList{{"1.jpg", "first"}, {"2.jpg", "last"}}));
}

// One job whose pictures each meet a fault of their own host.
TEST_F(DownloadJobFaults, PictureFaults) {
  const std::string body = std::string(200 * 1024, 'p');
  const std::string whole = HttpReply(200, {}, body);
  const std::size_t headerLength = whole.size() - body.size();
  struct Row {
    const char* what;
    Reply reply;  // no bytes: nothing listens
    Tls tls;
    bool serverGoes;
    std::string saved;  // the file under the picture's number
  } rows[] = {
      {"whole picture", {whole}, Tls::None, false, body},
      {"connection refused", {""}, Tls::None, false, ""},
      {"reset mid-body",
       {whole, Misbehaviour::ResetAfter, headerLength + 100 * 1024},
       Tls::None,
       false,
       ""},
      {"Content-Length larger than the body",
       {whole, Misbehaviour::CloseAfter, headerLength + 10},
       Tls::None,
       false,
       ""},
      {"certificate from an unknown CA", {whole}, Tls::UnknownCa, false, ""},
      {"404 with a body",
       {HttpReply(404, {}, "<html>gone</html>")},
       Tls::None,
       false,
       "<html>gone</html>"},
      {"stall mid-body",
       {whole, Misbehaviour::StallAfter, headerLength + 1000},
       Tls::None,
       true,
       ""},
      {"redirect loop", {HttpReply(302, {"Location: /p"}, "")}, Tls::None, true, ""},
  };
  std::vector<std::unique_ptr<ScriptedListener>> servers;
  std::vector<std::unique_ptr<ScriptedListener>*> goingAway;
  std::vector<std::string> addresses;
  for (const Row& r : rows) {
    if (r.reply.bytes.empty()) {
      servers.emplace_back();
      addresses.push_back("http://localhost:" + std::to_string(testing::UnusedPort()) + "/p");
      continue;
    }
    servers.push_back(std::make_unique<ScriptedListener>(std::vector<Reply>{r.reply}, r.tls));
    addresses.push_back(servers.back()->Url("/p"));
    if (r.serverGoes) goingAway.push_back(&servers.back());
  }
  ScriptedListener pages({{HttpReply(200, {}, PageWith(addresses))}});
  const std::string folder = NextJobsFolder();
  RecordingWindow window;
  testing::UntilTheServersGo(goingAway, [&] { RunDownloadJob(window, OfferStart(pages)); });

  const int count = static_cast<int>(std::size(rows));
  std::vector<std::string> shown{"0:图片数量：" + std::to_string(count)};
  int notSaved = 0;
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].what);
    shown.push_back("1:" + addresses[i] + ".jpg");
    const std::string file = Content(folder + "\\" + std::to_string(i + 1) + ".jpg");
    EXPECT_TRUE(file == rows[i].saved) << "got " << file.size() << " bytes";
    if (rows[i].saved.empty()) ++notSaved;
  }
  shown.push_back(NotSaved(notSaved, count));
  EXPECT_EQ(window.Shown(), shown);
  EXPECT_EQ(Files("."), std::vector<std::string>{folder});
  EXPECT_EQ(Files(folder).size(), std::size(rows));
}

// Picture values as pages hold them: each row gives the request line that
// reaches the picture host, none when nothing may be sent.
TEST_F(DownloadJobFaults, PictureValues) {
  ScriptedListener pictures({{HttpReply(200, {}, "picture")}});
  const std::string http = pictures.Url("");
  const std::string hostAndPort = http.substr(std::string("http://").size());
  struct Row {
    const char* what;
    std::string value;
    std::string requestLine;
  } rows[] = {
      {"GBK characters", http + "/图片/a", "GET /图片/a.jpg HTTP/1.0"},
      {"a GBK trail byte '\\'", http + "/\xB0\x5C/b", "GET /\xB0\x5C/b.jpg HTTP/1.0"},
      // Values are taken as the page writes them; the client turns a
      // backslash into "/".
      {"an escaped quote", http + "/q\\\"uote", "GET /q/\"uote.jpg HTTP/1.0"},
      {"a quote", http + "/q\"raw", "GET /q\"raw.jpg HTTP/1.0"},
      {"a space", http + "/sp ace", "GET /sp%20ace.jpg HTTP/1.0"},
      {"a \"#\"", http + "/h#frag", "GET /h HTTP/1.0"},
      {"\"%\" signs", http + "/pc%20t%zz", "GET /pc%20t%zz.jpg HTTP/1.0"},
      {"a protocol-relative address", "//" + hostAndPort + "/relative", ""},
      {"an address without scheme", hostAndPort + "/bare", ""},
      {"a line break", http + "/cr\r\nX-Injected: 1\r\n", ""},
      {"a host that does not resolve", "http://nonexistent.invalid/x", ""},
  };
  std::vector<std::string> values, expectedLines;
  for (const Row& r : rows) {
    values.push_back(r.value);
    if (!r.requestLine.empty()) expectedLines.push_back(r.requestLine);
  }
  ScriptedListener pages({{HttpReply(200, {}, PageWith(values))}});
  const std::string folder = NextJobsFolder();
  RecordingWindow window;
  RunDownloadJob(window, OfferStart(pages));

  std::vector<std::string> lines;
  for (const std::string& request : pictures.RequestList())
    lines.push_back(testing::RequestLine(request));
  EXPECT_EQ(lines, expectedLines);
  EXPECT_FALSE(testing::Sent(pictures, "X-Injected"));
  const int count = static_cast<int>(std::size(rows));
  int notSaved = 0;
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].what);
    const bool sent = !rows[i].requestLine.empty();
    EXPECT_EQ(Content(folder + "\\" + std::to_string(i + 1) + ".jpg"), sent ? "picture" : "");
    if (!sent) ++notSaved;
  }
  EXPECT_EQ(window.Shown().back(), NotSaved(notSaved, count));
}

void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The first picture's file in place before the job.
void PutFirstPicture(const std::string& folder, const std::string& content) {
  fs::create_directory(folder);
  WriteTextFile(folder + "\\1.jpg", content);
}

// The length of the full path of `relative` below the current directory.
std::size_t FullPathLength(const std::string& relative) {
  char current[MAX_PATH];
  return GetCurrentDirectoryA(MAX_PATH, current) + 1 + relative.size();
}

// What a job leaves: the files of its folder and its last text.
struct Outcome {
  FileList files;
  std::string end;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << "{";
  for (const auto& [name, content] : o.files) out << name << ": \"" << content << "\" ";
  return out << "| " << o.end << "}";
}

// Two pictures, with the disk in the way.
TEST_F(DownloadJobFaults, DiskFaults) {
  const FileList both{{"1.jpg", "picture 1"}, {"2.jpg", "picture 2"}};
  struct Row {
    const char* what;
    std::size_t folderLength = 0;  // 0: the next name, whatever its length
    // Prepares the job folder's place; the handle it gives stays open
    // during the job.
    std::function<KernelHandle(const std::string& folder)> prepare = [](const std::string&) {
      return KernelHandle();
    };
    bool folderLeft = true;  // the job folder's name is taken afterwards, else nothing is there
    const char* fileLeft = nullptr;  // the job folder's name is this file's
    std::vector<Outcome> outcomes;   // one of them
  } rows[] = {
      {.what = "job folder exists as a file",
       .prepare =
           [](const std::string& folder) {
             WriteTextFile(folder, "a file");
             return KernelHandle();
           },
       .fileLeft = "a file",
       .outcomes = {{{}, NotSaved(2, 2)}}},
      {.what = "picture file held open without sharing",
       .prepare =
           [](const std::string& folder) {
             PutFirstPicture(folder, "held");
             return KernelHandle(CreateFileA((folder + "\\1.jpg").c_str(), GENERIC_READ, 0,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
           },
       .outcomes = {{{{"1.jpg", "held"}, {"2.jpg", "picture 2"}}, NotSaved(1, 2)}}},
      // Wine keeps the read-only mark in the file's mode bits, which bind
      // every user but root: as root the job replaces the file, and must
      // then say that it saved it.
      {.what = "read-only picture file",
       .prepare =
           [](const std::string& folder) {
             PutFirstPicture(folder, "kept");
             const std::string file = folder + "\\1.jpg";
             EXPECT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
             return KernelHandle();
           },
       .outcomes = {{{{"1.jpg", "kept"}, {"2.jpg", "picture 2"}}, NotSaved(1, 2)},
                    {both, "1:完成！"}}},
      // About 230 jobs into a process the full path passes MAX_PATH. Wine
      // takes such a path as long as the relative one handed to it stays
      // within MAX_PATH; Windows would refuse it, and then the job must say so.
      {.what = "folder path past MAX_PATH", .folderLength = 230, .outcomes = {{both, "1:完成！"}}},
      // "<255 zeros>\1.jpg" is longer than MAX_PATH: the folder is made, no file.
      {.what = "picture path longer than MAX_PATH",
       .folderLength = 255,
       .outcomes = {{{}, NotSaved(2, 2)}}},
      // (257: taking the name before it, the test takes 256.)
      {.what = "folder name longer than the file system allows",
       .folderLength = 257,
       .folderLeft = false,
       .outcomes = {{{}, NotSaved(2, 2)}}},
  };
  int row = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EnterRowFolder(++row);
    const std::string folder =
        r.folderLength ? JobsFolderOfLength(r.folderLength) : NextJobsFolder();
    if (r.folderLength) {
      ASSERT_EQ(folder.size(), r.folderLength);
      EXPECT_GT(FullPathLength(folder + "\\1.jpg"), static_cast<std::size_t>(MAX_PATH));
    }
    ScriptedListener pictures(
        {{HttpReply(200, {}, "picture 1")}, {HttpReply(200, {}, "picture 2")}});
    ScriptedListener pages(
        {{HttpReply(200, {}, PageWith({pictures.Url("/1"), pictures.Url("/2")}))}});
    RecordingWindow window;
    {
      const KernelHandle held = r.prepare(folder);
      RunDownloadJob(window, OfferStart(pages));
    }
    EXPECT_EQ(pictures.RequestCount(), 2);
    EXPECT_EQ(Files("."),
              r.folderLeft ? std::vector<std::string>{folder} : std::vector<std::string>{});
    if (r.fileLeft) {
      EXPECT_EQ(Content(folder), r.fileLeft);
    }
    const Outcome outcome{FolderFiles(folder), window.Shown().back()};
    EXPECT_NE(std::find(r.outcomes.begin(), r.outcomes.end(), outcome), r.outcomes.end())
        << outcome;
    SetFileAttributesA((folder + "\\1.jpg").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace orvalin
