#pragma once

#include <cstddef>
#include <string>

// The launcher's own text is UTF-8; the system's is UTF-16. The conversions are strict in
// both directions: a name that would come out different is an error, never a substitute.
// On Windows a wchar_t is one UTF-16 code unit; elsewhere it holds one as well.

// 0, or kErrorNoUnicodeTranslation when units hold an unpaired surrogate (or a value
// past 0xFFFF): text then shows each such unit as '?', for reading only.
int utf8FromUtf16(const wchar_t* units, size_t count, std::string& text);
inline int utf8FromUtf16(const std::wstring& units, std::string& text) {
    return utf8FromUtf16(units.data(), units.size(), text);
}

// 0, or kErrorNoUnicodeTranslation when text is not well-formed UTF-8 (overlong forms,
// encoded surrogates, values past U+10FFFF, cut or stray sequences); units are then empty.
int utf16FromUtf8(const char* text, size_t size, std::wstring& units);
inline int utf16FromUtf8(const std::string& text, std::wstring& units) {
    return utf16FromUtf8(text.data(), text.size(), units);
}
