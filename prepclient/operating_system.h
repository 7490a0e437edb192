#pragma once

#include <cstdint>

#include "console.h"
#include "version_source.h"

// Holder of the OperatingSystem code.
struct OperatingSystem {
    // Stays -1 when the version cannot be read.
    int32_t code = -1;

    // Reads both versions, prints them and stores the code. Returns nonzero
    // when the shimmed query worked; otherwise the code is left as it was.
    int getOSType(VersionSource& versions, Console& console);
};
