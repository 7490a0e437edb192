#include <gtest/gtest.h>

#include "fakes.h"
#include "stale_devices.h"

namespace {

FakeDevice presentDevice(const wchar_t* name, DeviceGuid guid, uint32_t installState = 0) {
    FakeDevice d;
    d.pdoName = L"\\Device\\00000042";
    d.name = name;
    d.hasClassGuid = true;
    d.classGuid = guid;
    d.nodeStatus = 0x0180200A;
    d.hasInstallState = true;
    d.installState = installState;
    return d;
}

FakeDevice ghostNic(const wchar_t* name, uint32_t installState = 0) {
    FakeDevice d = presentDevice(name, netClassGuid(), installState);
    d.pdoName.clear();
    d.nodeStatus = 0;
    return d;
}

struct Walk {
    FakeDeviceManager devices;
    CapturingConsole console;
    void run(Removal removal = Removal::Perform) { removeStaleDevices(devices, console, removal); }
};

TEST(StaleDevices, NoDevicesPrintsNothing) {
    Walk w;
    w.run();
    EXPECT_EQ(w.console.text, "");
    EXPECT_TRUE(w.devices.removedIndexes.empty());
    EXPECT_EQ(w.devices.selects, 1u);
    EXPECT_EQ(w.devices.closes, 1);
}

TEST(StaleDevices, RemovesFailedInstallsAndGhostNicsOnly) {
    Walk w;
    w.devices.devices = {
        presentDevice(L"Present NIC", netClassGuid()),       // 0 stays
        ghostNic(L"Ghost NIC"),                              // 1 ghost
        presentDevice(L"Broken disk", otherClassGuid(), 2),  // 2 failed install
        presentDevice(L"Broken NIC", netClassGuid(), 2),     // 3 failed install
        ghostNic(L"Other class no PDO"),                     // 4 stays (class differs)
        presentDevice(L"Installing", otherClassGuid(), 1),   // 5 stays
    };
    w.devices.devices[4].classGuid = otherClassGuid();
    w.devices.devices[1].installState = 3;
    w.run();
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(w.console.text,
              "Removing ghost NIC. devNodeInstallState=0x00000003 devNodeStatus=0x00000000 "
              "Name=Ghost NIC\n"
              "Removing device that failed install. devNodeInstallState=0x00000002 "
              "devNodeStatus=0x0180200A Name=Broken disk\n"
              "Removing device that failed install. devNodeInstallState=0x00000002 "
              "devNodeStatus=0x0180200A Name=Broken NIC\n");
}

TEST(StaleDevices, FailedInstallGhostNicGetsBothLinesAndTwoRemovals) {
    Walk w;
    w.devices.devices = {ghostNic(L"Both", 2)};
    w.run();
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{0, 0}));
    EXPECT_EQ(w.console.text,
              "Removing device that failed install. devNodeInstallState=0x00000002 "
              "devNodeStatus=0x00000000 Name=Both\n"
              "Removing ghost NIC. devNodeInstallState=0x00000002 devNodeStatus=0x00000000 "
              "Name=Both\n");
}

TEST(StaleDevices, UnreadablePropertiesNeverInheritThePreviousDevice) {
    Walk w;
    FakeDevice unreadable;  // nothing can be read at all
    FakeDevice unreadableState = ghostNic(L"");
    unreadableState.hasClassGuid = false;  // a NIC whose class cannot be read
    unreadableState.hasInstallState = false;
    w.devices.devices = {ghostNic(L"First", 2), unreadable, unreadableState};
    w.run();
    // Only the first device goes; the others would match if its GUID, state or
    // strings leaked into their reads.
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{0, 0}));
}

TEST(StaleDevices, NicWithUnreadableNameIsAGhost) {
    Walk w;
    FakeDevice nic = presentDevice(L"", netClassGuid());
    nic.pdoName.clear();
    nic.hasInstallState = false;
    w.devices.devices = {nic};
    w.run();
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{0}));
    EXPECT_EQ(
        w.console.text,
        "Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x0180200A Name=\n");
}

TEST(StaleDevices, OverlongNameIsCutAtItsBuffer) {
    Walk w;
    w.devices.devices = {ghostNic(L"", 2)};
    w.devices.devices[0].name.assign(kPropertyStringChars + 10, L'x');
    w.run();
    const std::string expectedName(kPropertyStringChars - 1, 'x');
    EXPECT_NE(w.console.text.find("Name=" + expectedName + "\n"), std::string::npos);
}

