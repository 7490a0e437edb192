#pragma once

#include "console.h"

// Standard output.
class WinConsole final : public Console {
  public:
    void vprint(const char* format, va_list args) override __attribute__((format(printf, 2, 0)));
};
