#include "platform/win_file_system.h"

#include <windows.h>

#include <utility>

#include "platform/unique_handle.h"
#include "platform/win_text.h"
#include "unicode_text.h"

namespace {

int lastError() {
    return static_cast<int>(GetLastError());
}

}  // namespace

int WinFileSystem::examine(const std::string& path, EntryKind& kind) {
    kind = kEntryUnknown;
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int code = lastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            kind = kEntryMissing;
        }
        return code;
    }
    kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kEntryDirectory : kEntryFile;
    return 0;
}

int WinFileSystem::resolve(const std::string& path, std::string& resolved) {
    resolved.clear();
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    return converted != 0 ? converted : utf8FromUtf16(wide, resolved);
}

namespace {

// The 64-bit index is not unique on ReFS, so two folders could pass for one: the full
// 128-bit ID comes first. Systems before Windows 8 and file systems without it refuse the
// class, and a file system without such IDs gives an ID of zero: there the volume serial
// and file index are the identity.
bool fallsBackToIndex(int code) {
    return code == ERROR_INVALID_PARAMETER || code == ERROR_INVALID_FUNCTION ||
           code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_LEVEL;
}

int readFullId(HANDLE file, EntryId& id) {
    FILE_ID_INFO info{};
    if (!GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof info)) {
        return lastError();
    }
    static_assert(sizeof info.FileId.Identifier == 16, "a file ID is 128 bits");
    id.volume = info.VolumeSerialNumber;
    // Byte order does not matter for equality; this keeps an NTFS ID's index in index.
    for (int i = 7; i >= 0; --i) {
        id.index = (id.index << 8) | info.FileId.Identifier[i];
        id.indexHigh = (id.indexHigh << 8) | info.FileId.Identifier[8 + i];
    }
    return 0;
}

}  // namespace

int WinFileSystem::identify(const std::string& path, EntryId& id) {
    id = EntryId{};
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    // Backup semantics let this open directories too; no access is needed to read the
    // identity, and full sharing disturbs nobody.
    UniqueFile file(CreateFileW(wide.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        return lastError();
    }
    const int code = readFullId(file.get(), id);
    if (code == 0 ? (id.index | id.indexHigh) != 0 : !fallsBackToIndex(code)) {
        return code;
    }
    id = EntryId{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.get(), &info) == 0) {
        return lastError();
    }
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 0;
}

int WinFileSystem::listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    if (wide.back() != L'\\') {
        wide += L'\\';
    }
    wide += L'*';

    WIN32_FIND_DATAW found{};
    UniqueFind find(FindFirstFileW(wide.c_str(), &found));
    if (!find.valid()) {
        return lastError();
    }
    do {
        const wchar_t* const name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) {
            continue;
        }
        DirectoryEntry entry;
        // Every well-formed name converts exactly. One with an unpaired surrogate has no
        // UTF-8 form and could not be named again: it fails the listing rather than go
        // missing from the staged package or be staged under a substitute.
        const int converted = utf8FromUtf16(name, wcslen(name), entry.name);
        if (converted != 0) {
            return converted;
        }
        entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.attributes = found.dwFileAttributes;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find.get(), &found));
    const int code = lastError();
    return code == ERROR_NO_MORE_FILES ? 0 : code;
}

int makeDirectory(const std::string& path) {
    std::wstring wide;
    const int converted = toWidePath(path, wide);
    if (converted != 0) {
        return converted;
    }
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : lastError();
}

int WinFileSystem::createDirectory(const std::string& path) {
    return makeDirectory(path);
}

namespace {

// Attributes that make the system refuse to overwrite an existing file.
constexpr DWORD kBlockingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A package from read-only media or an archive passes its read-only or hidden files on to
// the staged copies, and staging it again is refused. Such a file is replaced once those
// attributes are off; when even that copy fails, the destination keeps its attributes and
// the copy failure stands as it would have.
int replaceProtected(const std::wstring& from, const std::wstring& to, int denied) {
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (attributes & kBlockingAttributes) == 0) {
        return denied;
    }
    const DWORD cleared = attributes & ~kBlockingAttributes;
    if (!SetFileAttributesW(to.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) {
        return denied;
    }
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        return 0;
    }
    const int code = lastError();
    SetFileAttributesW(to.c_str(), attributes);
    return code;
}

// What the system's copy promises to carry to the new file and SetFileAttributesW accepts.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                     FILE_ATTRIBUTE_TEMPORARY;

static_assert(kAttributesUnlisted == INVALID_FILE_ATTRIBUTES, "no listing gives these");

// The copy is to keep the source's attributes, and not every implementation of it does:
// some leave a new file visible although its source is hidden. A package's hidden,
// system or read-only file therefore gets its attributes back where the copy lost them.
// The listing that named the file already holds its attributes; only a file no listing
// named (a single-file package) is asked. An ordinary file carries none of those and
// costs nothing more.
int carryAttributes(const std::wstring& from, const std::wstring& to, DWORD listed) {
    const DWORD source =
        listed != INVALID_FILE_ATTRIBUTES ? listed : GetFileAttributesW(from.c_str());
    if (source == INVALID_FILE_ATTRIBUTES || (source & kBlockingAttributes) == 0) {
        return 0;
    }
    const DWORD staged = GetFileAttributesW(to.c_str());
    if (staged == INVALID_FILE_ATTRIBUTES) {
        return lastError();
    }
    const DWORD wanted = source & kCarriedAttributes;
    if ((staged & kCarriedAttributes) == wanted) {
        return 0;
    }
    return SetFileAttributesW(to.c_str(), wanted) ? 0 : lastError();
}

}  // namespace

int WinFileSystem::copyFile(const std::string& from, const std::string& to,
                            EntryAttributes listed) {
    std::wstring wideFrom;
    std::wstring wideTo;
    int converted = toWidePath(from, wideFrom);
    if (converted == 0) {
        converted = toWidePath(to, wideTo);
    }
    if (converted != 0) {
        return converted;
    }
    int code = 0;
    if (!CopyFileW(wideFrom.c_str(), wideTo.c_str(), FALSE)) {
        code = lastError();
        if (code == ERROR_ACCESS_DENIED) {
            code = replaceProtected(wideFrom, wideTo, code);
        }
    }
    return code == 0 ? carryAttributes(wideFrom, wideTo, listed) : code;
}

std::string WinFileSystem::errorMessage(int code) {
    return systemErrorText(code);
}
