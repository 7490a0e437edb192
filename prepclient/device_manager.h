#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct DeviceGuid {
    uint8_t bytes[16];
};

// Each string property is read into a buffer of this many bytes.
constexpr size_t kPropertyStringBytes = 4096;
constexpr size_t kPropertyStringChars = kPropertyStringBytes / sizeof(wchar_t);

// The five properties the removal rules look at, read for one device. The
// *Read flags tell a value that was read from one left at its reset value.
struct DeviceProperties {
    wchar_t pdoName[kPropertyStringChars];
    DeviceGuid classGuid;
    bool classGuidRead;
    uint32_t nodeStatus;
    uint32_t installState;
    bool installStateRead;
    wchar_t name[kPropertyStringChars];
};

struct DeviceSelection {
    bool found;
    uint32_t error;  // system error code when !found
};

// An open set of all device instances, present or not. Destroying it
// releases the set.
class DeviceSet {
  public:
    virtual ~DeviceSet() = default;
    // Makes the device at `index` the current one.
    virtual DeviceSelection select(uint32_t index) = 0;
    // Reads the five properties of the current device, in table order, into
    // storage the caller has reset.
    virtual void readProperties(DeviceProperties& properties) = 0;
    // Asks the current device's class installer to remove it; the outcome is not reported.
    virtual void removeCurrent() = 0;
};

class DeviceManager {
  public:
    virtual ~DeviceManager() = default;
    // Null when the set cannot be opened.
    virtual std::unique_ptr<DeviceSet> openAllDevices() = 0;
    // The class GUID of network adapters; false when it cannot be produced.
    virtual bool networkClassGuid(DeviceGuid& guid) = 0;
};
