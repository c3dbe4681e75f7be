// Orvalin: start-up, the message loop and shut-down of the program.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/job_folder.h"
#include "app/main_window.h"
#include "app/picture_fetch.h"

namespace {

// Job folders are made below the program's own folder, whatever folder it
// was started from.
void SetCurrentDirectoryToExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t lastBackslash = path.find_last_of('\\');
  if (lastBackslash == std::string::npos) return;
  path.resize(lastBackslash);
  SetCurrentDirectoryA(path.c_str());
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  SetCurrentDirectoryToExecutableFolder();
  // Exit routines run in the reverse order of their registration: first
  // JobFolderName is released, so that running jobs write no further file,
  // then the shared picture handle is closed.
  std::atexit(orvalin::CloseSharedInternetHandle);
  std::atexit(orvalin::ReleaseJobFolderName);

  // The window object outlives the loop on purpose: running jobs still talk
  // to it, and std::exit leaves this frame without destroying it.
  const std::unique_ptr<orvalin::MainWindow> window =
      orvalin::MainWindow::Create(instance, showCommand);
  if (window == nullptr) return 1;
  // The process ends here without waiting for running jobs.
  std::exit(RunMessageLoop());
}
