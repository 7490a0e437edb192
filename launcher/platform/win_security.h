#pragma once

#include <windows.h>

#include <string>

#include "setup_log.h"

// Creates only the last component of path with the security descriptor given as text:
// 0, or the system's error value (an existing entry gives kErrorAlreadyExists).
int makeSecuredDirectory(const std::string& path, const std::string& security);

// Who owns the file or directory open as entry (opened with READ_CONTROL): 0 or the
// system's error value.
int readOwner(HANDLE entry, FolderOwner& owner);
