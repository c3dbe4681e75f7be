#include "app/file_output.h"

#include <windows.h>

#include <algorithm>

#include "app/kernel_handle.h"

namespace orvalin {
namespace {

// Opens `path` for writing, emptied or new, shared with no one.
KernelHandle OpenForRewrite(const Text& path) {
  return KernelHandle(CreateFileA(path.ForSystem(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

// One WriteFile call for any buffer a DWORD can count, which is every buffer
// the program makes; larger ones go in pieces.
bool WriteAll(const KernelHandle& file, const Bytes& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, MAXDWORD));
    DWORD written = 0;
    if (!WriteFile(file.Get(), data.data() + done, piece, &written, nullptr) || written != piece) {
      return false;
    }
    done += piece;
  }
  return true;
}

}  // namespace

bool CreateFolder(const Text& path) {
  if (TextLength(path) == 0) return false;
  return CreateDirectoryA(path.ForSystem(), nullptr) != FALSE;
}

bool WriteFileBytes(const Text& path, const Bytes& data) {
  if (TextLength(path) == 0) return false;
  const KernelHandle file = OpenForRewrite(path);
  if (!file) return false;
  return WriteAll(file, data);
}

}  // namespace orvalin
