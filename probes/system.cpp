// The harness's system probe: which Windows the system says it is, as RtlGetVersion reads
// it (no compatibility shim stands in between).
//   probe-system      "version MAJOR.MINOR product N" (N: 1 workstation, 2 domain
//                     controller, 3 server), or "error N", then "end system N"
#include "answer.h"

int wmain() {
    probe::Answers answers;
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const LONG status = rtlGetVersion != nullptr ? rtlGetVersion(&version) : -1;
    if (status != 0) {
        probe::answer(answers, L"error " + std::to_wstring(status));
    } else {
        probe::answer(answers, L"version " + std::to_wstring(version.dwMajorVersion) + L"." +
                                   std::to_wstring(version.dwMinorVersion) + L" product " +
                                   std::to_wstring(version.wProductType));
    }
    probe::finish(answers, L"system");
    return 0;
}
