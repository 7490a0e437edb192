#include "code_page_rule.h"

namespace {

constexpr uint32_t kSymbol = 42;
constexpr uint32_t kGb18030 = 54936;
constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;

// Encodings that hold every character: nothing to replace, and the call takes no flags.
bool holdsAllOfUnicode(uint32_t codePage) {
    return codePage == kUtf8 || codePage == kUtf7 || codePage == kGb18030;
}

// The ISO-2022 family, ISCII and Symbol fail the call with any flag set.
bool acceptsNoFlags(uint32_t codePage) {
    return codePage == kSymbol || codePage == 50220 || codePage == 50221 || codePage == 50222 ||
           codePage == 50225 || codePage == 50227 || codePage == 50229 ||
           (codePage >= 57002 && codePage <= 57011);
}

}  // namespace

NarrowingRule narrowingRuleFor(uint32_t codePage) {
    if (holdsAllOfUnicode(codePage) || acceptsNoFlags(codePage)) {
        return {0, false};
    }
    return {kNoBestFitChars, true};
}
