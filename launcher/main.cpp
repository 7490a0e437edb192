#include "launcher_run.h"
#include "platform/win_command_line.h"
#include "platform/win_file_system.h"
#include "platform/win_log_host.h"
#include "platform/win_shell.h"
#include "usage.h"

int main(int argc, char** argv) {
    if (answerHelpRequest(argc, argv, stdout)) {
        return 0;
    }
    WinLogHost logHost;
    WinFileSystem fileSystem;
    WinShell shell;
    LauncherPorts ports{logHost, fileSystem, shell};
    return runLauncher(argc, argv, sourceArgumentError(), ports);
}
