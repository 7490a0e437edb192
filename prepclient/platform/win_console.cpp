#include "platform/win_console.h"

#include <windows.h>

#include <cstdio>

#include "code_page_rule.h"

static_assert(kNoBestFitChars == WC_NO_BEST_FIT_CHARS, "conversion flag value");

namespace {

// Only when the system refuses the conversion itself: the line must still say the rest.
std::string asciiOnly(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) {
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return out;
}

}  // namespace

void WinConsole::vprint(const char* format, va_list args) {
    std::vprintf(format, args);
}

std::string WinConsole::narrow(const wchar_t* text) {
    // The code page is asked once per call so that the rule and the call agree on it.
    const UINT codePage = GetACP();
    const NarrowingRule rule = narrowingRuleFor(codePage);
    const char* replacement = rule.questionMarkDefault ? "?" : nullptr;
    const int size =
        WideCharToMultiByte(codePage, rule.flags, text, -1, nullptr, 0, replacement, nullptr);
    if (size <= 0) {
        return asciiOnly(text);
    }
    std::string out(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, rule.flags, text, -1, out.data(), size, replacement,
                            nullptr) != size) {
        return asciiOnly(text);
    }
    out.pop_back();  // the terminator the call counted
    return out;
}
