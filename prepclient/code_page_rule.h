#pragma once

#include <cstdint>

// The conversion flag that keeps look-alikes out ("α" never becomes "a").
constexpr uint32_t kNoBestFitChars = 0x400;

// How wide text is narrowed into one code page within the conversion's documented
// contract: some code pages accept no flags, and UTF-7/UTF-8 no default character.
struct NarrowingRule {
    uint32_t flags;
    bool questionMarkDefault;  // pass "?" as the character for what the code page lacks
};

NarrowingRule narrowingRuleFor(uint32_t codePage);
