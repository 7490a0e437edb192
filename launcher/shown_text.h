#pragma once

#include <string>

// Converts UTF-16 units to one code page: 0 only when every character has its exact
// counterpart there (no look-alike, no default character).
using NarrowConversion = int (*)(const std::wstring& units, std::string& narrow);

// UTF-8 text as the log shows it: in the code page of narrow, each character that code
// page cannot hold (or that is not well-formed) as one '?'. For reading only; the result
// never names a file. Text the code page holds comes out exactly as narrow makes it.
std::string shownInCodePage(const std::string& text, NarrowConversion narrow);
