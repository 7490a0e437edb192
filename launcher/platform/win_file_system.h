#pragma once

#include "file_system.h"

// Creates only the last component of path: 0, or the system's error value (an existing
// entry gives kErrorAlreadyExists). The one directory creation of the platform layer.
int makeDirectory(const std::string& path);

class WinFileSystem : public FileSystem {
  public:
    int examine(const std::string& path, EntryKind& kind) override;
    int resolve(const std::string& path, std::string& resolved) override;
    int identify(const std::string& path, EntryId& id) override;
    int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;
    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& from, const std::string& to, EntryAttributes listed) override;
    std::string errorMessage(int code) override;
};
