#include "launcher_run.h"

#include <new>
#include <string>

#include "error_codes.h"
#include "tree_copy.h"

const char* const kScriptsFolder = "C:\\Windows\\Setup\\Scripts";

namespace {

// Batch files pass "%~dp0" or "C:\pkg\", and the command-line rules read the final \" as
// a literal quote: the folder arrives as C:\pkg". A quote is never part of a Windows
// path, so the folder meant is what stands before it.
std::string folderMeant(const std::string& received) {
    return received.substr(0, received.find('"'));
}

int stagePackage(const std::string& source, int sourceConversionError, FileSystem& fs,
                 CopyFailure& failure) {
    if (sourceConversionError != 0) {
        failure.code = sourceConversionError;
        failure.message = fs.errorMessage(sourceConversionError);
        failure.description = "read source path as Unicode text " + source;
        return sourceConversionError;
    }
    try {
        return copyTree(fs, folderMeant(source), kScriptsFolder, failure);
    } catch (const std::bad_alloc&) {
        failure.code = kErrorNotEnoughMemory;
        failure.message = fs.errorMessage(kErrorNotEnoughMemory);
        failure.description = "copy " + source;
        return kErrorNotEnoughMemory;
    }
}

}  // namespace

int runLauncher(int argc, const char* const* argv, int sourceConversionError,
                LauncherPorts& ports) {
    SetupLog log = openSetupLog(ports.logHost);
    logMessage(log, "Quillbeck Setup\n");

    if (argc <= 1) {
        logMessage(log, "Expecting unzip temp directory name!\n");
        closeSetupLog(log);
        return kExitNoSource;
    }

    // The copy gets the argument exactly; the log, narrow text, only shows it.
    const std::string source = argv[1];
    const std::string shownSource = ports.logHost.logText(source);
    logMessage(log, "Unzipped temp directory to '%s'\n", shownSource.c_str());
    logMessage(log, "Preparing to copy temp directory from '%s' to '%s'\n", shownSource.c_str(),
               kScriptsFolder);

    CopyFailure failure;
    if (stagePackage(source, sourceConversionError, ports.fileSystem, failure) != 0) {
        logMessage(log, "Temp directory copy failed with code:%d('%s') '%s'\n", failure.code,
                   ports.logHost.logText(failure.message).c_str(),
                   ports.logHost.logText(failure.description).c_str());
        closeSetupLog(log);
        return kExitCopyFailed;
    }
    logMessage(log, "Succeeded in copying temp directory\n");

    const std::string script = std::string(kScriptsFolder) + "\\install.cmd";
    logMessage(log, "Preparing to run %s\n", script.c_str());
    int lastError = 0;
    if (ports.shell.startScript(script, lastError)) {
        logMessage(log, "Succeeded in running %s\n", script.c_str());
        logMessage(log, "Done!\n");
        closeSetupLog(log);
        return kExitSuccess;
    }
    logMessage(log, "%s failed with error %d\n", script.c_str(), lastError);
    logMessage(log, "Done :(\n");
    closeSetupLog(log);
    return kExitLaunchFailed;
}
