#pragma once

#include <cstdint>

// What the client was asked to do by its command line.
enum class ClientMode : std::uint8_t {
    Run,           // no argument, or the one accepted and unused argument
    Preview,       // "/whatif": list what a run would remove, change nothing
    Help,          // "/?", "-h" or "--help": print the usage only
    BadArguments,  // more than one argument: nothing is done
};

// Only a sole argument can ask for help or a preview; every other single argument keeps
// its meaning as the accepted, unused path.
ClientMode clientMode(int argc, const char* const* argv);
