// A stand-in for a program under test that does all its work and then crashes, so that the
// harness's fault table can show whether a crash could ever pass for a clean exit.
//   NAME.exe ARGS...   runs NAME.real.exe beside it with ARGS exactly as given, on the same
//                      standard handles, waits for it, then writes through a null pointer
#include <string>

#include "answer.h"

// Its own command line after its own name, which the system splits by a simpler rule: up to
// the closing quote, or to whitespace.
std::wstring tail() {
    const wchar_t* at = GetCommandLineW();
    const wchar_t end = *at == L'"' ? L'"' : L' ';
    at += *at == L'"' ? 1 : 0;
    while (*at != L'\0' && *at != end && (end == L'"' || *at != L'\t')) {
        ++at;
    }
    at += *at == L'"' ? 1 : 0;
    while (*at == L' ' || *at == L'\t') {
        ++at;
    }
    return at;
}

int wmain(int, wchar_t**) {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring real(self, length);
    real = real.substr(0, real.size() - 4) + L".real.exe";
    const std::wstring rest = tail();
    std::wstring line = L"\"" + real + L"\"" + (rest.empty() ? L"" : L" " + rest);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // The handles it was given are inheritable: the runner made them so.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(real.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}
