#include "platform/win_shell.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "platform/word_size.h"

namespace {

// The shell may hand the request to COM-based handlers, which need an apartment.
struct ComApartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ComApartment() = default;
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result)) {
            CoUninitialize();
        }
    }
};

}  // namespace

static_assert(sizeof(SHELLEXECUTEINFOA) == kExpectedShellExecuteInfoSize, "shell request size");

bool WinShell::startScript(const std::string& path, int& lastError) {
    ComApartment apartment;
    SHELLEXECUTEINFOA request{};
    request.cbSize = sizeof request;
    // No dialog on failure: nobody is there to answer it during an unattended build, and
    // the failure is reported in the log and the exit code. For the same reason no zone
    // check: a package unpacked from a download carries the Internet zone mark, and its
    // security warning would wait for ever. The launcher exits right after the call, so
    // the shell must finish its work before returning.
    request.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS | SEE_MASK_NOASYNC;
    request.lpVerb = "runas";
    request.lpFile = path.c_str();
    request.nShow = SW_HIDE;
    if (ShellExecuteExA(&request)) {
        lastError = 0;
        return true;
    }
    lastError = static_cast<int>(GetLastError());
    return false;
}
