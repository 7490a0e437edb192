// Benchmark-only program, never shipped: the least a program can do to stage a package.
//   bare_copy_walk SOURCE DESTINATION
// Walks SOURCE with FindFirstFileW/FindNextFileW, creates each folder under DESTINATION
// and copies each file with CopyFileW (replacing), and nothing else: no checks, no log.
// Both roots are made absolute in the \\?\ form once, as the launcher makes them, so the
// two do the same file-system work and the difference is the launcher's own.
// Exits 0, or 1 naming the first call that failed and its error.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring longForm(const wchar_t* path) {
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path, needed, &full[0], nullptr);
    full.resize(written < needed ? written : 0);
    return full.compare(0, 4, L"\\\\?\\") == 0 ? full : L"\\\\?\\" + full;
}

bool failed(const char* call, const std::wstring& path) {
    std::fprintf(stderr, "%s failed with %lu: %ls\n", call, GetLastError(), path.c_str());
    return false;
}

bool copyFolder(const std::wstring& from, const std::wstring& to) {
    if (!CreateDirectoryW(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return failed("CreateDirectoryW", to);
    }
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return failed("FindFirstFileW", from);
    }
    bool ok = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring source = from + L'\\' + name;
        const std::wstring target = to + L'\\' + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ok = copyFolder(source, target);
        } else if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            ok = failed("CopyFileW", source);
        }
    } while (ok && FindNextFileW(find, &found));
    if (ok && GetLastError() != ERROR_NO_MORE_FILES) {
        ok = failed("FindNextFileW", from);
    }
    FindClose(find);
    return ok;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** const argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::fprintf(stderr, "usage: bare_copy_walk SOURCE DESTINATION\n");
        return 2;
    }
    const bool ok = copyFolder(longForm(argv[1]), longForm(argv[2]));
    LocalFree(argv);
    return ok ? 0 : 1;
}
