#pragma once

#include <string>

#include "file_system.h"

// Why a copy stopped: the system's error value, its message text and what was being done
// to which path.
struct CopyFailure {
    int code = 0;
    std::string message;
    std::string description;
};

// Copies source (a directory tree or a single file) into destination, merging with what
// is there and replacing existing files; nothing in the destination is ever deleted. The
// first failure stops the copy and is returned (0 when everything was copied).
int copyTree(FileSystem& fs, const std::string& source, const std::string& destination,
             CopyFailure& failure);

// Joins with the Windows separator unless the directory already ends in one.
std::string joinPath(const std::string& directory, const std::string& name);

// The last component of a path, after its final separator.
std::string lastComponent(const std::string& path);

// The folder that holds path, or empty when path is a root ("C:\", "\\?\C:\",
// "\\server\share", "/") or has no folder part.
std::string parentPath(const std::string& path);

// A path as a person reads it: without the \\?\ prefix that long paths need.
std::string shownPath(const std::string& path);
