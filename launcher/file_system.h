#pragma once

#include <string>
#include <vector>

// What an examined path turned out to be.
enum EntryKind { kEntryMissing, kEntryFile, kEntryDirectory, kEntryUnknown };

struct DirectoryEntry {
    std::string name;
    bool isDirectory;
};

// The few file-system primitives the tree copy needs. Paths are narrow strings in the
// ANSI code page; every int result is 0 or the system's error value.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Sets kind; a path that does not exist gives kEntryMissing together with the
    // not-found error, any other failure gives kEntryUnknown.
    virtual int examine(const std::string& path, EntryKind& kind) = 0;
    // True only when both paths name the same existing file or directory.
    virtual bool sameEntry(const std::string& first, const std::string& second) = 0;
    // Every entry except the directory itself and its parent, in listing order.
    virtual int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) = 0;
    // Creates only the last component; an existing entry gives kErrorAlreadyExists.
    virtual int createDirectory(const std::string& path) = 0;
    // Replaces an existing destination file whatever its date.
    virtual int copyFile(const std::string& from, const std::string& to) = 0;
    virtual std::string errorMessage(int code) = 0;
};
