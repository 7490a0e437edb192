#include "shown_text.h"

#include "unicode_text.h"

namespace {

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string shownInCodePage(const std::string& text, NarrowConversion narrow) {
    // One character at a time, so that one that is missing costs only itself, and a
    // surrogate pair or a cut sequence becomes one '?' rather than two. The code pages
    // the system offers as ANSI keep no state between characters, so text they hold comes
    // out as one conversion of the whole would make it.
    std::wstring units;
    std::string piece;
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        size_t end = at + 1;
        while (end < text.size() && isContinuation(text[end])) {
            ++end;
        }
        if (utf16FromUtf8(text.data() + at, end - at, units) == 0 && narrow(units, piece) == 0) {
            shown += piece;
        } else {
            shown += '?';
        }
        at = end;
    }
    return shown;
}
