#pragma once

#include <cstdio>
#include <string>

// The launcher's only output channel; null when no log could be opened, and then every
// message is dropped.
using SetupLog = std::FILE*;

// Where the log lives and how it is opened. Paths and messages are UTF-8.
class LogHost {
  public:
    virtual ~LogHost() = default;
    // 0 with the program-data folder, or the failure the system reported.
    virtual int programDataFolder(std::string& folder) = 0;
    // 0 or the system's error value; an existing entry gives kErrorAlreadyExists.
    virtual int createDirectory(const std::string& path) = 0;
    virtual std::string errorMessage(int code) = 0;
    // Text mode, created or truncated, shared with nobody while open; null on failure.
    virtual std::FILE* openExclusive(const std::string& path) = 0;
    // UTF-8 text as the log file holds it: in the ANSI code page, with '?' for each
    // character that code page lacks. For reading only.
    virtual std::string logText(const std::string& text) = 0;
};

SetupLog openSetupLog(LogHost& host);

// The format is always a literal of ours: nothing from the command line ever reaches it.
void logMessage(SetupLog log, const char* format, ...) __attribute__((format(printf, 2, 3)));

void closeSetupLog(SetupLog log);
