#pragma once

#include <cstdarg>

// Where the client's progress lines go: standard output on Windows, a
// capturing buffer in the host tests.
class Console {
  public:
    virtual ~Console() = default;
    virtual void vprint(const char* format, va_list args) __attribute__((format(printf, 2, 0))) = 0;
};

void print(Console& console, const char* format, ...) __attribute__((format(printf, 2, 3)));
