// Drives the window of a running orvalin.exe from another process, the way a
// user would, and prints what it saw for the calling script:
//
//   driver start <program.exe>
//       starts the program and waits until its window is ready;
//       prints "startup <ms>" and "window <left> <top> <width> <height>"
//   driver job <product ID> <end text>
//       types the ID, clicks the start button and waits until status part 1
//       shows the end text, once it has shown another text since before the
//       click (an earlier job may have left the same end text there);
//       prints "part0 <text>", "part1 <text>", "job <ms>"
//   driver burst <product ID> <count>
//       types the ID and clicks the start button <count> times without
//       waiting; prints "clicks <ms>", the time all the clicks took
//   driver soak <product ID> <count>
//       runs <count> jobs one after another: before each click it blanks
//       status part 1, then waits until that part shows an end text (neither
//       blank nor an address). Prints per job "soak <n> <ms> <private bytes>
//       <end text>", where private bytes is the program's committed memory
//       (PagefileUsage) after the job, and at the end "slowest-answer <ms>": the longest the
//       window took to answer a message while the jobs ran
//   driver close [<limit ms>]
//       closes the window and waits until the program has ended;
//       prints "exited <exit code>" and "closing <ms>"
//   driver wait
//       waits, with no limit, until the user has closed the window and the
//       program has ended; prints "exited <exit code>"
//
// The other steps give up after a generous limit, print what they saw and
// exit with 1. Texts are printed as the window holds them (GBK).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <psapi.h>

#include "app/kernel_handle.h"
#include "stopwatch.h"

namespace {

using orvalin::KernelHandle;
using orvalin::testing::NowMs;

constexpr DWORD kLimitMs = 60000;
// SB_GETTEXTA is given no size: room for far more than any status text.
constexpr SIZE_T kPartBufferSize = 64 * 1024;

// Polls until done() holds or the limit passes; true when it held.
template <typename Done>
bool WaitFor(Done done) {
  const double start = NowMs();
  while (!done()) {
    if (NowMs() - start > kLimitMs) return false;
    Sleep(10);
  }
  return true;
}

struct ProgramWindow {
  HWND top = nullptr;
  HWND edit = nullptr;
  HWND button = nullptr;
  HWND statusBar = nullptr;
};

// The program's window once it is visible and its last control exists
// (FindWindowA finds it while it is still creating its controls).
ProgramWindow ReadyWindow(DWORD processId = 0) {
  ProgramWindow found;
  found.top = FindWindowA("OrvalinMainWindow", nullptr);
  if (found.top == nullptr || !IsWindowVisible(found.top)) return {};
  DWORD owner = 0;
  GetWindowThreadProcessId(found.top, &owner);
  if (processId != 0 && owner != processId) return {};
  found.edit = FindWindowExA(found.top, nullptr, "Edit", nullptr);
  found.button = FindWindowExA(found.top, nullptr, "Button", "开始下载");
  found.statusBar = FindWindowExA(found.top, nullptr, STATUSCLASSNAMEA, nullptr);
  if (!found.edit || !found.button || !found.statusBar) return {};
  return found;
}

bool WaitForWindow(ProgramWindow& window, DWORD processId = 0) {
  return WaitFor([&] { return (window = ReadyWindow(processId)).top != nullptr; });
}

KernelHandle OpenOwner(HWND window, DWORD access) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return KernelHandle(OpenProcess(access, FALSE, processId));
}

// Reads status bar parts through a buffer in the program's own memory:
// Wine does not carry SB_GETTEXTA's buffer across processes.
class StatusReader {
 public:
  explicit StatusReader(HWND statusBar)
      : statusBar_(statusBar),
        process_(OpenOwner(statusBar, PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE)),
        buffer_(process_ ? VirtualAllocEx(process_.Get(), nullptr, kPartBufferSize,
                                          MEM_COMMIT, PAGE_READWRITE)
                         : nullptr) {}
  ~StatusReader() {
    if (buffer_) VirtualFreeEx(process_.Get(), buffer_, 0, MEM_RELEASE);
  }
  StatusReader(const StatusReader&) = delete;
  StatusReader& operator=(const StatusReader&) = delete;

  std::string Part(int part) const {
    if (!buffer_) return "(status bar unreadable)";
    const LRESULT result = SendMessageA(statusBar_, SB_GETTEXTA, part,
                                        reinterpret_cast<LPARAM>(buffer_));
    std::string text(LOWORD(result), '\0');
    if (text.size() >= kPartBufferSize ||
        !ReadProcessMemory(process_.Get(), buffer_, text.data(), text.size(), nullptr)) {
      return "(status bar unreadable)";
    }
    return text;
  }

  // Sets a part to the empty text.
  bool Blank(int part) const {
    static const char empty[] = "";
    return buffer_ && WriteProcessMemory(process_.Get(), buffer_, empty, sizeof empty, nullptr) &&
           SendMessageA(statusBar_, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(buffer_));
  }

 private:
  HWND statusBar_;
  KernelHandle process_;
  void* buffer_;
};

