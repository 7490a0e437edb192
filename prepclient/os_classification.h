#pragma once

#include <cstdint>

#include "version_source.h"

// The OperatingSystem code for a shimmed and a kernel reading of the version.
int32_t classifyOperatingSystem(const VersionView& shimmed, const VersionView& kernel,
                                bool kernelValid, bool is64Bit);
