#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The launcher's only output channel; null when no log could be opened, and then every
// message is dropped.
using SetupLog = std::FILE*;

// Who owns an existing folder or log file, as far as the log's rules need to know.
enum FolderOwner : std::uint8_t {
    kOwnerOther,
    kOwnerSystem,
    kOwnerAdministrators,
    kOwnerTrustedInstaller,
    kOwnerRunningAccount,  // the account the launcher runs as
};

// What stands at a path, seen as itself: a link or junction is not followed.
struct PathFacts {
    bool isDirectory = false;
    bool isReparsePoint = false;
    unsigned long links = 1;  // names the file has; more than one means a hard link
    FolderOwner owner = kOwnerOther;
};

// Something the host keeps open for the log's rules: a folder held so that nobody can
// rename or replace it, or the log file before it is handed over. What was read of it came
// through that open handle.
struct HeldEntry {
    void* handle = nullptr;  // the host's own; null when nothing is held
    PathFacts facts;
    std::string finalPath;  // where the open really landed, as the system names it
    bool created = false;   // this open made the file
};

// The security every log folder is created with, in the system's descriptor text: not
// inherited from the program-data folder, whose entries any user may create; full control
// for SYSTEM, the Administrators and the folder's owner (so the account that made it can
// go on writing its log), read and list for the Users group, and no right for anyone else
// to add entries. The log file inherits it.
extern const char* const kLogFolderSecurity;

// Where the log lives and how it is opened. Paths and messages are UTF-8.
class LogHost {
  public:
    virtual ~LogHost() = default;
    // 0 with the program-data folder, or the failure the system reported.
    virtual int programDataFolder(std::string& folder) = 0;
    // Where a folder that only the system may change leads (the program-data folder, the
    // root of a drive), links followed: 0 or the system's error value.
    virtual int finalPathOf(const std::string& path, std::string& finalPath) = 0;
    // Creates only the last component, with the given security (kLogFolderSecurity): 0 or
    // the system's error value; an existing entry gives kErrorAlreadyExists.
    virtual int createDirectory(const std::string& path, const std::string& security) = 0;
    // Opens the entry at path as itself, never through a link at its end, and holds it so
    // that nobody can rename or delete it until it is closed; what it is, its owner and its
    // final path are read through that handle. 0, or the system's error value and nothing
    // held.
    virtual int holdFolder(const std::string& path, HeldEntry& folder) = 0;
    // Opens the log file at path for writing, as itself, shared with nobody, without
    // changing it: an existing file keeps its bytes, a missing one is created (and may then
    // be deleted through this handle). What it is, its owner and its final path are read
    // through the handle. 0, or the system's error value and nothing held.
    virtual int openLogFile(const std::string& path, HeldEntry& file) = 0;
    // Marks a file this open created to be deleted when it is closed: 0 or the system's
    // error value.
    virtual int deleteWhenClosed(HeldEntry& file) = 0;
    // Empties an open log file before anything is written: 0 or the system's error value.
    virtual int empty(HeldEntry& file) = 0;
    // Hands the open log file over as a text-mode stream, after which nothing is held:
    // 0 or the system's error value.
    virtual int streamOf(HeldEntry& file, std::FILE*& stream) = 0;
    // Closes whatever entry holds; it then holds nothing.
    virtual void close(HeldEntry& entry) = 0;
    // Whether two final paths name the same entry, compared as the system compares names:
    // ordinal, ignoring case.
    virtual bool sameName(const std::string& left, const std::string& right) = 0;
    virtual std::string errorMessage(int code) = 0;
    // UTF-8 text as the log file holds it: in the ANSI code page, with '?' for each
    // character that code page lacks. For reading only.
    virtual std::string logText(const std::string& text) = 0;
};

SetupLog openSetupLog(LogHost& host);

// The format is always a literal of ours: nothing from the command line ever reaches it.
void logMessage(SetupLog log, const char* format, ...) __attribute__((format(printf, 2, 3)));

void closeSetupLog(SetupLog log);