int Fail(const char* what) {
  std::printf("error %s\n", what);
  return 1;
}

int Start(const char* program) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string commandLine = std::string("\"") + program + "\"";
  const double start = NowMs();
  // Detached, the program's standard input and output are not this driver's,
  // so a caller reading the driver's output is not kept waiting for the
  // program's end.
  if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                      nullptr, nullptr, &startup, &started)) {
    return Fail("the program could not be started");
  }
  const KernelHandle process(started.hProcess);
  const KernelHandle thread(started.hThread);
  ProgramWindow window;
  if (!WaitForWindow(window, started.dwProcessId)) return Fail("no window appeared");
  std::printf("startup %.1f\n", NowMs() - start);
  RECT place;
  GetWindowRect(window.top, &place);
  std::printf("window %ld %ld %ld %ld\n", place.left, place.top, place.right - place.left,
              place.bottom - place.top);
  return 0;
}

int Job(const char* productId, const char* endText) {
  ProgramWindow window;
  if (!WaitForWindow(window)) return Fail("no window");
  const StatusReader status(window.statusBar);
  SendMessageA(window.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(productId));
  bool shownOther = status.Part(1) != endText;
  const double start = NowMs();
  SendMessageA(window.button, BM_CLICK, 0, 0);
  const bool ended = WaitFor([&] {
    if (status.Part(1) == endText) return shownOther;
    shownOther = true;
    return false;
  });
  const double elapsed = NowMs() - start;
  std::printf("part0 %s\n", status.Part(0).c_str());
  std::printf("part1 %s\n", status.Part(1).c_str());
  if (!ended) return Fail("the end text never came");
  std::printf("job %.1f\n", elapsed);
  return 0;
}

int Burst(const char* productId, int count) {
  ProgramWindow window;
  if (!WaitForWindow(window)) return Fail("no window");
  SendMessageA(window.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(productId));
  const double start = NowMs();
  for (int i = 0; i < count; ++i) SendMessageA(window.button, BM_CLICK, 0, 0);
  std::printf("clicks %.1f\n", NowMs() - start);
  return 0;
}

// How long the window takes to answer a message; the limit when it does not.
double AnswerTime(HWND window) {
  constexpr UINT kLimitMs = 5000;
  const double start = NowMs();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kLimitMs, &result)) return kLimitMs;
  return NowMs() - start;
}

bool IsEndText(const std::string& text) { return !text.empty() && text.rfind("http", 0) != 0; }

int Soak(const char* productId, int count) {
  ProgramWindow window;
  if (!WaitForWindow(window)) return Fail("no window");
  const StatusReader status(window.statusBar);
  const KernelHandle process = OpenOwner(window.top, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
  SendMessageA(window.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(productId));
  double slowestAnswer = 0;
  for (int job = 1; job <= count; ++job) {
    if (!status.Blank(1)) return Fail("status part 1 cannot be set");
    const double start = NowMs();
    SendMessageA(window.button, BM_CLICK, 0, 0);
    std::string text;
    const bool ended = WaitFor([&] {
      slowestAnswer = std::max(slowestAnswer, AnswerTime(window.top));
      return IsEndText(text = status.Part(1));
    });
    if (!ended) return Fail("a job never ended");
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.Get(), &memory, sizeof memory);
    std::printf("soak %d %.1f %llu %s\n", job, NowMs() - start,
                static_cast<unsigned long long>(memory.PagefileUsage), text.c_str());
  }
  std::printf("slowest-answer %.1f\n", slowestAnswer);
  return 0;
}

// Waits until the program has ended, after asking its window to close when
// `close` is set.
int AwaitEnd(bool close, DWORD limitMs) {
  ProgramWindow window;
  if (!WaitForWindow(window)) return Fail("no window");
  const KernelHandle process = OpenOwner(window.top, SYNCHRONIZE | PROCESS_QUERY_INFORMATION);
  if (!process) return Fail("the program's process cannot be opened");
  const double start = NowMs();
  if (close) PostMessageA(window.top, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.Get(), limitMs) != WAIT_OBJECT_0) {
    return Fail("the program did not end");
  }
  std::printf("closing %.1f\n", NowMs() - start);
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  std::printf("exited %lu\n", code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "start" && argc == 3) return Start(argv[2]);
  if (command == "job" && argc == 4) return Job(argv[2], argv[3]);
  if (command == "burst" && argc == 4) return Burst(argv[2], std::atoi(argv[3]));
  if (command == "soak" && argc == 4) return Soak(argv[2], std::atoi(argv[3]));
  if (command == "close" && argc == 2) return AwaitEnd(true, kLimitMs);
  if (command == "close" && argc == 3) return AwaitEnd(true, std::atoi(argv[2]));
  if (command == "wait" && argc == 2) return AwaitEnd(false, INFINITE);
  std::fprintf(stderr,
               "usage: driver start <program.exe> | job <product ID> <end text> |\n"
               "       burst <product ID> <count> | soak <product ID> <count> |\n"
               "       close [<limit ms>] | wait\n");
  return 2;
}
