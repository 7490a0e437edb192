#pragma once

#include <cstdint>

#include "console.h"
#include "device_manager.h"

enum class Removal : std::uint8_t {
    Perform,
    Preview,  // the same walk and lines, prefixed "What if: ", and nothing removed
};

// Removes devices whose installation failed and network adapters without a
// physical device, printing one line per removal request.
void removeStaleDevices(DeviceManager& devices, Console& console, Removal removal);
