#pragma once

#include <string>

// Narrow text is in the code page the file APIs use (normally ANSI).

// The full wide form of a path for the file APIs: absolute, and in the \\?\ form so that
// paths past the classic 260-character limit still work. 0 or the system's error value.
int toWidePath(const std::string& narrow, std::wstring& wide);

// 0, or kErrorNoUnicodeTranslation when the text has characters the code page lacks
// (no best-fit look-alikes).
int toNarrow(const std::wstring& wide, std::string& narrow);

// The system's message text for an error value, without the trailing line end.
std::string systemErrorText(int code);
