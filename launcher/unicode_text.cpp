#include "unicode_text.h"

#include "error_codes.h"

namespace {

constexpr char32_t kHighFirst = 0xD800;
constexpr char32_t kLowFirst = 0xDC00;
constexpr char32_t kLowLast = 0xDFFF;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool isHighSurrogate(char32_t unit) {
    return unit >= kHighFirst && unit < kLowFirst;
}

bool isLowSurrogate(char32_t unit) {
    return unit >= kLowFirst && unit <= kLowLast;
}

void appendUtf8(char32_t c, std::string& text) {
    char bytes[4];
    int trailing = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    bytes[0] = static_cast<char>(lead[trailing] | (c >> (6 * trailing)));
    for (int i = 1; i <= trailing; ++i) {
        bytes[i] = static_cast<char>(0x80 | ((c >> (6 * (trailing - i))) & 0x3F));
    }
    text.append(bytes, static_cast<size_t>(trailing) + 1);
}

// The code point that starts at text[at], advancing at past it; false for anything that
// is not the one shortest encoding of a scalar value.
bool decodeUtf8(const char* text, size_t size, size_t& at, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    int trailing = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        return true;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        least = 0x80;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        least = 0x800;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        least = 0x10000;
        c = lead & 0x07;
    } else {
        return false;
    }
    for (; trailing > 0; --trailing) {
        if (at == size || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
            return false;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
    }
    // Shorter forms would do for less; surrogates are no scalar values.
    return c >= least && c <= kLastCodePoint && !(c >= kHighFirst && c <= kLowLast);
}

}  // namespace

int utf8FromUtf16(const wchar_t* units, size_t count, std::string& text) {
    text.clear();
    int result = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto unit = static_cast<char32_t>(units[i]);
        if (isHighSurrogate(unit) && i + 1 < count &&
            isLowSurrogate(static_cast<char32_t>(units[i + 1]))) {
            const auto low = static_cast<char32_t>(units[++i]);
            appendUtf8(0x10000 + ((unit - kHighFirst) << 10) + (low - kLowFirst), text);
        } else if (unit > 0xFFFF || isHighSurrogate(unit) || isLowSurrogate(unit)) {
            text += '?';
            result = kErrorNoUnicodeTranslation;
        } else {
            appendUtf8(unit, text);
        }
    }
    return result;
}

int utf16FromUtf8(const char* text, size_t size, std::wstring& units) {
    // Never more units than bytes.
    units.assign(size, L'\0');
    size_t length = 0;
    size_t at = 0;
    while (at < size) {
        char32_t c = 0;
        if (!decodeUtf8(text, size, at, c)) {
            units.clear();
            return kErrorNoUnicodeTranslation;
        }
        if (c < 0x10000) {
            units[length++] = static_cast<wchar_t>(c);
        } else {
            units[length++] = static_cast<wchar_t>(kHighFirst + ((c - 0x10000) >> 10));
            units[length++] = static_cast<wchar_t>(kLowFirst + ((c - 0x10000) & 0x3FF));
        }
    }
    units.resize(length);
    return 0;
}
