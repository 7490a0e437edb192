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

// Where the open handle really landed, with its drive letter. The system answers the size
// it needs, terminator included, whenever the buffer is too small; a path that keeps
// growing is being renamed under us and counts as one too long to check.
int finalPathOfHandle(HANDLE entry, std::string& finalPath) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetFinalPathNameByHandleW(entry, &buffer[0], size,
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return lastError();
        }
        if (length < size) {
            return utf8FromUtf16(buffer.data(), length, finalPath);
        }
        buffer.assign(length, L'\0');
    }
    return ERROR_FILENAME_EXCED_RANGE;
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
    return readOwner(entry, facts.owner);
}

// Facts and final path of a handle just opened at path; on success entry holds it.
int takeEntry(UniqueFile& opened, const std::wstring& path, HeldEntry& entry) {
    int code = readFacts(opened.get(), path, entry.facts);
    if (code == 0) {
        code = finalPathOfHandle(opened.get(), entry.finalPath);
    }
    if (code == 0) {
        entry.handle = opened.release();
    }
    return code;
}

// Never CREATE_ALWAYS, OPEN_ALWAYS or TRUNCATE_EXISTING: those act on the target of a
// link. An existing name is opened as itself, and CREATE_NEW, for a name that is not
// there, fails on a link rather than create its target. Only a file this open makes may
// be deleted through it.
HANDLE openAsItself(const std::wstring& path, bool& created) {
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    created = false;
    HANDLE file = CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = CreateFileW(path.c_str(), access | DELETE, 0, nullptr, CREATE_NEW, flags, nullptr);
        created = file != INVALID_HANDLE_VALUE;
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

int WinLogHost::finalPathOf(const std::string& path, std::string& finalPath) {
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    // Only the system may change these folders, so links are followed, and nobody is
    // kept from anything.
    UniqueFile entry(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!entry.valid()) {
        return lastError();
    }
    return finalPathOfHandle(entry.get(), finalPath);
}

int WinLogHost::createDirectory(const std::string& path, const std::string& security) {
    return makeSecuredDirectory(path, security);
}

int WinLogHost::holdFolder(const std::string& path, HeldEntry& folder) {
    folder = HeldEntry{};
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    // The entry itself, directory or not, link or not. A share mode binds only a handle
    // that may read, write or delete, so this one may list the folder; sharing no delete,
    // it keeps anyone from renaming or removing the folder, and fails while someone else
    // holds it open to do so.
    UniqueFile entry(
        CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry.valid()) {
        return lastError();
    }
    return takeEntry(entry, wide, folder);
}

int WinLogHost::openLogFile(const std::string& path, HeldEntry& file) {
    file = HeldEntry{};
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    bool created = false;
    UniqueFile opened(openAsItself(wide, created));
    if (!opened.valid()) {
        return lastError();
    }
    file.created = created;
    const int code = takeEntry(opened, wide, file);
    if (code != 0 && created) {
        // Not checked, so not ours to leave behind.
        FILE_DISPOSITION_INFO disposition{TRUE};
        SetFileInformationByHandle(opened.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition);
    }
    return code;
}

int WinLogHost::deleteWhenClosed(HeldEntry& file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(file.handle, FileDispositionInfo, &disposition,
                                      sizeof disposition)
               ? 0
               : lastError();
}

int WinLogHost::empty(HeldEntry& file) {
    // Nothing has been written, so the end moves to the start.
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = 0;
    return SetFileInformationByHandle(file.handle, FileEndOfFileInfo, &end, sizeof end)
               ? 0
               : lastError();
}

int WinLogHost::streamOf(HeldEntry& file, std::FILE*& stream) {
    stream = nullptr;
    // Text mode, as the log has always been written.
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(file.handle), _O_WRONLY | _O_TEXT);
    if (descriptor == -1) {
        return ERROR_TOO_MANY_OPEN_FILES;
    }
    // The descriptor owns the handle now, and closing it closes the handle.
    file.handle = nullptr;
    stream = _fdopen(descriptor, "w");
    if (stream == nullptr) {
        _close(descriptor);
        return kErrorNotEnoughMemory;
    }
    return 0;
}

void WinLogHost::close(HeldEntry& entry) {
    if (entry.handle != nullptr) {
        CloseHandle(entry.handle);
        entry.handle = nullptr;
    }
}

bool WinLogHost::sameName(const std::string& left, const std::string& right) {
    std::wstring wideLeft;
    std::wstring wideRight;
    if (utf16FromUtf8(left, wideLeft) != 0 || utf16FromUtf8(right, wideRight) != 0) {
        return false;
    }
    return CompareStringOrdinal(wideLeft.c_str(), static_cast<int>(wideLeft.size()),
                                wideRight.c_str(), static_cast<int>(wideRight.size()),
                                TRUE) == CSTR_EQUAL;
}

std::string WinLogHost::errorMessage(int code) {
    return systemErrorText(code);
}

std::string WinLogHost::logText(const std::string& text) {
    return shownNarrow(text);
}
