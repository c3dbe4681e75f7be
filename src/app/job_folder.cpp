#include "app/job_folder.h"

#include <atomic>
#include <mutex>

namespace orvalin {
namespace {

// JobFolderLock is made once and never destroyed, so that jobs still running
// while the process ends never meet a destroyed lock.
std::mutex& JobFolderLock() {
  static std::mutex* const lock = new std::mutex();
  return *lock;
}
Text* jobFolderName = new Text();  // guarded by JobFolderLock; null once released
std::atomic<bool> released{false};

}  // namespace

std::optional<Text> NextJobFolder() {
  std::lock_guard<std::mutex> hold(JobFolderLock());
  if (jobFolderName == nullptr) return std::nullopt;
  *jobFolderName = TextConcat({*jobFolderName, "0"});
  return *jobFolderName;
}

void ReleaseJobFolderName() {
  std::lock_guard<std::mutex> hold(JobFolderLock());
  released = true;
  delete jobFolderName;
  jobFolderName = nullptr;
}

bool JobsMustStop() { return released; }

}  // namespace orvalin
