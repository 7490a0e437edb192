#include <gtest/gtest.h>

#include "code_page_rule.h"

namespace {

// The conversion fails outright when a code page gets a flag or a default character
// it does not take, and then no name would be printed at all.
TEST(NarrowingRule, FollowsTheConversionContractPerCodePage) {
    for (uint32_t unicode : {65001u, 65000u, 54936u}) {
        const NarrowingRule rule = narrowingRuleFor(unicode);
        EXPECT_EQ(rule.flags, 0u) << unicode;
        EXPECT_FALSE(rule.questionMarkDefault) << unicode;
    }
    for (uint32_t noFlags : {42u, 50220u, 50221u, 50222u, 50225u, 50227u, 50229u, 57002u, 57011u}) {
        EXPECT_EQ(narrowingRuleFor(noFlags).flags, 0u) << noFlags;
    }
    // Every ANSI code page that can lack a character: no look-alikes, "?" instead.
    for (uint32_t ansi : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1256u, 1258u, 57001u,
                          57012u, 50228u}) {
        const NarrowingRule rule = narrowingRuleFor(ansi);
        EXPECT_EQ(rule.flags, kNoBestFitChars) << ansi;
        EXPECT_TRUE(rule.questionMarkDefault) << ansi;
    }
}

}  // namespace
