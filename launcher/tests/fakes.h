#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "file_system.h"
#include "setup_log.h"
#include "shell.h"

// Wraps a real file system and fails chosen operations on paths whose last component is
// the chosen name; records the files it was asked to copy.
class FaultyFileSystem : public FileSystem {
  public:
    explicit FaultyFileSystem(FileSystem& real) : real_(real) {}

    std::string unlistable;  // directory whose listing fails with listError
    int listError = 13;
    std::string uncopyable;  // file whose copy fails with copyError
    int copyError = 5;
    std::string unidentifiable;  // entry whose identity cannot be read: identifyError
    int identifyError = 5;
    std::string unexaminable;  // entry whose examination fails with examineError
    int examineError = 13;
    std::string uncreatable;  // directory whose creation fails with createError
    int createError = 5;
    // Every identity gets one 64-bit index, its real one moved to the upper half, as
    // distinct folders can share an index on ReFS.
    bool collidingIndexes = false;
    std::vector<std::string> copied;
    // The attributes each copy was told its source has.
    std::vector<EntryAttributes> listedAttributes;
    std::vector<std::string> resolved;  // paths given to resolve
    std::vector<std::string> created;   // directories the copy asked for

    int examine(const std::string& path, EntryKind& kind) override;
    int resolve(const std::string& path, std::string& out) override;
    int identify(const std::string& path, EntryId& id) override;
    int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;
    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& from, const std::string& to, EntryAttributes listed) override;
    std::string errorMessage(int code) override;

  private:
    FileSystem& real_;
};

// A program-data folder and directory creator whose answers the test chooses; the log
// itself is a real file at logFile, or at the file realFiles names for the path the
// launcher asks for. Every entry is where its path says ("\\?\" and the path) unless
// finalPaths names another place, and names are compared ignoring ASCII case.
class FakeLogHost : public LogHost {
  public:
    explicit FakeLogHost(std::filesystem::path logFile) : logFile_(std::move(logFile)) {}

    int folderResult = 0;
    std::string folder = "C:\\ProgramData";
    std::set<std::string> failingFolders;  // createDirectory fails with createError
    int createError = 5;
    int successCode = 0;  // what a folder that can be made reports: 0 or already-exists
    // What holding a folder finds; a trusted directory where nothing is set.
    std::map<std::string, PathFacts> found;
    int holdError = 0;
    // Where an entry really lies, and paths whose final path cannot be asked.
    std::map<std::string, std::string> finalPaths;
    std::set<std::string> finalPathFails;
    // What opening a log path finds (owner included); a file with one name where nothing
    // is set. Whether the open creates it is whether its real file exists.
    std::map<std::string, PathFacts> logFiles;
    std::map<std::string, std::filesystem::path> realFiles;
    std::set<std::string> unopenable;
    std::map<std::string, int> emptyErrors;  // emptying the log at that path fails so
    std::vector<std::string> createdFolders;
    std::vector<std::string> securities;  // the security each folder was created with
    // In order: "hold PATH", "open PATH", "delete PATH", "close PATH", "stream PATH".
    std::vector<std::string> events;
    std::vector<std::string> openedPaths;

    int programDataFolder(std::string& out) override;
    int finalPathOf(const std::string& path, std::string& finalPath) override;
    int createDirectory(const std::string& path, const std::string& security) override;
    int holdFolder(const std::string& path, HeldEntry& held) override;
    int openLogFile(const std::string& path, HeldEntry& file) override;
    int deleteWhenClosed(HeldEntry& file) override;
    int empty(HeldEntry& file) override;
    int streamOf(HeldEntry& file, std::FILE*& stream) override;
    void close(HeldEntry& entry) override;
    bool sameName(const std::string& left, const std::string& right) override;
    std::string errorMessage(int code) override;
    // As in a code page that holds only ASCII: every other character shows as '?'.
    std::string logText(const std::string& text) override;

  private:
    struct Open {
        std::string path;
        std::FILE* file = nullptr;  // none for a folder
        std::filesystem::path realFile;
        bool deleteWhenClosed = false;
    };
    std::string finalPathFor(const std::string& path) const;

    std::filesystem::path logFile_;
    // Each handle is the address of its record.
    std::map<void*, std::unique_ptr<Open>> opens_;
    void* keep(Open open);
};

class FakeShell : public Shell {
  public:
    bool succeeds = true;
    int error = 0;
    std::vector<std::string> started;

    bool startScript(const std::string& path, int& lastError) override;
};

// A fresh temporary directory, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& text);
std::string readFile(const std::filesystem::path& path);
