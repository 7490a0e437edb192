#pragma once

// Windows system error values that the launcher's own rules produce or recognise. The
// ports report the system's values, so these are the same numbers the system uses.
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorAlreadyExists = 183;
constexpr int kErrorNoUnicodeTranslation = 1113;
// What the log's own rules refuse, as the system names each case.
constexpr int kErrorDirectory = 267;                 // not a directory
constexpr int kErrorTooManyLinks = 1142;             // a file with another name elsewhere
constexpr int kErrorInvalidOwner = 1307;             // an owner the log does not trust
constexpr int kErrorReparsePointEncountered = 4395;  // a link or junction
