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
// scripts folder, start its install.cmd. The arguments are UTF-8. sourceConversionError is
// 0, or the system's error when the first argument could not be read as Unicode text (an
// unpaired surrogate): its text then holds '?' in that place and names no folder.
int runLauncher(int argc, const char* const* argv, int sourceConversionError, LauncherPorts& ports);
