#include "platform/win_log_host.h"

#include <windows.h>

#include <knownfolders.h>
#include <share.h>
#include <shlobj.h>

#include "platform/unique_handle.h"
#include "platform/win_text.h"

int WinLogHost::programDataFolder(std::string& folder) {
    wchar_t* path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
    UniqueTaskMemory owner(path);
    if (FAILED(result)) {
        return static_cast<int>(result);
    }
    // A folder the ANSI code page cannot name still goes on, with its '?' stand-ins: its
    // creation then fails and the log falls back, with the reason as its first line.
    if (toNarrow(path, folder) != 0) {
        const int length = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
        folder.assign(length > 0 ? static_cast<size_t>(length) : 0, '\0');
        if (length > 0) {
            WideCharToMultiByte(CP_ACP, 0, path, -1, &folder[0], length, nullptr, nullptr);
            folder.pop_back();
        }
    }
    return 0;
}

int WinLogHost::createDirectory(const std::string& path) {
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : static_cast<int>(GetLastError());
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
