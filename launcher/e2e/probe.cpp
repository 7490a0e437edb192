// Test-only helper for the end-to-end scripts; never shipped.
//   probe hold-run FILE EXE ARGS...  keeps FILE open with no sharing while EXE runs with
//                                    ARGS; exits with EXE's exit code
//   probe manifest EXE               prints the RT_MANIFEST resource with id 1 as Windows
//                                    loads it from EXE; exit 1 when there is none
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Quotes one argument the way the C runtime splits a command line.
std::string quoted(const char* argument) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char* c = argument; *c != '\0'; ++c) {
        if (*c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(*c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += *c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

int holdAndRun(const char* path, int argc, char** argv) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: %lu\n", path, GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::string commandLine;
    for (int i = 0; i < argc; ++i) {
        commandLine += (i == 0 ? "" : " ") + quoted(argv[i]);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 1;
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        std::printf("cannot start %s: %lu\n", argv[0], GetLastError());
    }
    CloseHandle(file);
    return static_cast<int>(exitCode);
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
    if (argc >= 4 && std::strcmp(argv[1], "hold-run") == 0) {
        return holdAndRun(argv[2], argc - 3, argv + 3);
    }
    if (argc == 3 && std::strcmp(argv[1], "manifest") == 0) {
        return manifest(argv[2]);
    }
    std::printf("usage: probe hold-run FILE EXE ARGS... | probe manifest EXE\n");
    return 2;
}
