// The main window, created by the test itself in a real window under Wine:
// its layout, texts and fonts, the status bar seen from other threads, the
// paste on double-click and the start button.
#include "app/main_window.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "script_server.h"

namespace orvalin {
namespace {

using testing::HttpReply;
using testing::Misbehaviour;
using testing::ScriptedListener;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

LOGFONTA FontOf(HWND control) {
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

std::string StatusPart(HWND statusBar, int part) {
  char text[512] = {};
  SendMessageA(statusBar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
  return text;
}

// Handles the window's messages until `done` holds (or a generous limit
// passes, so that a fault fails the test instead of hanging it).
void PumpUntil(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < 20000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void PutOnClipboard(UINT format, HANDLE data) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  if (data != nullptr) SetClipboardData(format, data);
  CloseClipboard();
}

HANDLE GlobalText(const char* text) {
  const std::size_t size = strlen(text) + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  memcpy(GlobalLock(memory), text, size);
  GlobalUnlock(memory);
  return memory;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = MainWindow::Create(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    ASSERT_NE(window_, nullptr);
  }
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, LayoutTextsAndStyles) {
  HWND main = window_->Handle();
  EXPECT_EQ(TextOf(main), "Orvalinv1.0 - orvalin.example");
  RECT outer;
  GetWindowRect(main, &outer);
  EXPECT_EQ(outer.right - outer.left, 450);
  EXPECT_EQ(outer.bottom - outer.top, 150);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 450) / 2);
  const LONG style = GetWindowLongA(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_NE(GetClassLongPtrA(main, GCLP_HICON), 0u);

  struct Control {
    HWND window;
    HWND parent;
    const char* className;
    RECT place;
    const char* text;
  } controls[] = {
      {window_->GroupBox(), main, "Button", {9, 7, 433, 87}, "操作"},
      {window_->Label(), window_->GroupBox(), "Static", {7, 28, 103, 52}, "阿里商品ID："},
      {window_->ProductIdEdit(), main, "Edit", {121, 34, 293, 67}, ""},
      {window_->StartButton(), main, "Button", {321, 34, 423, 65}, "开始下载"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(GetParent(c.window), c.parent);
    EXPECT_STRCASEEQ(ClassOf(c.window).c_str(), c.className);
    const RECT place = PlaceOf(c.window);
    EXPECT_EQ(place.left, c.place.left);
    EXPECT_EQ(place.top, c.place.top);
    EXPECT_EQ(place.right, c.place.right);
    EXPECT_EQ(place.bottom, c.place.bottom);
    EXPECT_EQ(TextOf(c.window), c.text);
  }
  EXPECT_EQ(GetWindowLongA(window_->GroupBox(), GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
  EXPECT_TRUE(GetWindowLongA(window_->ProductIdEdit(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetWindowLongA(window_->StartButton(), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);

  // The status bar spans the bottom edge of the client area.
  RECT client, bar;
  GetClientRect(main, &client);
  bar = PlaceOf(window_->StatusBar());
  EXPECT_STRCASEEQ(ClassOf(window_->StatusBar()).c_str(), STATUSCLASSNAMEA);
  EXPECT_EQ(bar.bottom, client.bottom);
  EXPECT_EQ(bar.right - bar.left, client.right - client.left);
}

TEST_F(MainWindowTest, Fonts) {
  struct Case {
    HWND control;
    LONG height, weight;
  } cases[] = {
      {window_->GroupBox(), -14, FW_NORMAL},
      {window_->Label(), -16, FW_NORMAL},
      {window_->StartButton(), -14, FW_BOLD},
  };
  for (const Case& c : cases) {
    const LOGFONTA font = FontOf(c.control);
    EXPECT_EQ(font.lfHeight, c.height);
    EXPECT_EQ(font.lfWeight, c.weight);
    EXPECT_EQ(font.lfQuality, PROOF_QUALITY);
    EXPECT_STREQ(font.lfFaceName, "");
  }
  EXPECT_EQ(SendMessageA(window_->ProductIdEdit(), WM_GETFONT, 0, 0),
            reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
}

TEST_F(MainWindowTest, StatusPartsFromAnyThread) {
  HWND bar = window_->StatusBar();
  int edges[3] = {};
  EXPECT_EQ(SendMessageA(bar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges)), 2);
  EXPECT_EQ(edges[0], 100);
  EXPECT_EQ(edges[1], 450);
  EXPECT_EQ(StatusPart(bar, 0), "采集数量");
  EXPECT_EQ(StatusPart(bar, 1), "正在下载");

  std::atomic<bool> done{false};
  std::thread worker([&] {
    window_->SetStatusPartText(0, "图片数量：7");
    window_->SetStatusPartText(1, "完成！");
    window_->SetStatusPartText(2, "ignored");
    window_->SetStatusPartText(-1, "ignored");
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(StatusPart(bar, 0), "图片数量：7");
  EXPECT_EQ(StatusPart(bar, 1), "完成！");
}

TEST_F(MainWindowTest, DoubleClickPastesTheClipboardsText) {
  HWND edit = window_->ProductIdEdit();
  auto doubleClick = [&] { SendMessageA(edit, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5)); };

  SetWindowTextA(edit, "old text");
  PutOnClipboard(CF_TEXT, GlobalText("12345"));
  doubleClick();
  EXPECT_EQ(TextOf(edit), "12345");

  // A picture and no text empties the box.
  HDC screen = GetDC(nullptr);
  HBITMAP picture = CreateCompatibleBitmap(screen, 4, 4);
  ReleaseDC(nullptr, screen);
  PutOnClipboard(CF_BITMAP, picture);
  doubleClick();
  EXPECT_EQ(TextOf(edit), "");

  // A clipboard held open by another thread cannot be read: emptied too.
  SetWindowTextA(edit, "old text");
  PutOnClipboard(CF_TEXT, GlobalText("67890"));
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const bool opened = OpenClipboard(owner);
    SetEvent(held);
    WaitForSingleObject(release, 20000);
    if (opened) CloseClipboard();
    DestroyWindow(owner);
  });
  WaitForSingleObject(held, 20000);
  doubleClick();
  SetEvent(release);
  holder.join();
  CloseHandle(held);
  CloseHandle(release);
  EXPECT_EQ(TextOf(edit), "");
}

TEST_F(MainWindowTest, AClickStartsAJobAndReturnsAtOnce) {
  // The page server holds the job's request without answering, so the job
  // is still running when the click returns.
  std::optional<ScriptedListener> pages;
  pages.emplace(std::vector<testing::Reply>{
      {HttpReply(200, {}, "<html></html>"), Misbehaviour::StallAfter, 0}});
  window_ = MainWindow::Create(GetModuleHandleA(nullptr), SW_SHOWNORMAL, Text(pages->Url("/offer/")));
  ASSERT_NE(window_, nullptr);
  SetWindowTextA(window_->ProductIdEdit(), "42");

  SendMessageA(window_->StartButton(), BM_CLICK, 0, 0);
  // The job reads the product ID from the window's thread, so let it.
  PumpUntil([&] { return pages->RequestCount() == 1; });
  ASSERT_EQ(pages->RequestCount(), 1);
  EXPECT_NE(pages->Requests().find("GET /offer/42.html "), std::string::npos);
  EXPECT_EQ(StatusPart(window_->StatusBar(), 1), "正在下载");
  EXPECT_TRUE(IsWindowEnabled(window_->StartButton()));

  // Once the server lets go, the job ends and its texts reach the status bar.
  pages.reset();
  PumpUntil([&] { return StatusPart(window_->StatusBar(), 1) != "正在下载"; });
  EXPECT_EQ(StatusPart(window_->StatusBar(), 0), "图片数量：0");
}

}  // namespace
}  // namespace orvalin
