// The harness's file probe: what Windows reports about a file or folder.
//   probe-file manifest EXE      the RT_MANIFEST resource with id 1 as Windows loads it
//                                from EXE, line by line
//   probe-file version EXE       "FileVersion=...", "ProductVersion=...",
//                                "OriginalFilename=..." and "Fixed=a.b.c.d" as the version
//                                API reads them
//   probe-file rights FOLDER [DESCRIPTOR]
//                                makes FOLDER with DESCRIPTOR (security descriptor text)
//                                when given, then "rights " and its access list as Windows
//                                reports it, in that text
//   probe-file attributes PATH [+r|-r|+h|-h|+s|-s]...
//                                sets or clears those attributes when given, then
//                                "attributes 0xHEX LETTERS" as GetFileAttributesW reads them
// Each answers "missing ..." or "error N ..." where Windows refuses, then "end file N".
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "answer.h"

namespace {

using probe::Answers;

std::wstring error(const std::wstring& what, DWORD code) {
    return L"error " + std::to_wstring(code) + L" " + what;
}

void manifest(Answers& answers, const wchar_t* exe) {
    HMODULE module =
        LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        probe::answer(answers, error(L"load", GetLastError()));
        return;
    }
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char* bytes =
        loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        probe::answer(answers, error(L"no manifest resource", GetLastError()));
    } else {
        const std::string text(bytes, SizeofResource(module, found));
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end;
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            probe::answer(answers, std::wstring(line.begin(), line.end()));
            start = end + 1;
        }
    }
    FreeLibrary(module);
}

// One string of the version resource's US English, Unicode table, as "Name=value".
std::wstring versionString(const std::vector<char>& data, const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), key.c_str(), &value, &length) && length > 0) {
        return std::wstring(name) + L"=" + static_cast<const wchar_t*>(value);
    }
    return std::wstring(L"missing ") + name;
}

void version(Answers& answers, const wchar_t* exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoW(exe, 0, size, data.data())) {
        probe::answer(answers, error(L"no version resource", GetLastError()));
        return;
    }
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"OriginalFilename"}) {
        probe::answer(answers, versionString(data, name));
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", &fixed, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        probe::answer(answers, L"Fixed=" + std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
                                   std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
                                   std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
                                   std::to_wstring(LOWORD(info->dwFileVersionLS)));
    }
}

// What a folder made with a given descriptor keeps of it is the file system's and Wine's
// business, so the test compares what Windows reports, never what was asked for.
void rights(Answers& answers, const wchar_t* folder, const wchar_t* descriptor) {
    if (descriptor != nullptr) {
        PSECURITY_DESCRIPTOR given = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                  &given, nullptr)) {
            probe::answer(answers, error(L"read the descriptor", GetLastError()));
            return;
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, given, FALSE};
        const BOOL made = CreateDirectoryW(folder, &attributes);
        const DWORD code = GetLastError();
        LocalFree(given);
        if (!made) {
            probe::answer(answers, error(L"make the folder", code));
            return;
        }
    }
    PSECURITY_DESCRIPTOR found = nullptr;
    const DWORD result = GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, nullptr, nullptr, &found);
    if (result != ERROR_SUCCESS) {
        probe::answer(answers, error(L"read the rights", result));
        return;
    }
    wchar_t* text = nullptr;
    const BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorW(
        found, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    const DWORD code = GetLastError();
    LocalFree(found);
    if (!converted) {
        probe::answer(answers, error(L"write the rights", code));
        return;
    }
    probe::answer(answers, std::wstring(L"rights ") + text);
    LocalFree(text);
}

DWORD attributeFor(wchar_t letter) {
    switch (letter) {
        case L'r':
            return FILE_ATTRIBUTE_READONLY;
        case L'h':
            return FILE_ATTRIBUTE_HIDDEN;
        case L's':
            return FILE_ATTRIBUTE_SYSTEM;
        default:
            return 0;
    }
}

void attributes(Answers& answers, const wchar_t* path, int changes, wchar_t** change) {
    DWORD now = GetFileAttributesW(path);
    for (int i = 0; i < changes && now != INVALID_FILE_ATTRIBUTES; ++i) {
        const DWORD bit = attributeFor(change[i][1]);
        const DWORD wanted = change[i][0] == L'+' ? (now | bit) : (now & ~bit);
        if (bit == 0 || !SetFileAttributesW(path, wanted)) {
            probe::answer(answers, error(std::wstring(L"set ") + change[i], GetLastError()));
            return;
        }
        now = GetFileAttributesW(path);
    }
    if (now == INVALID_FILE_ATTRIBUTES) {
        probe::answer(answers, error(L"attributes", GetLastError()));
        return;
    }
    std::wstring letters;
    const struct {
        DWORD bit;
        wchar_t letter;
    } names[] = {{FILE_ATTRIBUTE_READONLY, L'R'},
                 {FILE_ATTRIBUTE_HIDDEN, L'H'},
                 {FILE_ATTRIBUTE_SYSTEM, L'S'},
                 {FILE_ATTRIBUTE_DIRECTORY, L'D'},
                 {FILE_ATTRIBUTE_ARCHIVE, L'A'}};
    for (const auto& name : names) {
        letters += (now & name.bit) != 0 ? name.letter : L'-';
    }
    probe::answer(answers, L"attributes " + probe::hex32(now) + L" " + letters);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Answers answers;
    const std::wstring what = argc >= 3 ? argv[1] : L"";
    if (what == L"manifest" && argc == 3) {
        manifest(answers, argv[2]);
    } else if (what == L"version" && argc == 3) {
        version(answers, argv[2]);
    } else if (what == L"rights" && (argc == 3 || argc == 4)) {
        rights(answers, argv[2], argc == 4 ? argv[3] : nullptr);
    } else if (what == L"attributes") {
        attributes(answers, argv[2], argc - 3, argv + 3);
    } else {
        probe::answer(answers,
                      L"usage: probe-file manifest|version EXE | rights FOLDER "
                      L"[DESCRIPTOR] | attributes PATH [+r|-r|+h|-h|+s|-s]...");
        return 2;
    }
    probe::finish(answers, L"file");
    return 0;
}
