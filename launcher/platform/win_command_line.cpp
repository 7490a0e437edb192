#include "platform/win_command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/unique_handle.h"
#include "platform/win_text.h"

int readArguments(std::vector<std::string>& arguments) {
    arguments.clear();
    int count = 0;
    UniqueArgv wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide.valid()) {
        return static_cast<int>(GetLastError());
    }
    int sourceError = 0;
    for (int i = 0; i < count; ++i) {
        std::string narrow;
        const int code = toNarrow(wide.get()[i], narrow);
        if (i == 1) {
            sourceError = code;
        }
        arguments.push_back(narrow);
    }
    return sourceError;
}
