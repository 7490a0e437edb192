#include "operating_system.h"

#include "os_classification.h"

int OperatingSystem::getOSType(VersionSource& versions, Console& console) {
    VersionView shimmed{};
    VersionView kernel{};
    const bool is64Bit = versions.isWow64Process();
    const bool kernelValid = versions.readKernelVersion(kernel);
    if (kernelValid) {
        print(console, "getOSType: rtlOsMajor %u, rtlOsMinor %u, rtlwProductType %u, 64bit %u\n",
              kernel.major, kernel.minor, unsigned{kernel.productType}, is64Bit ? 1u : 0u);
    }
    if (!versions.readShimmedVersion(shimmed)) {
        return 0;
    }
    print(console, "getOSType: osMajor %u, osMinor %u, wProductType %u, %s\n", shimmed.major,
          shimmed.minor, unsigned{shimmed.productType}, is64Bit ? "64-bit" : "32-bit");
    code = classifyOperatingSystem(shimmed, kernel, kernelValid, is64Bit);
    return 1;
}
