#include "stale_devices.h"

#include <cstring>
#include <string>

namespace {

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kInstallStateFailedInstall = 2;
// A real set fails only past its end; a long run of other failures means the
// set itself is broken, and the walk must still end.
constexpr uint32_t kMaxConsecutiveEnumErrors = 4096;

bool sameGuid(const DeviceGuid& a, const DeviceGuid& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

void readDevice(DeviceSet& set, DeviceProperties& device) {
    // Nothing from the previous device may leak into this one's decisions.
    std::memset(&device, 0, sizeof device);
    set.readProperties(device);
    // A string that fills its buffer arrives without a terminator.
    device.pdoName[kPropertyStringChars - 1] = L'\0';
    device.name[kPropertyStringChars - 1] = L'\0';
}

// A preview prints the same line behind a prefix, so that a search for lines starting
// with "Removing" never counts one, and leaves the device alone.
void reportAndRemove(DeviceSet& set, const char* kind, uint32_t installState,
                     const DeviceProperties& device, Removal removal, Console& console) {
    // "%ls" would stop at the first character the C runtime's locale cannot print.
    const std::string name = console.narrow(device.name);
    print(console, "%sRemoving %s devNodeInstallState=0x%08X devNodeStatus=0x%08X Name=%s\n",
          removal == Removal::Preview ? "What if: " : "", kind, installState, device.nodeStatus,
          name.c_str());
    if (removal == Removal::Perform) {
        set.removeCurrent();
    }
}

void removeIfStale(DeviceSet& set, const DeviceProperties& device, const DeviceGuid* netClass,
                   Removal removal, Console& console) {
    if (device.installStateRead && device.installState == kInstallStateFailedInstall) {
        reportAndRemove(set, "device that failed install.", kInstallStateFailedInstall, device,
                        removal, console);
    }
    if (netClass != nullptr && device.classGuidRead && sameGuid(device.classGuid, *netClass) &&
        device.pdoName[0] == 0) {
        reportAndRemove(set, "ghost NIC.", device.installState, device, removal, console);
    }
}

}  // namespace

void removeStaleDevices(DeviceManager& devices, Console& console, Removal removal) {
    std::unique_ptr<DeviceSet> set = devices.openAllDevices();
    if (!set) {
        return;
    }
    DeviceGuid netClassStorage{};
    // Without the network class no device can be told to be an adapter.
    const DeviceGuid* netClass =
        devices.networkClassGuid(netClassStorage) ? &netClassStorage : nullptr;
    // One storage block for the whole walk; it is large, so not on the stack.
    auto device = std::make_unique<DeviceProperties>();
    uint32_t consecutiveErrors = 0;
    for (uint32_t index = 0;; ++index) {
        const DeviceSelection selection = set->select(index);
        if (!selection.found) {
            if (selection.error == kErrorNoMoreItems || selection.error == kErrorInvalidHandle ||
                ++consecutiveErrors >= kMaxConsecutiveEnumErrors) {
                break;
            }
            continue;
        }
        consecutiveErrors = 0;
        readDevice(*set, *device);
        removeIfStale(*set, *device, netClass, removal, console);
    }
}
