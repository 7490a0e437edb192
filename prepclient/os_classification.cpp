#include "os_classification.h"

namespace {

// Codes that differ only by the bitness of the system.
struct ArchitectureSet {
    int32_t generation5;
    int32_t version60;
    int32_t otherWorkstation;
    int32_t workstation62or63;
    int32_t kernel10Workstation;
};

constexpr ArchitectureSet k32BitCodes = {1, 3, 5, 7, 11};
constexpr ArchitectureSet k64BitCodes = {2, 4, 6, 8, 12};

constexpr uint32_t kFirstBuildOfCode17 = 22000;
constexpr uint32_t kFirstBuildOfCode15 = 17763;
constexpr uint32_t kFirstBuildOfCode16 = 20324;
// Early kernel-10 previews still reported 6.3.
constexpr uint32_t kFirstKernel10BuildAs63 = 10049;

bool isKernel10(const VersionView& s, const VersionView& k, bool kernelValid) {
    if (s.major == 6 && s.minor == 4) {
        return true;
    }
    if (!kernelValid) {
        return false;
    }
    return (k.major == 10 && k.minor == 0) ||
           (k.major == 6 && k.minor == 3 && k.build >= kFirstKernel10BuildAs63);
}

int32_t classifyKernel10(bool server, uint32_t kernelBuild, bool is64Bit,
                         const ArchitectureSet& codes) {
    if (!server) {
        return kernelBuild >= kFirstBuildOfCode17 ? 17 : codes.kernel10Workstation;
    }
    if (!is64Bit) {
        return 0;
    }
    if (kernelBuild < kFirstBuildOfCode15) {
        return 13;
    }
    return kernelBuild < kFirstBuildOfCode16 ? 15 : 16;
}

}  // namespace

int32_t classifyOperatingSystem(const VersionView& shimmed, const VersionView& kernel,
                                bool kernelValid, bool is64Bit) {
    const ArchitectureSet& codes = is64Bit ? k64BitCodes : k32BitCodes;
    const bool server = shimmed.productType == kProductTypeServer;
    if (shimmed.major == 5) {
        return codes.generation5;
    }
    if (shimmed.major == 6 && shimmed.minor == 0) {
        return codes.version60;
    }
    if (isKernel10(shimmed, kernel, kernelValid)) {
        // The kernel's build decides even when the kernel reading failed: it
        // is then whatever the query left, normally 0.
        return classifyKernel10(server, kernel.build, is64Bit, codes);
    }
    if (shimmed.major == 6 && (shimmed.minor == 2 || shimmed.minor == 3)) {
        if (server) {
            return is64Bit ? 10 : 7;
        }
        return codes.workstation62or63;
    }
    return server ? 9 : codes.otherWorkstation;
}
