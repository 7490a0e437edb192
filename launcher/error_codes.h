#pragma once

// Windows system error values that the launcher's own rules produce or recognise. The
// ports report the system's values, so these are the same numbers the system uses.
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorAlreadyExists = 183;
constexpr int kErrorNoUnicodeTranslation = 1113;
