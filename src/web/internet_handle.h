// One owner per WinINet handle: closed when it goes out of scope. Declare the
// handles of one exchange in the order they are opened, so that they close
// innermost first.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

namespace orvalin {

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~InternetHandle() { Close(); }
  InternetHandle(InternetHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  InternetHandle& operator=(InternetHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;

  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void Close() {
    if (handle_ != nullptr) InternetCloseHandle(std::exchange(handle_, nullptr));
  }

 private:
  HINTERNET handle_;
};

}  // namespace orvalin
