// The program's one window: a group box with a label, the product ID edit box,
// the start button and a two-part status bar.
#pragma once

#include <windows.h>

#include <memory>

#include "app/download_job.h"
#include "app/gdi_object.h"

namespace orvalin {

// The publisher's web address, shown in the caption and opened at exit.
extern const char kPublisherHost[];

class MainWindow final : public JobWindow {
 public:
  // Creates the window with its controls, centred on the screen, and shows
  // it. Null when the window cannot be created. Its jobs ask for product
  // pages below offerAddressStart.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance, int showCommand,
                                            const Text& offerAddressStart = kOfferAddressStart);
  ~MainWindow() override;

  // JobWindow: both are sent to the window's thread, which carries them out
  // while the calling thread waits. After the window is gone they do nothing
  // (the product ID is then empty).
  Text ProductId() override;
  void SetStatusPartText(int part, const Text& text) override;

  HWND Handle() const { return window_; }
  HWND GroupBox() const { return groupBox_; }
  HWND Label() const { return label_; }
  HWND ProductIdEdit() const { return edit_; }
  HWND StartButton() const { return button_; }
  HWND StatusBar() const { return statusBar_; }

  // Replaces the edit box's content with the clipboard's text (empty when the
  // clipboard cannot be opened or holds no text).
  void PasteClipboardIntoEdit();

 private:
  MainWindow() = default;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI JobThread(LPVOID window);
  static LRESULT CALLBACK GroupBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  bool CreateControls(HINSTANCE instance);
  void OnCommand(WPARAM wParam);
  void OnStartClicked();
  void OnDestroy();

  Text offerAddressStart_;
  HWND window_ = nullptr;
  HWND groupBox_ = nullptr;
  HWND label_ = nullptr;
  HWND edit_ = nullptr;
  HWND button_ = nullptr;
  HWND statusBar_ = nullptr;
  WNDPROC editDefaultProc_ = nullptr;
  WNDPROC groupBoxDefaultProc_ = nullptr;
  GdiObject<HFONT> groupBoxFont_;
  GdiObject<HFONT> labelFont_;
  GdiObject<HFONT> buttonFont_;
};

}  // namespace orvalin
