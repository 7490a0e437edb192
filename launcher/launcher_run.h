#pragma once

#include "file_system.h"
#include "setup_log.h"
#include "shell.h"

constexpr int kExitSuccess = 0;
constexpr int kExitNoSource = -3;
constexpr int kExitCopyFailed = -4;
constexpr int kExitLaunchFailed = -5;

extern const char* const kScriptsFolder;

struct LauncherPorts {
    LogHost& logHost;
    FileSystem& fileSystem;
    Shell& shell;
};

// The whole launcher: log, copy the package given as the first argument into the setup
// scripts folder, start its install.cmd. sourceConversionError is 0, or the system's error
// when the first argument did not survive conversion to the ANSI code page: staging a
// look-alike path would run the wrong package.
int runLauncher(int argc, const char* const* argv, int sourceConversionError, LauncherPorts& ports);
