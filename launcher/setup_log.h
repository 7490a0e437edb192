#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The launcher's only output channel; null when no log could be opened, and then every
// message is dropped.
using SetupLog = std::FILE*;

// Who owns an existing folder, as far as the log's rules need to know.
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
    // Creates only the last component, with the given security (kLogFolderSecurity): 0 or
    // the system's error value; an existing entry gives kErrorAlreadyExists.
    virtual int createDirectory(const std::string& path, const std::string& security) = 0;
    // What an existing entry is and who owns it, links not followed: 0 or the system's
    // error value.
    virtual int inspect(const std::string& path, PathFacts& facts) = 0;
    virtual std::string errorMessage(int code) = 0;
    // Opens path for writing in text mode, shared with nobody while open, without
    // following a link and without changing it: an existing file keeps its bytes, a missing
    // one is created. 0 with the file and what it is (owner not read), or the system's
    // error value.
    virtual int openUnchanged(const std::string& path, std::FILE*& file, PathFacts& facts) = 0;
    // Empties a file openUnchanged gave, before anything is written: 0 or the system's
    // error value.
    virtual int truncateUnwritten(std::FILE* file) = 0;
    // UTF-8 text as the log file holds it: in the ANSI code page, with '?' for each
    // character that code page lacks. For reading only.
    virtual std::string logText(const std::string& text) = 0;
};

SetupLog openSetupLog(LogHost& host);

// The format is always a literal of ours: nothing from the command line ever reaches it.
void logMessage(SetupLog log, const char* format, ...) __attribute__((format(printf, 2, 3)));

void closeSetupLog(SetupLog log);
