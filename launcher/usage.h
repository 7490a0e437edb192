#pragma once

#include <cstdio>

// True when the command line's only argument asks for help ("/?", "-h", "--help"); the
// usage with the version has then been written to `out` and nothing else may happen:
// no log, no copy. '?' never appears in a Windows path, so no package is shadowed.
bool answerHelpRequest(int argc, const char* const* argv, std::FILE* out);
