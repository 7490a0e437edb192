#pragma once

#include <cstdarg>
#include <string>

// Where the client's progress lines go: standard output on Windows, a
// capturing buffer in the host tests.
class Console {
  public:
    virtual ~Console() = default;
    virtual void vprint(const char* format, va_list args) __attribute__((format(printf, 2, 0))) = 0;
    // Wide text (device names) in the narrow code page the lines are printed in, with "?"
    // for each character that code page lacks, so the rest of the text always arrives.
    virtual std::string narrow(const wchar_t* text) = 0;
};

void print(Console& console, const char* format, ...) __attribute__((format(printf, 2, 3)));
