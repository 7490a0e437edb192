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

// The whole client run for a command line of `argc` entries. The optional
// argument is accepted but never used, so only the count is taken.
int runClient(int argc, ClientPorts ports);
