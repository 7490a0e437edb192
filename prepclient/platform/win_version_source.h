#pragma once

#include "version_source.h"

// The version services of kernel32 and ntdll.
class WinVersionSource final : public VersionSource {
  public:
    bool isWow64Process() override;
    bool readKernelVersion(VersionView& view) override;
    bool readShimmedVersion(VersionView& view) override;
};
