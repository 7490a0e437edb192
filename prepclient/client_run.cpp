#include "client_run.h"

#include <cstdio>
#include <memory>

#include "operating_system.h"
#include "stale_devices.h"

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

int runClient(int argc, ClientPorts ports) {
    if (argc != 1 && argc != 2) {
        return kExitBadArguments;
    }
    removeStaleDevices(ports.devices, ports.console);
    OperatingSystem os;
    os.getOSType(ports.versions, ports.console);
    print(ports.console, "OperatingSystem: %d\n", os.code);
    writeResultFile(os.code);
    print(ports.console, "OSType.txt done");
    return 0;
}
