#pragma once

#include "console.h"

// The short usage text with the version, for "/?".
void printUsage(Console& console);
