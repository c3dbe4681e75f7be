#include "app/shared_internet.h"

namespace orvalin {

const char kPictureAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

HINTERNET OpenPictureSession() {
  return InternetOpenA(kPictureAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
}

HINTERNET SharedInternet::Get() {
  const std::lock_guard<std::mutex> guard(lock_);
  if (!handle_ && !closed_) handle_ = InternetHandle(open_());
  return handle_.Get();
}

void SharedInternet::Close() {
  const std::lock_guard<std::mutex> guard(lock_);
  closed_ = true;
  handle_.Close();
}

}  // namespace orvalin
