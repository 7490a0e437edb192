#include "platform/win_version_source.h"

#include <windows.h>

#include <cstring>

#include "platform/unique_handle.h"
#include "platform/word_size.h"

namespace {

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "shimmed record size");
static_assert(sizeof(RTL_OSVERSIONINFOEXW) == 284, "kernel record size");

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() { return nullptr; }
    static void close(Handle module) { FreeLibrary(module); }
};

using ModuleHandle = UniqueHandle<ModuleTraits>;

// Through void (*)(), the function type every compiler takes as "any function": a data
// pointer is no proper stop between two function pointer types.
template <typename Fn>
Fn findProc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

bool WinVersionSource::isWow64Process() {
    // IsWow64Process says false in a native 64-bit process, yet the system is 64-bit.
    if (kEditionIsNative64Bit) {
        return true;
    }
    // Missing on the oldest systems, which are all 32-bit.
    auto isWow64 = findProc<IsWow64ProcessFn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool WinVersionSource::readKernelVersion(VersionView& view) {
    RTL_OSVERSIONINFOEXW record;
    std::memset(&record, 0, sizeof record);
    record.dwOSVersionInfoSize = sizeof record;
    LONG status = -1;
    {
        ModuleHandle ntdll(LoadLibraryW(L"ntdll.dll"));
        if (!ntdll.valid()) {
            return false;
        }
        if (auto rtlGetVersion = findProc<RtlGetVersionFn>(ntdll.get(), "RtlGetVersion")) {
            status = rtlGetVersion(&record);
        }
    }
    view.major = record.dwMajorVersion;
    view.minor = record.dwMinorVersion;
    view.build = record.dwBuildNumber;
    view.productType = record.wProductType;
    return status == 0;
}

bool WinVersionSource::readShimmedVersion(VersionView& view) {
    OSVERSIONINFOEXA record;
    std::memset(&record, 0, sizeof record);
    record.dwOSVersionInfoSize = sizeof record;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) {
        return false;
    }
    view.major = record.dwMajorVersion;
    view.minor = record.dwMinorVersion;
    view.build = record.dwBuildNumber;
    view.productType = record.wProductType;
    return true;
}
