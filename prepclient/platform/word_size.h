#pragma once

// The one place where the two editions differ. The 32-bit edition learns from the system
// whether it runs on a 64-bit Windows; the native 64-bit edition runs only there.
#include <cstddef>

#if defined(_WIN64)
constexpr bool kEditionIsNative64Bit = true;
constexpr size_t kExpectedDevInfoDataSize = 32;
#else
constexpr bool kEditionIsNative64Bit = false;
constexpr size_t kExpectedDevInfoDataSize = 28;
#endif
