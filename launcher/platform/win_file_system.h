#pragma once

#include "file_system.h"

class WinFileSystem : public FileSystem {
  public:
    int examine(const std::string& path, EntryKind& kind) override;
    bool sameEntry(const std::string& first, const std::string& second) override;
    int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;
    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& from, const std::string& to) override;
    std::string errorMessage(int code) override;
};
