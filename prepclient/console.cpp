#include "console.h"

void print(Console& console, const char* format, ...) {
    va_list args;
    va_start(args, format);
    console.vprint(format, args);
    va_end(args);
}
