// Test-only helper for the end-to-end scripts; never shipped.
//   probe hold FILE READY RELEASE  keeps FILE open with no sharing, writes READY once it
//                                  holds it, lets go when RELEASE appears (or after 2 min)
//   probe manifest EXE             prints the RT_MANIFEST resource with id 1 as Windows
//                                  loads it from EXE; exit 1 when there is none
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int hold(const char* path, const char* ready, const char* release) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: %lu\n", path, GetLastError());
        return 1;
    }
    HANDLE signal = CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(signal);
    for (int waited = 0; waited < 1200; ++waited) {
        if (GetFileAttributesA(release) != INVALID_FILE_ATTRIBUTES) {
            break;
        }
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}

int manifest(const char* exe) {
    HMODULE module =
        LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        std::printf("cannot load %s: %lu\n", exe, GetLastError());
        return 1;
    }
    int status = 1;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found != nullptr) {
        HGLOBAL loaded = LoadResource(module, found);
        const DWORD size = SizeofResource(module, found);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes != nullptr) {
            std::fwrite(bytes, 1, size, stdout);
            status = 0;
        }
    } else {
        std::printf("no manifest resource: %lu\n", GetLastError());
    }
    FreeLibrary(module);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "hold") == 0) {
        return hold(argv[2], argv[3], argv[4]);
    }
    if (argc == 3 && std::strcmp(argv[1], "manifest") == 0) {
        return manifest(argv[2]);
    }
    std::printf("usage: probe hold FILE READY RELEASE | probe manifest EXE\n");
    return 2;
}
