#include <gtest/gtest.h>

#include "error_codes.h"
#include "shown_text.h"
#include "unicode_text.h"

namespace {

TEST(UnicodeTextTest, EveryScalarValueRoundTripsExactly) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"", L""},
        {"install.cmd", L"install.cmd"},
        {"\x7F", {0x7F}},
        {"\xC2\x80", {0x80}},
        {"caf\xC3\xA9", {L'c', L'a', L'f', 0xE9}},
        {"\xDF\xBF", {0x7FF}},
        {"\xE0\xA0\x80", {0x800}},
        {"\xE5\xBE\xAE\xE8\xBD\xAF", {0x5FAE, 0x8F6F}},  // 微软
        {"\xED\x9F\xBF", {0xD7FF}},
        {"\xEE\x80\x80", {0xE000}},
        {"\xEF\xBF\xBF", {0xFFFF}},
        {"\xF0\x90\x80\x80", {0xD800, 0xDC00}},
        {"\xF0\x9F\x98\x80.txt", {0xD83D, 0xDE00, L'.', L't', L'x', L't'}},  // 😀.txt
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
    };
    for (const auto& c : cases) {
        std::wstring units;
        std::string text;
        EXPECT_EQ(utf16FromUtf8(c.first, units), 0) << c.first;
        EXPECT_EQ(units, c.second) << c.first;
        EXPECT_EQ(utf8FromUtf16(c.second, text), 0) << c.first;
        EXPECT_EQ(text, c.first);
    }
}

TEST(UnicodeTextTest, UnpairedSurrogatesFailAndAreOnlyShown) {
    const std::pair<std::wstring, std::string> cases[] = {
        {{0xD800}, "?"},
        {{0xDC00}, "?"},
        {{L'a', 0xD83D, L'b'}, "a?b"},
        {{L'a', 0xD83D}, "a?"},
        {{0xDE00, 0xD83D}, "??"},  // a pair the wrong way round
        {{0xDC00, 0xDC00}, "??"},  // the first low surrogate is no high one
        {{0xD83D, 0xD83D, 0xDE00}, "?\xF0\x9F\x98\x80"},
        {{static_cast<wchar_t>(0xFFFF + 1)}, "?"},  // no UTF-16 unit at all (wide wchar_t)
    };
    for (const auto& c : cases) {
        std::string text;
        EXPECT_EQ(utf8FromUtf16(c.first, text), kErrorNoUnicodeTranslation) << c.second;
        EXPECT_EQ(text, c.second);
    }
    // Only the counted units are read: a low surrogate just past them pairs with nothing.
    const wchar_t cut[] = {L'a', 0xD83D, 0xDE00};
    std::string text;
    EXPECT_EQ(utf8FromUtf16(cut, 2, text), kErrorNoUnicodeTranslation);
    EXPECT_EQ(text, "a?");
}

TEST(UnicodeTextTest, MalformedUtf8FailsWithoutAnyName) {
    const char* const cases[] = {
        "a\xBF",             // stray continuation
        "\xC0\xAF",          // overlong '/', two bytes
        "\xE0\x80\xAF",      // and three
        "\xE0\x82\x80",      // U+0080 in three bytes, past the two-byte minimum
        "\xF0\x80\x80\xAF",  // and four
        "\xED\xA0\x80",      // an encoded surrogate
        "\xED\xBF\xBF",      // and the last one, U+DFFF
        "\xF4\x90\x80\x80",  // past U+10FFFF
        "\xFF",              // never a lead byte
        "\xF8\x90\x80\x80",  // nor is a five-byte lead, whatever follows it
        "\xF0\x9F\x98",      // cut short at the end
        "a\xE5\x62\xAE",     // and in the middle, by a byte that is no continuation
        "\xE5\xBE\xAE\x80",  // one continuation too many
    };
    for (const char* text : cases) {
        std::wstring units = L"left over";
        EXPECT_EQ(utf16FromUtf8(text, units), kErrorNoUnicodeTranslation) << text;
        EXPECT_TRUE(units.empty()) << text;
    }
}

// A stand-in for a single-byte code page that holds the first 256 characters.
int latin1(const std::wstring& units, std::string& narrow) {
    narrow.clear();
    for (const wchar_t unit : units) {
        if (unit > 0xFF) {
            narrow += '#';  // what a system's own default character might look like
            return kErrorNoUnicodeTranslation;
        }
        narrow += static_cast<char>(unit);
    }
    return 0;
}

// A stand-in for UTF-8 as the code page.
int utf8(const std::wstring& units, std::string& narrow) {
    return utf8FromUtf16(units, narrow);
}

TEST(ShownTextTest, EachCharacterTheCodePageLacksIsOneQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Windows\\Setup\\Scripts", "C:\\Windows\\Setup\\Scripts"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"C:\\\xCE\xB1", "C:\\?"},                                 // α
        {"fonts\\\xE5\xBE\xAE\xE8\xBD\xAF.ttf", "fonts\\??.ttf"},  // 微软
        {"\xF0\x9F\x98\x80.txt", "?.txt"},                         // a surrogate pair
        {"\xC3\xA9\xCE\xB1\xC3\xA9", "\xE9?\xE9"},                 // éαé
        {"a\xE5\xBE"
         "b",
         "a?b"},  // not well-formed
        {"\xFF\xFE", "??"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shownInCodePage(c.first, latin1), c.second) << c.first;
    }
    const std::string everything = "\xCE\xB1\xF0\x9F\x98\x80\xE5\xBE\xAE";
    EXPECT_EQ(shownInCodePage(everything, utf8), everything);
}

}  // namespace
