#pragma once

#include "console.h"
#include "device_manager.h"
#include "version_source.h"

constexpr int kExitBadArguments = 0x50001;

struct ClientPorts {
    Console& console;
    DeviceManager& devices;
    VersionSource& versions;
};

// The whole client run for the command line `argv` of `argc` entries. A sole "/?"
// prints the usage and "/whatif" previews the run; any other single argument is
// accepted and never used.
int runClient(int argc, const char* const* argv, ClientPorts ports);
