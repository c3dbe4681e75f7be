// JobFolderName: the process-wide name of the newest job folder ("0", "00",
// "000", ...), which every job extends by one "0" under JobFolderLock.
#pragma once

#include <optional>

#include "text/text.h"

namespace orvalin {

// NextJobFolder appends "0" to JobFolderName and gives a copy of the result:
// "0" for the first job of the process, "00" for the second, and so on.
// Nothing once ReleaseJobFolderName has run: the program is ending, and the
// job must stop.
std::optional<Text> NextJobFolder();

// ReleaseJobFolderName releases JobFolderName under its lock when the program
// ends. Jobs still running then see JobsMustStop() and write nothing more.
void ReleaseJobFolderName();

// JobsMustStop is true once JobFolderName was released at exit.
bool JobsMustStop();

}  // namespace orvalin
