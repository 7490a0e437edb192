#include <gtest/gtest.h>

#include "fakes.h"
#include "operating_system.h"
#include "os_classification.h"

namespace {

constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;

struct Case {
    const char* what;
    VersionView shimmed;
    VersionView kernel;
    bool kernelValid;
    bool is64;
    int32_t code;
};

// Every code the table can produce, and both sides of every threshold.
const Case kCases[] = {
    {"4.0 is below the table", {4, 0, 0, kWorkstation}, {4, 0, 1381, kWorkstation}, true, false, 5},
    {"5.1 workstation 32", {5, 1, 0, kWorkstation}, {5, 1, 2600, kWorkstation}, true, false, 1},
    {"5.2 server 64 ignores server", {5, 2, 0, kServer}, {5, 2, 3790, kServer}, true, true, 2},
    {"6.0 workstation 32", {6, 0, 0, kWorkstation}, {6, 0, 6002, kWorkstation}, true, false, 3},
    {"6.0 server 64 ignores server", {6, 0, 0, kServer}, {6, 0, 6002, kServer}, true, true, 4},
    {"6.1 workstation 32", {6, 1, 0, kWorkstation}, {6, 1, 7601, kWorkstation}, true, false, 5},
    {"6.1 workstation 64", {6, 1, 0, kWorkstation}, {6, 1, 7601, kWorkstation}, true, true, 6},
    {"6.1 server, kernel invalid", {6, 1, 0, kServer}, {}, false, true, 9},
    {"6.1 domain controller is workstation", {6, 1, 0, kDomainController}, {}, false, true, 6},
    {"6.2 workstation 32", {6, 2, 0, kWorkstation}, {6, 2, 9200, kWorkstation}, true, false, 7},
    {"6.2 server 32", {6, 2, 0, kServer}, {6, 2, 9200, kServer}, true, false, 7},
    {"6.3 workstation 64", {6, 3, 0, kWorkstation}, {6, 3, 9600, kWorkstation}, true, true, 8},
    {"6.3 workstation 32, kernel invalid", {6, 3, 0, kWorkstation}, {}, false, false, 7},
    {"6.3 server 64, kernel invalid", {6, 3, 0, kServer}, {}, false, true, 10},
    {"kernel 10 workstation 32", {6, 2, 0, kWorkstation}, {10, 0, 19045, 1}, true, false, 11},
    {"kernel 10 build 21999 64", {6, 2, 0, kWorkstation}, {10, 0, 21999, 1}, true, true, 12},
    {"kernel 10 build 22000 64", {6, 2, 0, kWorkstation}, {10, 0, 22000, 1}, true, true, 17},
    {"kernel 10 build 22000 32", {6, 2, 0, kWorkstation}, {10, 0, 22000, 1}, true, false, 17},
    {"kernel 10 server 32", {6, 2, 0, kServer}, {10, 0, 20348, kServer}, true, false, 0},
    {"server build 17762", {6, 2, 0, kServer}, {10, 0, 17762, kServer}, true, true, 13},
    {"server build 17763", {6, 2, 0, kServer}, {10, 0, 17763, kServer}, true, true, 15},
    {"server build 20323", {6, 2, 0, kServer}, {10, 0, 20323, kServer}, true, true, 15},
    {"server build 20324", {6, 2, 0, kServer}, {10, 0, 20324, kServer}, true, true, 16},
    {"kernel server type alone is not server",
     {6, 2, 0, kWorkstation},
     {10, 0, 20348, kServer},
     true,
     true,
     12},
    {"kernel 6.3 build 10049 is kernel 10",
     {6, 3, 0, kWorkstation},
     {6, 3, 10049, 1},
     true,
     true,
     12},
    {"kernel 6.3 build 10048 is not", {6, 3, 0, kWorkstation}, {6, 3, 10048, 1}, true, true, 8},
    {"kernel 10.1 is not kernel 10", {6, 2, 0, kWorkstation}, {10, 1, 22000, 1}, true, true, 8},
    {"kernel 10 reading invalid", {6, 2, 0, kWorkstation}, {10, 0, 22000, 1}, false, true, 8},
    {"kernel view all zero", {6, 2, 0, kWorkstation}, {0, 0, 0, 0}, true, true, 8},
    {"shimmed 6.4 with zero kernel", {6, 4, 0, kWorkstation}, {}, false, true, 12},
    {"shimmed 6.4 server uses kernel build", {6, 4, 0, kServer}, {0, 0, 17763, 0}, false, true, 15},
    {"shimmed 6.4 server 32", {6, 4, 0, kServer}, {}, false, false, 0},
    {"shimmed 10.0 kernel invalid", {10, 0, 0, kWorkstation}, {}, false, false, 5},
    {"shimmed 10.0 server kernel invalid", {10, 0, 0, kServer}, {}, false, false, 9},
};

TEST(Classification, TableOfCodes) {
    for (const Case& c : kCases) {
        EXPECT_EQ(classifyOperatingSystem(c.shimmed, c.kernel, c.kernelValid, c.is64), c.code)
            << c.what;
    }
}

TEST(Classification, NeverProducesFourteenOrLeavesRange) {
    for (uint32_t sMajor : {4u, 5u, 6u, 10u}) {
        for (uint32_t sMinor : {0u, 1u, 2u, 3u, 4u}) {
            for (uint32_t kMajor : {0u, 6u, 10u}) {
                for (uint32_t build : {0u, 10049u, 17763u, 20324u, 22000u}) {
                    for (uint8_t type : {kWorkstation, kDomainController, kServer}) {
                        for (int flags = 0; flags < 4; ++flags) {
                            const int32_t code = classifyOperatingSystem({sMajor, sMinor, 0, type},
                                                                         {kMajor, 3, build, type},
                                                                         flags & 1, flags & 2);
                            EXPECT_TRUE(code >= 0 && code <= 17 && code != 14) << code;
                        }
                    }
                }
            }
        }
    }
}

TEST(GetOSType, PrintsBothReadingsAndStoresCode) {
    FakeVersionSource source;
    source.wow64 = true;
    source.kernel = {10, 0, 21999, kWorkstation};
    source.shimmed = {6, 2, 9200, kWorkstation};
    CapturingConsole console;
    OperatingSystem os;
    EXPECT_EQ(os.getOSType(source, console), 1);
    EXPECT_EQ(os.code, 12);
    EXPECT_EQ(console.text,
              "getOSType: rtlOsMajor 10, rtlOsMinor 0, rtlwProductType 1, 64bit 1\n"
              "getOSType: osMajor 6, osMinor 2, wProductType 1, 64-bit\n");
    EXPECT_EQ(source.calls, (std::vector<std::string>{"kernel", "shimmed"}));
}

TEST(GetOSType, InvalidKernelViewPrintsOnlyShimmedLine) {
    FakeVersionSource source;
    source.kernelValid = false;
    source.kernel = {10, 0, 17763, kServer};  // written although the query failed
    source.shimmed = {6, 4, 0, kServer};
    source.wow64 = true;
    CapturingConsole console;
    OperatingSystem os;
    os.getOSType(source, console);
    EXPECT_EQ(console.text, "getOSType: osMajor 6, osMinor 4, wProductType 3, 64-bit\n");
    EXPECT_EQ(os.code, 15);
}

TEST(GetOSType, FailedShimmedQueryLeavesCodeUntouched) {
    FakeVersionSource source;
    source.shimmedValid = false;
    source.kernel = {10, 0, 19045, kWorkstation};
    CapturingConsole console;
    OperatingSystem os;
    EXPECT_EQ(os.code, -1);
    EXPECT_EQ(os.getOSType(source, console), 0);
    EXPECT_EQ(os.code, -1);
    EXPECT_EQ(console.text, "getOSType: rtlOsMajor 10, rtlOsMinor 0, rtlwProductType 1, 64bit 0\n");
}

}  // namespace
