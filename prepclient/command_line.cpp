#include "command_line.h"

#include <cstring>

namespace {

// ASCII-only folding: a lead byte of a multi-byte code page never matches a letter.
bool equalsIgnoringAsciiCase(const char* text, const char* lowerCase) {
    for (; *text != '\0' && *lowerCase != '\0'; ++text, ++lowerCase) {
        const char folded = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text + 32) : *text;
        if (folded != *lowerCase) {
            return false;
        }
    }
    return *text == *lowerCase;
}

bool asksForHelp(const char* argument) {
    return std::strcmp(argument, "/?") == 0 || std::strcmp(argument, "-h") == 0 ||
           std::strcmp(argument, "--help") == 0;
}

}  // namespace

ClientMode clientMode(int argc, const char* const* argv) {
    if (argc == 1) {
        return ClientMode::Run;
    }
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return ClientMode::BadArguments;
    }
    if (asksForHelp(argv[1])) {
        return ClientMode::Help;
    }
    if (equalsIgnoringAsciiCase(argv[1], "/whatif")) {
        return ClientMode::Preview;
    }
    return ClientMode::Run;
}
