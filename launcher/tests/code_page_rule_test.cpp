#include <gtest/gtest.h>

#include "code_page_rule.h"

namespace {

// What each code page may be asked, as Microsoft documents it for WideCharToMultiByte
// and MultiByteToWideChar.
TEST(CodePageRuleTest, EachCodePageGetsOnlyTheFlagsItAccepts) {
    struct Case {
        unsigned codePage;
        NarrowCheck toNarrow;
        bool rejectInvalidToWide;
    };
    const Case cases[] = {
        // UTF-8 and GB18030 hold every character: fail on invalid input, nothing else.
        {65001, kNarrowRejectInvalid, true},
        {54936, kNarrowRejectInvalid, true},
        // Ordinary single- and double-byte pages substitute: no best fit, default seen.
        {1252, kNarrowNoBestFit, true},
        {1251, kNarrowNoBestFit, true},
        {932, kNarrowNoBestFit, true},
        {437, kNarrowNoBestFit, true},
        {20127, kNarrowNoBestFit, true},
        // Pages that take no flags at all: only a round trip can show a substitute.
        {50220, kNarrowRoundTrip, false},
        {50221, kNarrowRoundTrip, false},
        {50222, kNarrowRoundTrip, false},
        {50225, kNarrowRoundTrip, false},
        {50227, kNarrowRoundTrip, false},
        {50229, kNarrowRoundTrip, false},
        {57002, kNarrowRoundTrip, false},
        {57011, kNarrowRoundTrip, false},
        {65000, kNarrowRoundTrip, false},
        {42, kNarrowRoundTrip, false},
        // Neighbours of those ranges are ordinary.
        {50223, kNarrowNoBestFit, true},
        {57001, kNarrowNoBestFit, true},
        {57012, kNarrowNoBestFit, true},
    };
    for (const Case& c : cases) {
        const CodePageRule rule = codePageRule(c.codePage);
        EXPECT_EQ(rule.toNarrow, c.toNarrow) << "code page " << c.codePage;
        EXPECT_EQ(rule.rejectInvalidToWide, c.rejectInvalidToWide) << "code page " << c.codePage;
    }
}

}  // namespace
