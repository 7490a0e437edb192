#include <string>
#include <vector>

#include "launcher_run.h"
#include "platform/win_command_line.h"
#include "platform/win_file_system.h"
#include "platform/win_log_host.h"
#include "platform/win_shell.h"
#include "usage.h"

int main() {
    // One reading of the command line, so what is checked is what is copied.
    std::vector<std::string> arguments;
    const int sourceError = readArguments(arguments);
    std::vector<const char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    if (answerHelpRequest(static_cast<int>(arguments.size()), argv.data(), stdout)) {
        return 0;
    }

    WinLogHost logHost;
    WinFileSystem fileSystem;
    WinShell shell;
    LauncherPorts ports{logHost, fileSystem, shell};
    return runLauncher(static_cast<int>(arguments.size()), argv.data(), sourceError, ports);
}
