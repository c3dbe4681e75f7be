// The two file services of the download job: making one folder and writing
// one whole file. Both give only a yes or no; neither reports why.
#pragma once

#include "text/text.h"

namespace orvalin {

// CreateFolder makes the one folder named by `path` (a relative path
// resolves against the current directory); no parent folders are made. False
// when the path is empty, the folder exists already or cannot be made; then
// nothing has changed. CreateFolder("0") is true once, then false.
bool CreateFolder(const Text& path);

// WriteFileBytes replaces the file at `path` with exactly the bytes of
// `data`: it creates the file or empties an existing one, writes, and closes
// it. While it is open no one else may open it. Empty data leaves a file of
// 0 bytes. False when the path is empty (nothing is touched), or when the
// file cannot be opened or not all bytes could be written.
bool WriteFileBytes(const Text& path, const Bytes& data);

}  // namespace orvalin
