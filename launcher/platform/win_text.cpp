#include "platform/win_text.h"

#include <windows.h>

#include "error_codes.h"
#include "platform/unique_handle.h"

namespace {

// The longest path the \\?\ form accepts, in wide characters.
constexpr size_t kLongestPath = 32767;

UINT fileApiCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

int toWidePath(const std::string& narrow, std::wstring& wide) {
    wide.clear();
    if (narrow.empty()) {
        return ERROR_INVALID_NAME;
    }
    if (narrow.size() > kLongestPath) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const int length = MultiByteToWideChar(fileApiCodePage(), MB_ERR_INVALID_CHARS, narrow.data(),
                                           static_cast<int>(narrow.size()), nullptr, 0);
    if (length <= 0) {
        return static_cast<int>(GetLastError());
    }
    std::wstring given(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(fileApiCodePage(), MB_ERR_INVALID_CHARS, narrow.data(),
                        static_cast<int>(narrow.size()), &given[0], length);
    if (given.find(L'\0') != std::wstring::npos) {
        return ERROR_INVALID_NAME;
    }
    if (startsWith(given, L"\\\\?\\")) {
        wide = given;
        return 0;
    }

    // \\?\ switches off the system's clean-up of the path, so resolve it first.
    const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return static_cast<int>(GetLastError());
    }
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(given.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) {
        return written == 0 ? static_cast<int>(GetLastError()) : ERROR_FILENAME_EXCED_RANGE;
    }
    full.resize(written);

    if (startsWith(full, L"\\\\.\\") || startsWith(full, L"\\\\?\\")) {
        wide = full;
    } else if (startsWith(full, L"\\\\")) {
        wide = L"\\\\?\\UNC\\" + full.substr(2);
    } else {
        wide = L"\\\\?\\" + full;
    }
    if (wide.size() > kLongestPath) {
        wide.clear();
        return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

int toNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    if (wide.empty()) {
        return 0;
    }
    const UINT codePage = fileApiCodePage();
    // A best-fit look-alike would name a different file, so any substitution is an error.
    BOOL usedDefault = FALSE;
    const int length =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (length <= 0) {
        return static_cast<int>(GetLastError());
    }
    if (usedDefault) {
        return kErrorNoUnicodeTranslation;
    }
    narrow.assign(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        &narrow[0], length, nullptr, nullptr);
    return 0;
}

std::string systemErrorText(int code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    UniqueLocalMemory owner(buffer);
    if (length == 0 || buffer == nullptr) {
        return "Unknown error " + std::to_string(code);
    }
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}
