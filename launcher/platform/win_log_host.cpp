#include "platform/win_log_host.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>

#include "error_codes.h"
#include "platform/unique_handle.h"
#include "platform/win_security.h"
#include "platform/win_text.h"
#include "unicode_text.h"

namespace {

int lastError() {
    return static_cast<int>(GetLastError());
}

// What the open entry is. Its path is asked as well: Wine shows a directory link only in
// the attributes of the path, and on Windows both describe the link itself.
int readFacts(HANDLE entry, const std::wstring& path, PathFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(entry, &info)) {
        return lastError();
    }
    DWORD attributes = info.dwFileAttributes;
    const DWORD byPath = GetFileAttributesW(path.c_str());
    if (byPath != INVALID_FILE_ATTRIBUTES) {
        attributes |= byPath & FILE_ATTRIBUTE_REPARSE_POINT;
    }
    facts.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.isReparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.links = info.nNumberOfLinks;
    return 0;
}

// Never CREATE_ALWAYS, OPEN_ALWAYS or TRUNCATE_EXISTING: those act on the target of a
// link. An existing name is opened as itself, and CREATE_NEW, for a name that is not
// there, fails on a link rather than create its target.
HANDLE openAsItself(const std::wstring& path) {
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file = CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = CreateFileW(path.c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr);
    }
    return file;
}

}  // namespace

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

int WinLogHost::createDirectory(const std::string& path, const std::string& security) {
    return makeSecuredDirectory(path, security);
}

int WinLogHost::inspect(const std::string& path, PathFacts& facts) {
    facts = PathFacts{};
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    // The entry itself, directory or not, link or not; full sharing disturbs nobody.
    UniqueFile entry(
        CreateFileW(wide.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry.valid()) {
        return lastError();
    }
    const int code = readFacts(entry.get(), wide, facts);
    return code != 0 ? code : readOwner(entry.get(), facts.owner);
}

std::string WinLogHost::errorMessage(int code) {
    return systemErrorText(code);
}

std::string WinLogHost::logText(const std::string& text) {
    return shownNarrow(text);
}

int WinLogHost::openUnchanged(const std::string& path, std::FILE*& file, PathFacts& facts) {
    file = nullptr;
    facts = PathFacts{};
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    UniqueFile opened(openAsItself(wide));
    if (!opened.valid()) {
        return lastError();
    }
    const int code = readFacts(opened.get(), wide, facts);
    if (code != 0) {
        return code;
    }
    // Text mode, as the log has always been written.
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(opened.get()), _O_WRONLY | _O_TEXT);
    if (descriptor == -1) {
        return ERROR_TOO_MANY_OPEN_FILES;
    }
    opened.release();
    file = _fdopen(descriptor, "w");
    if (file == nullptr) {
        _close(descriptor);
        return kErrorNotEnoughMemory;
    }
    return 0;
}

int WinLogHost::truncateUnwritten(std::FILE* file) {
    // Nothing has been written, so the end moves to the start.
    _doserrno = 0;
    if (_chsize(_fileno(file), 0) == 0) {
        return 0;
    }
    return _doserrno != 0 ? static_cast<int>(_doserrno) : ERROR_WRITE_FAULT;
}
