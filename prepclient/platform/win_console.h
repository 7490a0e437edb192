#pragma once

#include "console.h"

// Standard output, and text in the ANSI code page.
class WinConsole final : public Console {
  public:
    void vprint(const char* format, va_list args) override __attribute__((format(printf, 2, 0)));
    std::string narrow(const wchar_t* text) override;
};
