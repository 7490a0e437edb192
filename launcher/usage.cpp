#include "usage.h"

#include <cstring>

bool answerHelpRequest(int argc, const char* const* argv, std::FILE* out) {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return false;
    }
    const char* argument = argv[1];
    if (std::strcmp(argument, "/?") != 0 && std::strcmp(argument, "-h") != 0 &&
        std::strcmp(argument, "--help") != 0) {
        return false;
    }
    std::fprintf(out,
                 "QuillbeckSetup %s, setup launcher\n"
                 "Copies an unpacked installation package into C:\\Windows\\Setup\\Scripts and\n"
                 "starts its install.cmd elevated and hidden, without waiting for it. Every step\n"
                 "is logged in %%ProgramData%%\\Orvane\\Logs\\QuillbeckSetup.log (or\n"
                 "C:\\QuillbeckSetup.log); nothing else is written to the console.\n"
                 "\n"
                 "Usage:\n"
                 "  QuillbeckSetup.exe <unpacked package folder>\n"
                 "  QuillbeckSetup.exe /?    this text (also -h or --help)\n"
                 "\n"
                 "Exit codes: 0 started; -3 no folder given; -4 copy failed, nothing started;\n"
                 "-5 install.cmd not started.\n",
                 IMAGEPREP_VERSION);
    std::fflush(out);
    return true;
}
