#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

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
    int run(std::vector<const char*> arguments) {
        arguments.insert(arguments.begin(), "Ostrelle.exe");
        return runClient(static_cast<int>(arguments.size()), arguments.data(),
                         {console, devices, versions});
    }
    void plantGhost() {
        FakeDevice ghost;
        ghost.hasClassGuid = true;
        ghost.classGuid = netClassGuid();
        ghost.name = L"Old NIC";
        devices.devices = {ghost};
    }
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
    plantGhost();
    EXPECT_EQ(run({}), 0);
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
    // Spellings near the help and preview switches are ordinary paths: each gives a full run.
    for (const char* argument :
         {"errors.txt", "/whatif.txt", "-H", "/??", "/what", "/whatis", "whatif"}) {
        fs::remove("OSType.txt");
        EXPECT_EQ(run({argument}), 0) << argument;
        EXPECT_FALSE(fs::exists(argument)) << argument;
        EXPECT_EQ(resultFile(), "12") << argument;
    }
    EXPECT_EQ(devices.opens, 7);
}

TEST_F(ClientRun, WrongArgumentCountsDoNothing) {
    EXPECT_EQ(runClient(0, nullptr, {console, devices, versions}), 0x50001);
    for (const std::vector<const char*>& arguments : {std::vector<const char*>{"a", "b"},
                                                      {"/?", "x"},
                                                      {"/whatif", "/whatif"},
                                                      {"-h", "--help"},
                                                      {"a", "b", "c", "d", "e", "f"}}) {
        EXPECT_EQ(run(arguments), 0x50001);
    }
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(devices.opens, 0);
    EXPECT_TRUE(versions.calls.empty());
    EXPECT_FALSE(fs::exists("OSType.txt"));
}

TEST_F(ClientRun, UnreadableVersionGivesMinusOne) {
    versions.shimmedValid = false;
    versions.kernelValid = false;
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(console.text, "OperatingSystem: -1\nOSType.txt done");
    EXPECT_EQ(resultFile(), "-1");
}

TEST_F(ClientRun, SecondRunReplacesTheFile) {
    std::ofstream("OSType.txt") << "previous content that is longer\n";
    versions.shimmed = {5, 1, 2600, 1};
    versions.wow64 = false;
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(resultFile(), "1");
}

TEST_F(ClientRun, UnwritableResultFileStillCompletes) {
    fs::create_directory("OSType.txt");  // nothing can open a directory for writing
    EXPECT_EQ(run({}), 0);
    EXPECT_NE(console.text.find("OperatingSystem: 12\nOSType.txt done"), std::string::npos);
    EXPECT_TRUE(fs::is_directory("OSType.txt"));
}

TEST_F(ClientRun, HelpPrintsTheUsageAndDoesNothingElse) {
    plantGhost();
    std::ofstream("OSType.txt") << "7";
    for (const char* argument : {"/?", "-h", "--help"}) {
        console.text.clear();
        EXPECT_EQ(run({argument}), 0) << argument;
        EXPECT_EQ(console.text.rfind(std::string("Ostrelle ") + IMAGEPREP_VERSION + ",", 0), 0u)
            << console.text;
        EXPECT_NE(console.text.find("/whatif"), std::string::npos);
        EXPECT_EQ(console.text.back(), '\n');
    }
    EXPECT_EQ(devices.opens, 0);
    EXPECT_TRUE(versions.calls.empty());
    EXPECT_EQ(resultFile(), "7");
}

TEST_F(ClientRun, PreviewListsRemovalsAndChangesNothing) {
    plantGhost();
    const std::string expected =
        "What if: Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x00000000 "
        "Name=Old NIC\n"
        "getOSType: rtlOsMajor 10, rtlOsMinor 0, rtlwProductType 1, 64bit 1\n"
        "getOSType: osMajor 6, osMinor 2, wProductType 1, 64-bit\n"
        "OperatingSystem: 12\n"
        "What if: OSType.txt not written\n";
    for (const char* argument : {"/whatif", "/WHATIF", "/WhatIf"}) {
        console.text.clear();
        EXPECT_EQ(run({argument}), 0) << argument;
        EXPECT_EQ(console.text, expected) << argument;
    }
    EXPECT_TRUE(devices.removedIndexes.empty());
    EXPECT_FALSE(fs::exists("OSType.txt"));

    std::ofstream("OSType.txt") << "5";
    EXPECT_EQ(run({"/whatif"}), 0);
    EXPECT_EQ(resultFile(), "5");
}

}  // namespace