TEST(StaleDevices, PreviewPrintsEveryLineOfARealRunAndRemovesNothing) {
    Walk real;
    real.devices.devices = {presentDevice(L"Present NIC", netClassGuid()), ghostNic(L"Both", 2),
                            presentDevice(L"Broken disk", otherClassGuid(), 2)};
    Walk preview;
    preview.devices.devices = real.devices.devices;
    real.run();
    preview.run(Removal::Preview);

    EXPECT_TRUE(preview.devices.removedIndexes.empty());
    EXPECT_EQ(preview.devices.selects, real.devices.selects);
    EXPECT_EQ(preview.devices.closes, 1);
    std::string expected;
    size_t start = 0;
    for (size_t end; (end = real.console.text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        expected += "What if: " + real.console.text.substr(start, end + 1 - start);
    }
    EXPECT_EQ(real.devices.removedIndexes.size(), 3u);
    EXPECT_EQ(preview.console.text, expected);
}

// The fake console lacks every character beyond ASCII, as a code page lacks some.
TEST(StaleDevices, NamesOutsideTheCodePageKeepTheRestOfTheLine) {
    Walk w;
    w.devices.devices = {ghostNic(L"Odd name \u7f51\u5361 end"),
                         ghostNic(L"\u0421\u0435\u0442\u044c 1", 2), ghostNic(L"100% %s %n plain")};
    w.run();
    EXPECT_EQ(w.console.text,
              "Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x00000000 "
              "Name=Odd name ?? end\n"
              "Removing device that failed install. devNodeInstallState=0x00000002 "
              "devNodeStatus=0x00000000 Name=???? 1\n"
              "Removing ghost NIC. devNodeInstallState=0x00000002 devNodeStatus=0x00000000 "
              "Name=???? 1\n"
              "Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x00000000 "
              "Name=100% %s %n plain\n");
}

TEST(StaleDevices, UnopenableSetEndsAtOnce) {
    Walk w;
    w.devices.openFails = true;
    w.devices.devices = {ghostNic(L"Ghost", 2)};
    w.run();
    EXPECT_EQ(w.devices.selects, 0u);
    EXPECT_EQ(w.console.text, "");
}

TEST(StaleDevices, MissingNetworkClassRemovesNoGhosts) {
    Walk w;
    w.devices.netGuidFails = true;
    w.devices.devices = {ghostNic(L"Ghost"), ghostNic(L"Failed", 2)};
    w.run();
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{1}));
}

TEST(StaleDevices, EnumerationErrorsSkipTheIndexAndTheWalkGoesOn) {
    Walk w;
    FakeDevice broken;
    broken.enumError = 13;  // ERROR_INVALID_DATA
    w.devices.devices = {broken, ghostNic(L"After error", 2), broken, ghostNic(L"Last")};
    w.run();
    EXPECT_EQ(w.devices.removedIndexes, (std::vector<size_t>{1, 1, 3}));
    EXPECT_EQ(w.devices.selects, 5u);
    EXPECT_EQ(w.devices.closes, 1);
}

// A set that never says "no more items" ends after 4096 failures in a row, and a device
// read between failures starts the count again.
TEST(StaleDevices, WalkEndsWhenTheSetKeepsFailing) {
    struct Row {
        size_t failuresBefore;  // then one failed-install ghost, then failures only
        size_t selects;
        size_t removals;
    };
    const Row rows[] = {
        {0, 1 + 4096, 2},
        {4095, 4095 + 1 + 4096, 2},  // the device starts the count again
        {4096, 4096, 0},             // the walk has ended before the device
    };
    for (const Row& row : rows) {
        Walk w;
        FakeDevice broken;
        broken.enumError = 13;  // ERROR_INVALID_DATA
        w.devices.devices.assign(row.failuresBefore, broken);
        w.devices.devices.push_back(ghostNic(L"Only", 2));
        w.devices.errorPastEnd = 13;
        w.run();
        EXPECT_EQ(w.devices.selects, row.selects) << row.failuresBefore;
        EXPECT_EQ(w.devices.removedIndexes.size(), row.removals) << row.failuresBefore;
        EXPECT_EQ(w.devices.closes, 1);
    }

    Walk invalid;
    invalid.devices.devices = {ghostNic(L"Only", 2)};
    invalid.devices.errorPastEnd = 6;  // ERROR_INVALID_HANDLE: the set is unusable
    invalid.run();
    EXPECT_EQ(invalid.devices.selects, 2u);
}

}  // namespace
