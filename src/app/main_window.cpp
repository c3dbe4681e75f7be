#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "app/resource.h"

namespace orvalin {

const char kPublisherHost[] = "orvalin.example";

namespace {

const char kClassName[] = "OrvalinMainWindow";
const char kCaption[] = "Orvalinv1.0 - orvalin.example";
const char kHomePage[] = "http://orvalin.example";

constexpr int kWindowWidth = 450;
constexpr int kWindowHeight = 150;

enum ControlId : int { kGroupBoxId = 100, kLabelId, kEditId, kButtonId, kStatusBarId };

// Sent by a job's thread to read the edit box on the window's thread;
// lParam points at the Text that receives a copy.
constexpr UINT kReadProductIdMessage = WM_APP + 1;

constexpr int kStatusPartRightEdges[] = {100, 450};
constexpr int kStatusParts = 2;

// A font of the system's default face, sized by its characters in pixels.
GdiObject<HFONT> MakeFont(int pixels, int weight) {
  return GdiObject<HFONT>(CreateFontA(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, nullptr));
}

void SetFont(HWND control, HGDIOBJ font) {
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HWND MakeControl(DWORD exStyle, const char* className, const char* text, DWORD style, int left,
                 int top, int width, int height, HWND parent, int id, HINSTANCE instance) {
  return CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width,
                         height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         instance, nullptr);
}

bool RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kProgramIconId));
  windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kProgramIconId),
                                                      IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Holds the clipboard open for as long as it lives.
class OpenedClipboard {
 public:
  OpenedClipboard() : opened_(OpenClipboard(nullptr) != FALSE) {}
  ~OpenedClipboard() {
    if (opened_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool IsOpen() const { return opened_; }

 private:
  bool opened_;
};

// The clipboard's text in the ANSI code page, empty when it cannot be opened
// or holds no text.
Text ClipboardText() {
  OpenedClipboard clipboard;
  if (!clipboard.IsOpen()) return Text();
  HANDLE data = GetClipboardData(CF_TEXT);
  if (data == nullptr) return Text();
  const auto* locked = static_cast<const char*>(GlobalLock(data));
  if (locked == nullptr) return Text();
  // The block's size bounds the read should the zero be missing.
  const Text text(locked, strnlen(locked, GlobalSize(data)));
  GlobalUnlock(data);
  return text;
}

Text WindowText(HWND window) {
  std::string buffer(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  const int length = GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
  return Text(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}


MainWindow* OwnerOf(HWND control) {
  return reinterpret_cast<MainWindow*>(GetWindowLongPtrA(GetAncestor(control, GA_ROOT), GWLP_USERDATA));
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, int showCommand,
                                               const Text& offerAddressStart) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterWindowClass(instance, WindowProc)) return nullptr;

  std::unique_ptr<MainWindow> self(new MainWindow());
  self->offerAddressStart_ = offerAddressStart;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
  HWND window = CreateWindowExA(0, kClassName, kCaption, style, left, top, kWindowWidth,
                                kWindowHeight, nullptr, nullptr, instance, self.get());
  if (window == nullptr || self->statusBar_ == nullptr) {
    if (window != nullptr) DestroyWindow(window);
    return nullptr;
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return self;
}

// Destroys the window without the shut-down of a user's close (no home
// page, no end of the message loop): the controls get their own window
// procedures back and the window forgets this object first.
MainWindow::~MainWindow() {
  if (!IsWindow(window_)) return;
  if (editDefaultProc_) SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editDefaultProc_));
  if (groupBoxDefaultProc_) {
    SetWindowLongPtrA(groupBox_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(groupBoxDefaultProc_));
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

bool MainWindow::CreateControls(HINSTANCE instance) {
  groupBoxFont_ = MakeFont(14, FW_NORMAL);
  labelFont_ = MakeFont(16, FW_NORMAL);
  buttonFont_ = MakeFont(14, FW_BOLD);

  groupBox_ = MakeControl(0, "BUTTON", "操作", BS_GROUPBOX | WS_CLIPSIBLINGS, 9, 7, 424, 80,
                          window_, kGroupBoxId, instance);
  label_ = MakeControl(WS_EX_TRANSPARENT, "STATIC", "阿里商品ID：", SS_LEFT, 7, 28, 96, 24,
                       groupBox_, kLabelId, instance);
  edit_ = MakeControl(WS_EX_CLIENTEDGE, "EDIT", "", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 121, 34,
                      172, 33, window_, kEditId, instance);
  button_ = MakeControl(0, "BUTTON", "开始下载", WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER, 321, 34,
                        102, 31, window_, kButtonId, instance);
  statusBar_ = MakeControl(0, STATUSCLASSNAMEA, "", 0, 0, 0, 0, 0, window_, kStatusBarId, instance);
  if (!groupBox_ || !label_ || !edit_ || !button_ || !statusBar_) return false;

  SetFont(groupBox_, groupBoxFont_.Get());
  SetFont(label_, labelFont_.Get());
  SetFont(edit_, GetStockObject(DEFAULT_GUI_FONT));
  SetFont(button_, buttonFont_.Get());
  SendMessageA(edit_, EM_SETLIMITTEXT, 0, 0);  // 0: as long as the control allows

  // The edit box learns of double-clicks, and the group box paints its label
  // with a transparent background, through their own window procedures.
  editDefaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  groupBoxDefaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(groupBox_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc)));

  SendMessageA(statusBar_, SB_SETPARTS, kStatusParts,
               reinterpret_cast<LPARAM>(kStatusPartRightEdges));
  SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("采集数量"));
  SendMessageA(statusBar_, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("正在下载"));
  return true;
}

Text MainWindow::ProductId() {
  Text productId;
  SendMessageA(window_, kReadProductIdMessage, 0, reinterpret_cast<LPARAM>(&productId));
  return productId;
}

void MainWindow::SetStatusPartText(int part, const Text& text) {
  if (part < 0 || part >= kStatusParts) return;
  SendMessageA(statusBar_, SB_SETTEXTA, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(text.Data()));
}

void MainWindow::PasteClipboardIntoEdit() { SetWindowTextA(edit_, ClipboardText().Data()); }

DWORD WINAPI MainWindow::JobThread(LPVOID window) {
  auto* self = static_cast<MainWindow*>(window);
  RunDownloadJob(*self, self->offerAddressStart_);
  return 0;
}

void MainWindow::OnStartClicked() {
  HANDLE thread = CreateThread(nullptr, 0, JobThread, this, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);  // nothing waits for a job
}

void MainWindow::OnCommand(WPARAM wParam) {
  if (LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED) OnStartClicked();
}

void MainWindow::OnDestroy() {
  ShellExecuteA(nullptr, "open", kHomePage, nullptr, nullptr, SW_SHOWNORMAL);
  PostQuitMessage(0);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    case kReadProductIdMessage:
      *reinterpret_cast<Text*>(lParam) = WindowText(edit_);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    return self->CreateControls(create->hInstance) ? 0 : -1;
  }
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = OwnerOf(edit);
  if (message == WM_LBUTTONDBLCLK) {
    self->PasteClipboardIntoEdit();
    return 0;
  }
  return CallWindowProcA(self->editDefaultProc_, edit, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::GroupBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = OwnerOf(box);
  if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == self->label_) {
    SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  return CallWindowProcA(self->groupBoxDefaultProc_, box, message, wParam, lParam);
}

}  // namespace orvalin
