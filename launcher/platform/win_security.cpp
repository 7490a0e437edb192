#include "platform/win_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/unique_handle.h"
#include "platform/win_text.h"
#include "unicode_text.h"

namespace {

int lastError() {
    return static_cast<int>(GetLastError());
}

// The servicing account that owns the system's own folders.
const wchar_t* const kTrustedInstallerSid =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool isTrustedInstaller(PSID sid) {
    PSID trustedInstaller = nullptr;
    if (!ConvertStringSidToSidW(kTrustedInstallerSid, &trustedInstaller)) {
        return false;
    }
    UniqueLocalMemory owner(trustedInstaller);
    return EqualSid(sid, trustedInstaller) != 0;
}

// 0 with whether sid is the user of the process's token, or the system's error value.
int isRunningAccount(PSID sid, bool& same) {
    same = false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return lastError();
    }
    UniqueFile tokenOwner(token);
    // Room for the largest SID there is, so one call does.
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        return lastError();
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer);
    same = EqualSid(sid, user->User.Sid) != 0;
    return 0;
}

}  // namespace

int makeSecuredDirectory(const std::string& path, const std::string& security) {
    std::wstring wide;
    std::wstring wideSecurity;
    int converted = toWidePath(path, wide);
    if (converted == 0) {
        converted = utf16FromUtf8(security.data(), security.size(), wideSecurity);
    }
    if (converted != 0) {
        return converted;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(wideSecurity.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return lastError();
    }
    UniqueLocalMemory owner(descriptor);
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    return CreateDirectoryW(wide.c_str(), &attributes) ? 0 : lastError();
}

int readOwner(HANDLE entry, FolderOwner& owner) {
    owner = kOwnerOther;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid,
                                         nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        return static_cast<int>(result);
    }
    // The owner points into the descriptor, which lives until the end of this call.
    UniqueLocalMemory descriptorOwner(descriptor);
    if (sid == nullptr || !IsValidSid(sid)) {
        return 0;
    }
    if (IsWellKnownSid(sid, WinLocalSystemSid)) {
        owner = kOwnerSystem;
    } else if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
        owner = kOwnerAdministrators;
    } else if (isTrustedInstaller(sid)) {
        owner = kOwnerTrustedInstaller;
    } else {
        bool same = false;
        const int code = isRunningAccount(sid, same);
        if (code != 0) {
            return code;
        }
        owner = same ? kOwnerRunningAccount : kOwnerOther;
    }
    return 0;
}
