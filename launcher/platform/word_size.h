#pragma once

// The one place where the two editions differ: the size the shell expects in the request.
#include <cstddef>

#if defined(_WIN64)
constexpr size_t kExpectedShellExecuteInfoSize = 112;
#else
constexpr size_t kExpectedShellExecuteInfoSize = 60;
#endif
