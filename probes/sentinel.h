#pragma once
// The harness plants a volatile key, which only the registry server's memory holds, with a
// value no other prefix has. A server that was restarted has lost it, and with it every
// registry change it had not yet saved: answers read after that stand on nothing.
#include "answer.h"

namespace probe {

constexpr const wchar_t* kSentinelKey = L"Software\\ImagePrepHarness";
constexpr const wchar_t* kSentinelValue = L"Server";

// "sentinel held" when the volatile key holds NONCE, "sentinel lost" otherwise.
inline bool sentinelHeld(const std::wstring& nonce) {
    wchar_t found[128] = {};
    DWORD size = sizeof found - sizeof(wchar_t);
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSentinelKey, kSentinelValue,
                                        RRF_RT_REG_SZ, nullptr, found, &size);
    return status == ERROR_SUCCESS && nonce == found;
}

// Creates the volatile key and sets NONCE; the system's error code, 0 when done.
inline LSTATUS makeSentinel(const std::wstring& nonce) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSentinelKey, 0, nullptr,
                                     REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status =
        RegSetValueExW(key, kSentinelValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(nonce.c_str()),
                       static_cast<DWORD>((nonce.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

}  // namespace probe
