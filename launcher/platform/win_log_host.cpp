#include "platform/win_log_host.h"

#include <windows.h>

#include <knownfolders.h>
#include <share.h>
#include <shlobj.h>

#include "platform/unique_handle.h"
#include "platform/win_file_system.h"
#include "platform/win_text.h"

int WinLogHost::programDataFolder(std::string& folder) {
    wchar_t* path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
    UniqueTaskMemory owner(path);
    if (FAILED(result)) {
        return static_cast<int>(result);
    }
    // A folder the ANSI code page cannot name still goes on, with its stand-ins: its
    // creation then fails and the log falls back, with the reason as its first line.
    toNarrow(path, folder);
    return 0;
}

int WinLogHost::createDirectory(const std::string& path) {
    return makeDirectory(path);
}

std::string WinLogHost::errorMessage(int code) {
    return systemErrorText(code);
}

std::FILE* WinLogHost::openExclusive(const std::string& path) {
    std::wstring wide;
    if (toWidePath(path, wide) != 0) {
        return nullptr;
    }
    return _wfsopen(wide.c_str(), L"w", _SH_DENYRW);
}
