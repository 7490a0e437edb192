#pragma once

#include <cstdint>

constexpr uint8_t kProductTypeServer = 3;

// One reading of the Windows version.
struct VersionView {
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint8_t productType;  // 1 workstation, 2 domain controller, 3 server
};

// The system's version services. Each read starts from an all-zero view.
class VersionSource {
  public:
    virtual ~VersionSource() = default;
    // True only when the query succeeds and says this 32-bit process runs on
    // a 64-bit system.
    virtual bool isWow64Process() = 0;
    // The kernel's unshimmed version. Returns whether the query succeeded; the
    // view keeps whatever the query wrote either way.
    virtual bool readKernelVersion(VersionView& view) = 0;
    // The version as the compatibility layer reports it to this program.
    virtual bool readShimmedVersion(VersionView& view) = 0;
};
