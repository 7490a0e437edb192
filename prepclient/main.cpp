#include "client_run.h"
#include "platform/win_console.h"
#include "platform/win_device_manager.h"
#include "platform/win_version_source.h"

int main(int argc, char** argv) {
    WinConsole console;
    WinDeviceManager devices;
    WinVersionSource versions;
    return runClient(argc, argv, {console, devices, versions});
}
