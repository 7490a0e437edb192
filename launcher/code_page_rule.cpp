#include "code_page_rule.h"

namespace {

constexpr unsigned kUtf7 = 65000;
constexpr unsigned kUtf8 = 65001;
constexpr unsigned kGb18030 = 54936;
constexpr unsigned kSymbol = 42;

// The ISO-2022 family, UTF-7, Symbol and the ISCII pages take only flags 0.
bool takesNoFlags(unsigned codePage) {
    switch (codePage) {
        case 50220:
        case 50221:
        case 50222:
        case 50225:
        case 50227:
        case 50229:
        case kUtf7:
        case kSymbol:
            return true;
        default:
            return codePage >= 57002 && codePage <= 57011;
    }
}

}  // namespace

CodePageRule codePageRule(unsigned codePage) {
    if (codePage == kUtf8 || codePage == kGb18030) {
        return {kNarrowRejectInvalid, true};
    }
    if (takesNoFlags(codePage)) {
        return {kNarrowRoundTrip, false};
    }
    return {kNarrowNoBestFit, true};
}
