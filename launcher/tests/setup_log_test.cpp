#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

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

TEST_F(SetupLogTest, FoundFolderIsUsedOnlyWhenARealDirectoryWithATrustedOwner) {
    const std::string orvane = "C:\\ProgramData\\Orvane";
    const std::string logs = orvane + "\\Logs";
    struct Row {
        std::string folder;
        PathFacts facts;
        int refusal;  // 0: used
    };
    const Row rows[] = {
        {orvane, {true, true, 1, kOwnerSystem}, kErrorReparsePointEncountered},
        {orvane, {false, false, 1, kOwnerRunningAccount}, kErrorDirectory},
        {orvane, {true, false, 1, kOwnerOther}, kErrorInvalidOwner},
        {logs, {true, true, 1, kOwnerAdministrators}, kErrorReparsePointEncountered},
        {logs, {false, false, 1, kOwnerSystem}, kErrorDirectory},
        {logs, {true, false, 1, kOwnerOther}, kErrorInvalidOwner},
        {orvane, {true, false, 1, kOwnerSystem}, 0},
        {orvane, {true, false, 1, kOwnerAdministrators}, 0},
        {logs, {true, false, 1, kOwnerTrustedInstaller}, 0},
        {logs, {true, false, 1, kOwnerRunningAccount}, 0},
    };
    const auto noteFor = [](const std::string& folder, int code) {
        const std::string number = std::to_string(code);
        return "Could not create '" + folder + "' code(" + number + ") 'text of " + number + "'\n";
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder + " refused with " + std::to_string(row.refusal));
        FakeLogHost found{logFile};
        found.successCode = kErrorAlreadyExists;
        found.found[row.folder] = row.facts;
        SetupLog log = openSetupLog(found);
        ASSERT_NE(log, nullptr);
        if (row.refusal == 0) {
            EXPECT_EQ(closeAndRead(log), "");
            EXPECT_THAT(found.openedPaths, ElementsAre(logs + "\\QuillbeckSetup.log"));
            continue;
        }
        EXPECT_EQ(closeAndRead(log), noteFor(row.folder, row.refusal));
        EXPECT_EQ(found.createdFolders.back(), row.folder);  // nothing tried after it
        EXPECT_THAT(found.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
    }

    // A folder that cannot be examined is not trusted either.
    host.successCode = kErrorAlreadyExists;
    host.inspectError = 5;
    EXPECT_EQ(closeAndRead(openSetupLog(host)), noteFor(orvane, 5));
}

TEST_F(SetupLogTest, FoldersItMakesAreProtectedAndNotExaminedAgain) {
    closeSetupLog(openSetupLog(host));
    EXPECT_THAT(host.securities, ElementsAre(kLogFolderSecurity, kLogFolderSecurity));
    EXPECT_TRUE(host.inspected.empty());

    // Not inherited; full control for the system, the administrators and the owner; the
    // Users group may read and list but add, change or delete nothing; nobody else.
    const std::string security = kLogFolderSecurity;
    ASSERT_EQ(security.rfind("D:P(", 0), 0u) << security;
    std::set<std::string> trustees;
    for (size_t at = security.find('('); at != std::string::npos; at = security.find('(', at + 1)) {
        const std::string ace = security.substr(at + 1, security.find(')', at) - at - 1);
        const size_t rightsAt = ace.find(';', ace.find(';') + 1) + 1;
        const std::string rights = ace.substr(rightsAt, ace.find(';', rightsAt) - rightsAt);
        const std::string trustee = ace.substr(ace.rfind(';') + 1);
        trustees.insert(trustee);
        EXPECT_EQ(ace.substr(0, 7), "A;OICI;") << ace;
        if (trustee != "BU") {
            EXPECT_EQ(rights, "FA") << ace;
            continue;
        }
        const unsigned long mask = std::stoul(rights, nullptr, 16);
        EXPECT_EQ(mask & 0x21u, 0x21u) << "list and traverse: " << ace;
        // Add file, add folder, write extended attributes, delete child, write
        // attributes, delete, change permissions, take ownership, generic write or all.
        EXPECT_EQ(mask & 0x500d0156u, 0u) << ace;
    }
    EXPECT_EQ(trustees, (std::set<std::string>{"SY", "BA", "OW", "BU"}));
}

TEST_F(SetupLogTest, LogFileThatIsALinkOrHasAnotherNameIsLeftUntouched) {
    const std::string inLogs = "C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log";
    const std::string fallback = "C:\\QuillbeckSetup.log";
    const std::filesystem::path victim = temp.path() / "victim";
    const std::filesystem::path fallbackVictim = temp.path() / "fallback victim";
    struct Row {
        PathFacts inLogs;
        PathFacts atFallback;
        bool chainFails;
        std::string expected;  // the log; none when empty
    };
    const PathFacts plain;
    const PathFacts link{false, true, 1, kOwnerOther};
    const PathFacts hardLink{false, false, 2, kOwnerOther};
    const Row rows[] = {
        {link, plain, false,
         "Could not create '" + inLogs + "' code(4395) 'text of 4395'\nQuillbeck Setup\n"},
        {hardLink, plain, false,
         "Could not create '" + inLogs + "' code(1142) 'text of 1142'\nQuillbeck Setup\n"},
        {link, hardLink, false, ""},
        {plain, link, true, ""},
    };
    for (const Row& row : rows) {
        FakeLogHost linked{logFile};
        writeFile(victim, "victim bytes");
        writeFile(fallbackVictim, "fallback victim bytes");
        writeFile(logFile, "earlier log");
        linked.logFiles = {{inLogs, row.inLogs}, {fallback, row.atFallback}};
        // What a refused path leads to is a victim; a fallback that is used is logFile.
        linked.realFiles[inLogs] = victim;
        if (row.expected.empty()) {
            linked.realFiles[fallback] = fallbackVictim;
        }
        if (row.chainFails) {
            linked.failingFolders = {"C:\\ProgramData\\Orvane"};
        }
        SetupLog log = openSetupLog(linked);
        logMessage(log, "Quillbeck Setup\n");
        closeSetupLog(log);
        EXPECT_EQ(log == nullptr, row.expected.empty());
        EXPECT_EQ(readFile(victim), "victim bytes");
        EXPECT_EQ(readFile(fallbackVictim), "fallback victim bytes");
        EXPECT_EQ(readFile(logFile), row.expected.empty() ? "earlier log" : row.expected);
        EXPECT_EQ(linked.openedPaths.back(), fallback);
    }
}

TEST_F(SetupLogTest, LogThatCannotBeOpenedInLogsMeansNoLogAsBefore) {
    // Held by another process: no fallback, nothing written anywhere.
    host.openFails = true;
    EXPECT_EQ(openSetupLog(host), nullptr);
    EXPECT_THAT(host.openedPaths, ElementsAre("C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log"));
}

TEST_F(SetupLogTest, MessagesAreWrittenAsFormattedAndNothingIsAdded) {
    SetupLog log = openSetupLog(host);
    ASSERT_NE(log, nullptr);
    logMessage(log, "%s failed with error %d", "x", -2);
    logMessage(log, "|%s|\n", "100% %s %n");
    EXPECT_EQ(closeAndRead(log), "x failed with error -2|100% %s %n|\n");
}

}  // namespace
