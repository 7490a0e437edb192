#include "setup_log.h"

#include <cstdarg>

#include "error_codes.h"

// 0x1200A9 is read, list, traverse and read attributes: what the Users group had on the
// program-data folder, without its rights to add files and folders.
const char* const kLogFolderSecurity =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";

namespace {

const char* const kFallbackFolder = "C:";
const char* const kLogName = "\\QuillbeckSetup.log";

bool trustedOwner(FolderOwner owner) {
    return owner == kOwnerSystem || owner == kOwnerAdministrators ||
           owner == kOwnerTrustedInstaller || owner == kOwnerRunningAccount;
}

// Any user may create folders under the program-data folder and owns what they create, so
// a folder found there may lead elsewhere or let its owner plant a link in it. 0 when it
// is a real directory owned by the system, the administrators or the running account.
int trustFoundFolder(LogHost& host, const std::string& folder) {
    PathFacts facts;
    const int code = host.inspect(folder, facts);
    if (code != 0) {
        return code;
    }
    if (facts.isReparsePoint) {
        return kErrorReparsePointEncountered;
    }
    if (!facts.isDirectory) {
        return kErrorDirectory;
    }
    return trustedOwner(facts.owner) ? 0 : kErrorInvalidOwner;
}

std::string noteFor(LogHost& host, const std::string& path, int code) {
    return "Could not create '" + path + "' code(" + std::to_string(code) + ") '" +
           host.errorMessage(code) + "'";
}

// The log file at path, emptied, when it is ours alone. A link, or a file that has another
// name too, would have the log truncate and overwrite whatever it leads to: it is closed
// untouched and refused is set to why. Any other failure to open gives no log and no
// refusal, as it always did.
SetupLog openLogFile(LogHost& host, const std::string& path, int& refused) {
    refused = 0;
    std::FILE* file = nullptr;
    PathFacts facts;
    if (host.openUnchanged(path, file, facts) != 0) {
        return nullptr;
    }
    if (facts.isReparsePoint) {
        refused = kErrorReparsePointEncountered;
    } else if (facts.links > 1) {
        refused = kErrorTooManyLinks;
    }
    if (refused != 0 || host.truncateUnwritten(file) != 0) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

SetupLog openSetupLog(LogHost& host) {
    std::string folder;
    if (host.programDataFolder(folder) != 0) {
        return nullptr;
    }

    // The log file does not exist yet, so a failure to make its folder is kept until the
    // fallback file is open and then becomes its first line.
    std::string deferredNote;
    for (const char* component : {"Orvane", "Logs"}) {
        folder += '\\';
        folder += component;
        int code = host.createDirectory(folder, kLogFolderSecurity);
        if (code == kErrorAlreadyExists) {
            code = trustFoundFolder(host, folder);
        }
        if (code != 0) {
            deferredNote = noteFor(host, folder, code);
            folder = kFallbackFolder;
            break;
        }
    }

    int refused = 0;
    SetupLog log = openLogFile(host, folder + kLogName, refused);
    if (refused != 0 && folder != kFallbackFolder) {
        deferredNote = noteFor(host, folder + kLogName, refused);
        log = openLogFile(host, kFallbackFolder + std::string(kLogName), refused);
    }
    if (log != nullptr && !deferredNote.empty()) {
        logMessage(log, "%s\n", host.logText(deferredNote).c_str());
    }
    return log;
}

void logMessage(SetupLog log, const char* format, ...) {
    if (log == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(log, format, args);
    va_end(args);
}

void closeSetupLog(SetupLog log) {
    if (log != nullptr) {
        std::fclose(log);
    }
}
