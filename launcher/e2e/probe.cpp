// Test-only helper for the end-to-end scripts; never shipped.
//   probe hold-run FILE EXE ARGS...  keeps FILE open with no sharing while EXE runs with
//                                    ARGS; exits with EXE's exit code
//   probe manifest EXE               prints the RT_MANIFEST resource with id 1 as Windows
//                                    loads it from EXE; exit 1 when there is none
//   probe version EXE                prints FileVersion, ProductVersion, OriginalFilename
//                                    and the fixed file version as the version API reads
//                                    them; exit 1 when there is no version resource
//   probe rights FOLDER [DESCRIPTOR]
//                                    makes FOLDER with DESCRIPTOR (security descriptor
//                                    text) when given, then prints "rights " and its
//                                    access list as Windows reports it, in that text;
//                                    exit 1 when it cannot
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// One string of the version resource's US English, Unicode table, as "Name=value".
void printVersionString(const std::vector<char>& data, const char* name) {
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), key.c_str(), &value, &length) && length > 0) {
        std::printf("%s=%s\n", name, static_cast<const char*>(value));
    } else {
        std::printf("%s missing\n", name);
    }
}

int version(const char* exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    if (size == 0) {
        std::printf("no version resource: %lu\n", GetLastError());
        return 1;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(exe, 0, size, data.data())) {
        std::printf("cannot read the version resource: %lu\n", GetLastError());
        return 1;
    }
    printVersionString(data, "FileVersion");
    printVersionString(data, "ProductVersion");
    printVersionString(data, "OriginalFilename");
    void* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", &fixed, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        std::printf("Fixed=%u.%u.%u.%u\n", HIWORD(info->dwFileVersionMS),
                    LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                    LOWORD(info->dwFileVersionLS));
    }
    return 0;
}

// What a folder made with a given descriptor keeps of it is the file system's and Wine's
// business, so the test compares what Windows reports, never what was asked for.
int folderRights(const char* folder, const char* descriptor) {
    if (descriptor != nullptr) {
        PSECURITY_DESCRIPTOR given = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                  &given, nullptr)) {
            std::printf("cannot read the descriptor %s: %lu\n", descriptor, GetLastError());
            return 1;
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, given, FALSE};
        const BOOL made = CreateDirectoryA(folder, &attributes);
        const DWORD error = GetLastError();
        LocalFree(given);
        if (!made) {
            std::printf("cannot make %s: %lu\n", folder, error);
            return 1;
        }
    }
    PSECURITY_DESCRIPTOR found = nullptr;
    const DWORD result = GetNamedSecurityInfoA(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, nullptr, nullptr, &found);
    if (result != ERROR_SUCCESS) {
        std::printf("cannot read the rights of %s: %lu\n", folder, result);
        return 1;
    }
    char* text = nullptr;
    const BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorA(
        found, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    LocalFree(found);
    if (!converted) {
        std::printf("cannot write the rights of %s: %lu\n", folder, GetLastError());
        return 1;
    }
    std::printf("rights %s\n", text);
    LocalFree(text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "hold-run") == 0) {
        return holdAndRun(argv[2], argc - 3, argv + 3);
    }
    if (argc == 3 && std::strcmp(argv[1], "manifest") == 0) {
        return manifest(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "version") == 0) {
        return version(argv[2]);
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "rights") == 0) {
        return folderRights(argv[2], argc == 4 ? argv[3] : nullptr);
    }
    std::printf("usage: probe hold-run FILE EXE ARGS... | probe manifest|version EXE\n");
    return 2;
}
