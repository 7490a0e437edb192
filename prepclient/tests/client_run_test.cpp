#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "client_run.h"
#include "fakes.h"

namespace fs = std::filesystem;

namespace {

// Runs each test in a fresh current directory, where the result file lands.
class ClientRun : public ::testing::Test {
  protected:
    void SetUp() override {
        original_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("prepclient-run-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        versions.shimmed = {6, 2, 9200, 1};
        versions.kernel = {10, 0, 19045, 1};
        versions.wow64 = true;
    }
    void TearDown() override {
        fs::current_path(original_);
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    int run(int argc) { return runClient(argc, {console, devices, versions}); }
    static std::string resultFile() {
        std::ifstream in("OSType.txt", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    CapturingConsole console;
    FakeDeviceManager devices;
    FakeVersionSource versions;
    fs::path original_;
    fs::path dir_;
};

TEST_F(ClientRun, FullRunInOrder) {
    FakeDevice ghost;
    ghost.hasClassGuid = true;
    ghost.classGuid = netClassGuid();
    ghost.name = L"Old NIC";
    devices.devices = {ghost};
    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(console.text,
              "Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x00000000 "
              "Name=Old NIC\n"
              "getOSType: rtlOsMajor 10, rtlOsMinor 0, rtlwProductType 1, 64bit 1\n"
              "getOSType: osMajor 6, osMinor 2, wProductType 1, 64-bit\n"
              "OperatingSystem: 12\n"
              "OSType.txt done");
    EXPECT_EQ(resultFile(), "12");
}

TEST_F(ClientRun, OneArgumentIsAcceptedAndNeverTouched) {
    EXPECT_EQ(run(2), 0);
    EXPECT_EQ(resultFile(), "12");
    EXPECT_EQ(devices.opens, 1);
}

TEST_F(ClientRun, WrongArgumentCountsDoNothing) {
    for (int argc : {0, 3, 7}) {
        EXPECT_EQ(run(argc), 0x50001);
    }
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(devices.opens, 0);
    EXPECT_TRUE(versions.calls.empty());
    EXPECT_FALSE(fs::exists("OSType.txt"));
}

TEST_F(ClientRun, UnreadableVersionGivesMinusOne) {
    versions.shimmedValid = false;
    versions.kernelValid = false;
    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(console.text, "OperatingSystem: -1\nOSType.txt done");
    EXPECT_EQ(resultFile(), "-1");
}

TEST_F(ClientRun, SecondRunReplacesTheFile) {
    std::ofstream("OSType.txt") << "previous content that is longer\n";
    versions.shimmed = {5, 1, 2600, 1};
    versions.wow64 = false;
    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(resultFile(), "1");
}

TEST_F(ClientRun, UnwritableResultFileStillCompletes) {
    fs::create_directory("OSType.txt");  // nothing can open a directory for writing
    EXPECT_EQ(run(1), 0);
    EXPECT_NE(console.text.find("OperatingSystem: 12\nOSType.txt done"), std::string::npos);
    EXPECT_TRUE(fs::is_directory("OSType.txt"));
}

}  // namespace
