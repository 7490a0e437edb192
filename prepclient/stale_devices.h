#pragma once

#include "console.h"
#include "device_manager.h"

// Removes devices whose installation failed and network adapters without a
// physical device, printing one line per removal request.
void removeStaleDevices(DeviceManager& devices, Console& console);
