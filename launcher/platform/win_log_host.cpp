#include "platform/win_log_host.h"

#include <windows.h>

#include <knownfolders.h>
#include <share.h>
#include <shlobj.h>

#include "platform/unique_handle.h"
#include "platform/win_file_system.h"
#include "platform/win_text.h"
#include "unicode_text.h"

int WinLogHost::programDataFolder(std::string& folder) {
    wchar_t* path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
    UniqueTaskMemory owner(path);
    if (FAILED(result)) {
        return static_cast<int>(result);
    }
    // A folder that has no exact UTF-8 form would have a stand-in created in its place;
    // that counts as a folder we cannot have.
    return utf8FromUtf16(path, wcslen(path), folder);
}

int WinLogHost::createDirectory(const std::string& path) {
    return makeDirectory(path);
}

std::string WinLogHost::errorMessage(int code) {
    return systemErrorText(code);
}

std::string WinLogHost::logText(const std::string& text) {
    return shownNarrow(text);
}

std::FILE* WinLogHost::openExclusive(const std::string& path) {
    std::wstring wide;
    if (toWidePath(path, wide) != 0) {
        return nullptr;
    }
    return _wfsopen(wide.c_str(), L"w", _SH_DENYRW);
}
