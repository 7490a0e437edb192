#include "client_run.h"

#include <cstdio>
#include <memory>

#include "command_line.h"
#include "operating_system.h"
#include "stale_devices.h"
#include "usage.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A file that cannot be written is not reported: the code is on the console
// already and the run goes on.
void writeResultFile(int32_t code) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen("OSType.txt", "w"));
    if (file) {
        std::fprintf(file.get(), "%d", static_cast<int>(code));
    }
}

}  // namespace

int runClient(int argc, const char* const* argv, ClientPorts ports) {
    const ClientMode mode = clientMode(argc, argv);
    if (mode == ClientMode::BadArguments) {
        return kExitBadArguments;
    }
    if (mode == ClientMode::Help) {
        printUsage(ports.console);
        return 0;
    }
    const bool preview = mode == ClientMode::Preview;
    removeStaleDevices(ports.devices, ports.console, preview ? Removal::Preview : Removal::Perform);
    OperatingSystem os;
    os.getOSType(ports.versions, ports.console);
    print(ports.console, "OperatingSystem: %d\n", os.code);
    if (preview) {
        print(ports.console, "What if: OSType.txt not written\n");
        return 0;
    }
    writeResultFile(os.code);
    print(ports.console, "OSType.txt done");
    return 0;
}
