#pragma once

#include <string>

// Paths and messages are UTF-8 (see unicode_text.h) up to the Windows calls. Narrow text
// is in the code page the file APIs use (normally ANSI) and is only ever shown, never used
// to name a file; its conversions follow that code page's documented limits (see
// code_page_rule.h).

// The wide form of a UTF-8 path for the file APIs, in the \\?\ form so that paths past
// the classic 260-character limit still work. A path already in that form is taken as it
// is; any other is made absolute with the system's ordinary clean-up of typed paths.
// 0 or the system's error value.
int toWidePath(const std::string& path, std::wstring& wide);

// 0 when narrow holds the text exactly, or the system's error value (kErrorNoUnicodeTranslation
// when the text has characters the code page lacks); narrow is then not to be used.
int toNarrow(const std::wstring& wide, std::string& narrow);

// UTF-8 text in the narrow code page, '?' for each character it lacks.
std::string shownNarrow(const std::string& text);

// The system's message text for an error value, in UTF-8, without the trailing line end.
std::string systemErrorText(int code);
