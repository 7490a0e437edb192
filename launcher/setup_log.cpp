#include "setup_log.h"

#include <cstdarg>

#include "error_codes.h"

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
        const int code = host.createDirectory(folder);
        if (code != 0 && code != kErrorAlreadyExists) {
            deferredNote = "Could not create '" + folder + "' code(" + std::to_string(code) +
                           ") '" + host.errorMessage(code) + "'";
            folder = "C:";
            break;
        }
    }

    SetupLog log = host.openExclusive(folder + "\\QuillbeckSetup.log");
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
