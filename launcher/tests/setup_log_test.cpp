#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "error_codes.h"
#include "fakes.h"
#include "std_file_system.h"

namespace {

using ::testing::ElementsAre;

class SetupLogTest : public ::testing::Test {
  protected:
    TempDir temp;
    std::filesystem::path logFile = temp.path() / "log.txt";
    FakeLogHost host{logFile};

    std::string closeAndRead(SetupLog log) {
        closeSetupLog(log);
        return readFile(logFile);
    }
};

TEST_F(SetupLogTest, ChainCreatedOrAlreadyPresentGivesLogInLogsWithoutNote) {
    for (int code : {0, kErrorAlreadyExists}) {
        host.successCode = code;
        host.createdFolders.clear();
        host.openedPaths.clear();
        SetupLog log = openSetupLog(host);
        ASSERT_NE(log, nullptr);
        logMessage(log, "Quillbeck Setup\n");
        EXPECT_EQ(closeAndRead(log), "Quillbeck Setup\n");
        EXPECT_THAT(host.createdFolders,
                    ElementsAre("C:\\ProgramData\\Orvane", "C:\\ProgramData\\Orvane\\Logs"));
        EXPECT_THAT(host.openedPaths,
                    ElementsAre("C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log"));
    }
}

TEST_F(SetupLogTest, OrvaneFailureStopsChainAndNoteOpensFallbackLog) {
    host.failingFolders = {"C:\\ProgramData\\Orvane"};
    host.createError = 5;
    SetupLog log = openSetupLog(host);
    ASSERT_NE(log, nullptr);
    logMessage(log, "Quillbeck Setup\n");
    EXPECT_EQ(closeAndRead(log),
              "Could not create 'C:\\ProgramData\\Orvane' code(5) 'text of 5'\n"
              "Quillbeck Setup\n");
    EXPECT_THAT(host.createdFolders, ElementsAre("C:\\ProgramData\\Orvane"));
    EXPECT_THAT(host.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
}

TEST_F(SetupLogTest, NoteShowsTheFolderInTheCodePageWhileTheExactFolderIsTried) {
    host.folder =
        "C:\\Donn\xC3\xA9"
        "es \xE5\x85\xB1\xE6\x9C\x89";
    host.failingFolders = {host.folder + "\\Orvane"};
    SetupLog log = openSetupLog(host);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(closeAndRead(log), "Could not create 'C:\\Donn?es ??\\Orvane' code(5) 'text of 5'\n");
    EXPECT_THAT(host.createdFolders, ElementsAre(host.folder + "\\Orvane"));
}

TEST_F(SetupLogTest, LogsFailureNamesBothComponents) {
    host.failingFolders = {"C:\\ProgramData\\Orvane\\Logs"};
    host.createError = 267;
    SetupLog log = openSetupLog(host);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(closeAndRead(log),
              "Could not create 'C:\\ProgramData\\Orvane\\Logs' code(267) 'text of 267'\n");
    EXPECT_THAT(host.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
}

TEST_F(SetupLogTest, UnknownProgramDataFolderMeansNoLogAndNothingCreated) {
    host.folderResult = static_cast<int>(0x80070002u);
    EXPECT_EQ(openSetupLog(host), nullptr);
    EXPECT_TRUE(host.createdFolders.empty());
    EXPECT_TRUE(host.openedPaths.empty());
}

TEST_F(SetupLogTest, UnopenableFallbackDropsNoteAndWritesNothing) {
    host.failingFolders = {"C:\\ProgramData\\Orvane"};
    host.openFails = true;
    SetupLog log = openSetupLog(host);
    EXPECT_EQ(log, nullptr);
    EXPECT_THAT(host.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
    logMessage(log, "dropped %d\n", 1);
    closeSetupLog(log);
    EXPECT_FALSE(std::filesystem::exists(logFile));
}

TEST_F(SetupLogTest, MessagesAreWrittenAsFormattedAndNothingIsAdded) {
    SetupLog log = openSetupLog(host);
    ASSERT_NE(log, nullptr);
    logMessage(log, "%s failed with error %d", "x", -2);
    logMessage(log, "|%s|\n", "100% %s %n");
    EXPECT_EQ(closeAndRead(log), "x failed with error -2|100% %s %n|\n");
}

}  // namespace
