#include "platform/win_console.h"

#include <cstdio>

void WinConsole::vprint(const char* format, va_list args) {
    std::vprintf(format, args);
}
