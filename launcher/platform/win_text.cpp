#include "platform/win_text.h"

#include <windows.h>

#include "code_page_rule.h"
#include "error_codes.h"
#include "platform/unique_handle.h"
#include "shown_text.h"
#include "unicode_text.h"

namespace {

// The longest path the \\?\ form accepts, in wide characters.
constexpr size_t kLongestPath = 32767;

// The real number: the documented limits are per code page, not per stand-in.
UINT fileApiCodePage() {
    return AreFileApisANSI() ? GetACP() : GetOEMCP();
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

int toWide(UINT codePage, const std::string& narrow, std::wstring& wide) {
    wide.clear();
    if (narrow.empty()) {
        return 0;
    }
    const DWORD flags = codePageRule(codePage).rejectInvalidToWide ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(narrow.size());
    const int length = MultiByteToWideChar(codePage, flags, narrow.data(), size, nullptr, 0);
    if (length <= 0) {
        return static_cast<int>(GetLastError());
    }
    wide.assign(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, narrow.data(), size, &wide[0], length) != length) {
        wide.clear();
        return static_cast<int>(GetLastError());
    }
    return 0;
}

int narrowWith(UINT codePage, DWORD flags, BOOL* usedDefault, const std::wstring& wide,
               std::string& narrow) {
    narrow.clear();
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    if (length <= 0) {
        return static_cast<int>(GetLastError());
    }
    narrow.assign(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), size, &narrow[0], length, nullptr,
                            nullptr) != length) {
        narrow.clear();
        return static_cast<int>(GetLastError());
    }
    return 0;
}

// full is the resolved path; it becomes its \\?\ form.
void toLongForm(std::wstring& full) {
    if (startsWith(full, L"\\\\?\\")) {
        return;
    }
    // \\.\ and \\?\ differ only in the clean-up that GetFullPathNameW has already done.
    if (startsWith(full, L"\\\\.\\")) {
        full[2] = L'?';
    } else if (startsWith(full, L"\\\\")) {
        full.replace(0, 2, L"\\\\?\\UNC\\");
    } else {
        full.insert(0, L"\\\\?\\");
    }
}

}  // namespace

int toWidePath(const std::string& path, std::wstring& wide) {
    wide.clear();
    if (path.empty()) {
        return ERROR_INVALID_NAME;
    }
    std::wstring given;
    const int converted = utf16FromUtf8(path, given);
    if (converted != 0) {
        return converted;
    }
    if (given.size() > kLongestPath) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (given.find(L'\0') != std::wstring::npos) {
        return ERROR_INVALID_NAME;
    }
    if (startsWith(given, L"\\\\?\\")) {
        wide.swap(given);
        return 0;
    }

    // \\?\ switches off the system's clean-up of the path, so a typed path is resolved
    // first and keeps its ordinary meaning.
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
    toLongForm(full);
    if (full.size() > kLongestPath) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    wide.swap(full);
    return 0;
}

int toNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    if (wide.empty()) {
        return 0;
    }
    const UINT codePage = fileApiCodePage();
    switch (codePageRule(codePage).toNarrow) {
        case kNarrowRejectInvalid:
            return narrowWith(codePage, WC_ERR_INVALID_CHARS, nullptr, wide, narrow);
        case kNarrowNoBestFit: {
            BOOL usedDefault = FALSE;
            const int code = narrowWith(codePage, WC_NO_BEST_FIT_CHARS, &usedDefault, wide, narrow);
            return code != 0 ? code : usedDefault ? kErrorNoUnicodeTranslation : 0;
        }
        case kNarrowRoundTrip: {
            const int code = narrowWith(codePage, 0, nullptr, wide, narrow);
            if (code != 0) {
                return code;
            }
            std::wstring back;
            return toWide(codePage, narrow, back) == 0 && back == wide ? 0
                                                                       : kErrorNoUnicodeTranslation;
        }
    }
    return kErrorNoUnicodeTranslation;
}

std::string shownNarrow(const std::string& text) {
    return shownInCodePage(text, toNarrow);
}

std::string systemErrorText(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocalMemory owner(buffer);
    if (length == 0 || buffer == nullptr) {
        return "Unknown error " + std::to_string(code);
    }
    std::string text;
    utf8FromUtf16(buffer, length, text);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}
