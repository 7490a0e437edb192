#include "setup_log.h"

#include <cstdarg>

#include "error_codes.h"

// 0x1200A9 is read, list, traverse and read attributes: what the Users group had on the
// program-data folder, without its rights to add files and folders.
const char* const kLogFolderSecurity =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";

namespace {

const char* const kFallbackFolder = "C:";
const char* const kLogFileName = "QuillbeckSetup.log";
const char* const kLogFolders[] = {"Orvane", "Logs"};
constexpr size_t kLogFolderCount = sizeof kLogFolders / sizeof kLogFolders[0];

// Closes what it holds when it goes, so that on every way out the folders are let go only
// after the log file has been opened and checked.
class Held {
  public:
    explicit Held(LogHost& host) : host_(host) {}
    ~Held() {
        if (entry.handle != nullptr) {
            host_.close(entry);
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    HeldEntry entry;

  private:
    LogHost& host_;
};

bool trustedOwner(FolderOwner owner) {
    return owner == kOwnerSystem || owner == kOwnerAdministrators ||
           owner == kOwnerTrustedInstaller || owner == kOwnerRunningAccount;
}

// The final path of the entry name right inside the folder whose final path is parent.
std::string finalPathBelow(const std::string& parent, const std::string& name) {
    return parent + (!parent.empty() && parent.back() == '\\' ? "" : "\\") + name;
}

// Any user may create folders under the program-data folder and owns what they create, so
// a folder found there may lead elsewhere or let its owner plant a link in it, and one made
// a moment ago may have been swapped before it was opened. 0 when the folder now held is a
// real directory owned by the system, the administrators, TrustedInstaller or the running
// account, and lies where its path says: its final path is its parent's plus its name.
int holdTrustedFolder(LogHost& host, const std::string& folder, const std::string& expectedFinal,
                      HeldEntry& held) {
    const int code = host.holdFolder(folder, held);
    if (code != 0) {
        return code;
    }
    if (held.facts.isReparsePoint) {
        return kErrorReparsePointEncountered;
    }
    if (!held.facts.isDirectory) {
        return kErrorDirectory;
    }
    if (!trustedOwner(held.facts.owner)) {
        return kErrorInvalidOwner;
    }
    return host.sameName(held.finalPath, expectedFinal) ? 0 : kErrorReparsePointEncountered;
}

// Makes or finds each log folder below the program-data folder (given in folder) and holds
// it. 0 with folder and folderFinal naming the last one; otherwise the failure, with folder
// naming the one that failed and the rest not tried.
int holdLogFolders(LogHost& host, Held* const (&held)[kLogFolderCount], std::string& folder,
                   std::string& folderFinal) {
    int code = host.finalPathOf(folder, folderFinal);
    for (size_t i = 0; i < kLogFolderCount; ++i) {
        folder += '\\';
        folder += kLogFolders[i];
        if (code == 0) {
            code = host.createDirectory(folder, kLogFolderSecurity);
            if (code == kErrorAlreadyExists) {
                code = 0;
            }
        }
        if (code == 0) {
            code = holdTrustedFolder(host, folder, finalPathBelow(folderFinal, kLogFolders[i]),
                                     held[i]->entry);
        }
        if (code != 0) {
            return code;
        }
        folderFinal = held[i]->entry.finalPath;
    }
    return 0;
}

std::string noteFor(LogHost& host, const std::string& path, int code) {
    return "Could not create '" + path + "' code(" + std::to_string(code) + ") '" +
           host.errorMessage(code) + "'";
}

// Why the open log file must not be written, or 0. A link anywhere on its path, a junction
// in the middle or an object-manager link at the end, shows only in where the open landed;
// a second name would have the log overwrite another file; a file that was there before,
// owned by someone outside the launcher's side, was put there for it to write into.
int refusalOf(LogHost& host, const HeldEntry& file, const std::string& expectedFinal) {
    if (!host.sameName(file.finalPath, expectedFinal) || file.facts.isReparsePoint) {
        return kErrorReparsePointEncountered;
    }
    if (file.facts.links > 1) {
        return kErrorTooManyLinks;
    }
    if (!file.created && !trustedOwner(file.facts.owner)) {
        return kErrorInvalidOwner;
    }
    return 0;
}

// The log file in folder, whose final path is folderFinal, emptied, when it is ours alone
// and lies where its path says. Otherwise nothing is written to it, a file this open made
// is deleted again so that nothing is left where a link led, and refused is set to why
// (also when it cannot be emptied). A failure to open gives no log and no refusal, as it
// always did.
SetupLog openLogIn(LogHost& host, const std::string& folder, const std::string& folderFinal,
                   int& refused) {
    refused = 0;
    Held file(host);
    if (host.openLogFile(folder + '\\' + kLogFileName, file.entry) != 0) {
        return nullptr;
    }
    refused = refusalOf(host, file.entry, finalPathBelow(folderFinal, kLogFileName));
    if (refused == 0) {
        refused = host.empty(file.entry);
    }
    if (refused != 0) {
        if (file.entry.created) {
            // Should even this fail, the file stays empty: nothing was written to it.
            host.deleteWhenClosed(file.entry);
        }
        return nullptr;
    }
    std::FILE* stream = nullptr;
    return host.streamOf(file.entry, stream) == 0 ? stream : nullptr;
}

// The log file in the root of drive C, checked against the root's own final path.
SetupLog openFallbackLog(LogHost& host, int& refused) {
    refused = 0;
    std::string rootFinal;
    if (host.finalPathOf(std::string(kFallbackFolder) + '\\', rootFinal) != 0) {
        return nullptr;
    }
    return openLogIn(host, kFallbackFolder, rootFinal, refused);
}

}  // namespace

SetupLog openSetupLog(LogHost& host) {
    std::string folder;
    if (host.programDataFolder(folder) != 0) {
        return nullptr;
    }

    // Both folders stay held until the log file is open, so that neither can be renamed or
    // replaced by a link between its check and the open.
    Held orvane(host);
    Held logs(host);
    Held* const held[kLogFolderCount] = {&orvane, &logs};
    std::string folderFinal;
    // The log file does not exist yet, so a failure to make its folder is kept until the
    // fallback file is open and then becomes its first line.
    std::string deferredNote;
    const int code = holdLogFolders(host, held, folder, folderFinal);
    SetupLog log = nullptr;
    int refused = 0;
    if (code != 0) {
        deferredNote = noteFor(host, folder, code);
        log = openFallbackLog(host, refused);
    } else {
        log = openLogIn(host, folder, folderFinal, refused);
        if (refused != 0) {
            deferredNote = noteFor(host, folder + '\\' + kLogFileName, refused);
            log = openFallbackLog(host, refused);
        }
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
