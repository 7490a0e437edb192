#pragma once

#include <string>

// Narrow text is in the code page the file APIs use (normally ANSI). Conversions follow
// that code page's documented limits (see code_page_rule.h).

// The wide form of a path for the file APIs, in the \\?\ form so that paths past the
// classic 260-character limit still work. A path already in that form is taken as it is;
// any other is made absolute with the system's ordinary clean-up of typed paths.
// 0 or the system's error value.
int toWidePath(const std::string& narrow, std::wstring& wide);

// 0, or kErrorNoUnicodeTranslation when the text has characters the code page lacks
// (never a look-alike). Either way narrow holds the text, with stand-ins for what did not
// convert, fit for showing but not for naming a file.
int toNarrow(const std::wstring& wide, std::string& narrow);

// The system's message text for an error value, without the trailing line end.
std::string systemErrorText(int code);
