#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "file_system.h"

// Real copies on the Linux host. Windows drive paths ("C:\Windows\...") are mapped into
// driveRoot so the launcher's fixed destination lands in a temporary tree; backslashes
// become slashes. Error values are errno values, except kErrorAlreadyExists as promised.
class StdFileSystem : public FileSystem {
  public:
    explicit StdFileSystem(std::filesystem::path driveRoot = {})
        : driveRoot_(std::move(driveRoot)) {}
    std::filesystem::path hostPath(const std::string& path) const;

    int examine(const std::string& path, EntryKind& kind) override;
    int resolve(const std::string& path, std::string& resolved) override;
    int identify(const std::string& path, EntryId& id) override;
    int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;
    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& from, const std::string& to, EntryAttributes listed) override;
    std::string errorMessage(int code) override;

  private:
    std::filesystem::path driveRoot_;
};
