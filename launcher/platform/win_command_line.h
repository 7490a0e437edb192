#pragma once

#include <string>
#include <vector>

// The program's arguments, read once from the wide command line and converted to the
// ANSI code page. Returns 0 when the first argument (the source) converted exactly,
// otherwise the system's error value: its narrow text then holds stand-ins and would
// name a different folder, or one that a look-alike stands for.
int readArguments(std::vector<std::string>& arguments);
