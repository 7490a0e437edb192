#include "platform/win_command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/unique_handle.h"
#include "platform/win_text.h"

int sourceArgumentError() {
    int count = 0;
    UniqueArgv arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments.valid() || count < 2) {
        return 0;
    }
    std::string narrow;
    return toNarrow(arguments.get()[1], narrow);
}
