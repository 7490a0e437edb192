#pragma once

#include <cstdint>

// How text may be converted to and from one code page without breaking the system's
// documented limits: some code pages refuse every flag, UTF-8 refuses the best-fit and
// default-character arguments. Platform-free so the rule can be shown per code page.

enum NarrowCheck : std::uint8_t {
    // Ask the system to fail on what it cannot encode (WC_ERR_INVALID_CHARS), no
    // default-character arguments; the code page holds every character, so nothing is
    // ever replaced by a look-alike.
    kNarrowRejectInvalid,
    // WC_NO_BEST_FIT_CHARS and the used-default flag: a character without an exact
    // counterpart becomes the default character, and that is seen.
    kNarrowNoBestFit,
    // No flags or default-character arguments are allowed: convert back and compare.
    kNarrowRoundTrip,
};

struct CodePageRule {
    NarrowCheck toNarrow;
    // Whether the narrow-to-wide call may ask to fail on invalid input
    // (MB_ERR_INVALID_CHARS); otherwise its flags must be 0.
    bool rejectInvalidToWide;
};

// codePage is a real code page number, never the CP_ACP or CP_OEMCP stand-ins.
CodePageRule codePageRule(unsigned codePage);
