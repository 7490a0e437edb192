#pragma once

#include "device_manager.h"

// The Plug and Play manager through SetupAPI.
class WinDeviceManager final : public DeviceManager {
  public:
    std::unique_ptr<DeviceSet> openAllDevices() override;
    bool networkClassGuid(DeviceGuid& guid) override;
};
