#include "platform/win_command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/unique_handle.h"
#include "unicode_text.h"

int readArguments(std::vector<std::string>& arguments) {
    arguments.clear();
    int count = 0;
    UniqueArgv wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide.valid()) {
        return static_cast<int>(GetLastError());
    }
    arguments.resize(static_cast<size_t>(count));
    int sourceError = 0;
    for (int i = 0; i < count; ++i) {
        const wchar_t* const argument = wide.get()[i];
        const int code = utf8FromUtf16(argument, wcslen(argument), arguments[i]);
        if (i == 1) {
            sourceError = code;
        }
    }
    return sourceError;
}
