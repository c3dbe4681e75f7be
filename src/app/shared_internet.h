// An internet handle that many threads share: opened on first use, under a
// lock of its own, and kept until Close. The picture fetch keeps one for the
// whole process (picture_fetch.h).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <mutex>

#include "web/internet_handle.h"

namespace orvalin {

// The agent the picture fetch gives the internet client.
extern const char kPictureAgent[];

// OpenPictureSession opens an internet session with kPictureAgent that goes
// direct (each request sets its own proxy afterwards); null on failure.
HINTERNET OpenPictureSession();

class SharedInternet {
 public:
  using Opener = HINTERNET (*)();

  explicit SharedInternet(Opener open = OpenPictureSession) : open_(open) {}
  SharedInternet(const SharedInternet&) = delete;
  SharedInternet& operator=(const SharedInternet&) = delete;

  // Get gives the handle, opening it when no call has yet succeeded: calls
  // that meet while it is being opened wait, and all get the one handle.
  // Null when opening failed (the next call tries again) or after Close.
  HINTERNET Get();

  // Close closes the handle; from then on Get gives null and opens nothing.
  // Requests still running on the handle fail.
  void Close();

 private:
  std::mutex lock_;
  Opener open_;
  InternetHandle handle_;
  bool closed_ = false;
};

}  // namespace orvalin
