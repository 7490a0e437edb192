#pragma once

#include <string>
#include <vector>

// The program's arguments, read once from the wide command line, in UTF-8: every
// character of every script arrives as it was typed. Returns 0 when the first argument
// (the source) converted exactly, otherwise the system's error value: it held an unpaired
// surrogate, and its text then has '?' in that place and must name no folder.
int readArguments(std::vector<std::string>& arguments);
