#pragma once

#include <string>
#include <vector>

#include "console.h"
#include "device_manager.h"
#include "version_source.h"

class CapturingConsole final : public Console {
  public:
    void vprint(const char* format, va_list args) override __attribute__((format(printf, 2, 0)));
    // Stands for a code page that holds only ASCII: everything else becomes "?".
    std::string narrow(const wchar_t* text) override;
    std::string text;
};

// One device as the fake device manager stores it; unset optional values
// stand for property reads that fail.
struct FakeDevice {
    std::wstring pdoName;
    std::wstring name;
    bool hasClassGuid = false;
    DeviceGuid classGuid{};
    uint32_t nodeStatus = 0;
    bool hasInstallState = false;
    uint32_t installState = 0;
    // When nonzero, selecting this index fails with this error instead.
    uint32_t enumError = 0;
};

DeviceGuid netClassGuid();
DeviceGuid otherClassGuid();

class FakeDeviceManager final : public DeviceManager {
  public:
    std::unique_ptr<DeviceSet> openAllDevices() override;
    bool networkClassGuid(DeviceGuid& guid) override;

    std::vector<FakeDevice> devices;
    bool openFails = false;
    bool netGuidFails = false;
    // Selecting any index at or past the device list fails with this error.
    uint32_t errorPastEnd = 259;

    // What the walk did.
    int opens = 0;
    int closes = 0;
    size_t selects = 0;
    std::vector<size_t> removedIndexes;
};

class FakeVersionSource final : public VersionSource {
  public:
    bool isWow64Process() override { return wow64; }
    bool readKernelVersion(VersionView& view) override;
    bool readShimmedVersion(VersionView& view) override;

    bool wow64 = false;
    bool kernelValid = true;
    VersionView kernel{};
    bool shimmedValid = true;
    VersionView shimmed{};
    std::vector<std::string> calls;
};
