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
        host.events.clear();
        SetupLog log = openSetupLog(host);
        ASSERT_NE(log, nullptr);
        logMessage(log, "Quillbeck Setup\n");
        EXPECT_EQ(closeAndRead(log), "Quillbeck Setup\n");
        EXPECT_THAT(host.createdFolders,
                    ElementsAre("C:\\ProgramData\\Orvane", "C:\\ProgramData\\Orvane\\Logs"));
        EXPECT_THAT(host.openedPaths,
                    ElementsAre("C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log"));
        // Made or found, each folder is held from its check until the log file is open.
        EXPECT_THAT(
            host.events,
            ElementsAre("hold C:\\ProgramData\\Orvane", "hold C:\\ProgramData\\Orvane\\Logs",
                        "open C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log",
                        "stream C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log",
                        "close C:\\ProgramData\\Orvane\\Logs", "close C:\\ProgramData\\Orvane"));
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
    EXPECT_TRUE(host.events.empty());
}

TEST_F(SetupLogTest, UnopenableFallbackDropsNoteAndWritesNothing) {
    // The log in Logs could be opened (it is logFile); only the fallback cannot.
    host.failingFolders = {"C:\\ProgramData\\Orvane"};
    host.unopenable = {"C:\\QuillbeckSetup.log"};
    SetupLog log = openSetupLog(host);
    EXPECT_EQ(log, nullptr);
    EXPECT_THAT(host.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
    logMessage(log, "dropped %d\n", 1);
    closeSetupLog(log);
    EXPECT_FALSE(std::filesystem::exists(logFile));
}

std::string noteLine(const std::string& path, int code) {
    const std::string number = std::to_string(code);
    return "Could not create '" + path + "' code(" + number + ") 'text of " + number + "'\n";
}

TEST_F(SetupLogTest, FolderMadeOrFoundIsUsedOnlyWhenARealDirectoryWithATrustedOwnerWhereItSays) {
    const std::string orvane = "C:\\ProgramData\\Orvane";
    const std::string logs = orvane + "\\Logs";
    struct Row {
        std::string folder;
        PathFacts facts;
        std::string landsAt;  // its final path; where its path says when empty
        int refusal;          // 0: used
    };
    const Row rows[] = {
        {orvane, {true, true, 1, kOwnerSystem}, "", kErrorReparsePointEncountered},
        {orvane, {false, false, 1, kOwnerRunningAccount}, "", kErrorDirectory},
        {orvane, {true, false, 1, kOwnerOther}, "", kErrorInvalidOwner},
        {orvane,
         {true, false, 1, kOwnerSystem},
         "\\\\?\\C:\\Users\\u\\Orvane",
         kErrorReparsePointEncountered},
        {logs, {true, true, 1, kOwnerAdministrators}, "", kErrorReparsePointEncountered},
        {logs, {false, false, 1, kOwnerSystem}, "", kErrorDirectory},
        {logs, {true, false, 1, kOwnerOther}, "", kErrorInvalidOwner},
        {logs,
         {true, false, 1, kOwnerSystem},
         "\\\\?\\C:\\Windows\\System32",
         kErrorReparsePointEncountered},
        {orvane, {true, false, 1, kOwnerSystem}, "", 0},
        {orvane, {true, false, 1, kOwnerAdministrators}, "\\\\?\\c:\\PROGRAMDATA\\orvane", 0},
        {logs, {true, false, 1, kOwnerTrustedInstaller}, "", 0},
        {logs, {true, false, 1, kOwnerRunningAccount}, "", 0},
    };
    // A folder made a moment ago may have been swapped before it was opened: it is checked
    // like one found.
    for (const int made : {kErrorAlreadyExists, 0}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.folder + (made == 0 ? " made" : " found") + ", refused with " +
                         std::to_string(row.refusal));
            FakeLogHost held{logFile};
            held.successCode = made;
            held.found[row.folder] = row.facts;
            if (!row.landsAt.empty()) {
                held.finalPaths[row.folder] = row.landsAt;
            }
            SetupLog log = openSetupLog(held);
            ASSERT_NE(log, nullptr);
            if (row.refusal == 0) {
                EXPECT_EQ(closeAndRead(log), "");
                EXPECT_THAT(held.openedPaths, ElementsAre(logs + "\\QuillbeckSetup.log"));
                continue;
            }
            EXPECT_EQ(closeAndRead(log), noteLine(row.folder, row.refusal));
            EXPECT_EQ(held.createdFolders.back(), row.folder);  // nothing tried after it
            EXPECT_THAT(held.openedPaths, ElementsAre("C:\\QuillbeckSetup.log"));
        }
    }

    // Each folder is checked against where its parent really is, from the program-data
    // folder's own final path on.
    FakeLogHost moved{logFile};
    moved.finalPaths = {
        {"C:\\ProgramData", "\\\\?\\D:\\Data"},
        {orvane, "\\\\?\\D:\\Data\\Orvane"},
        {logs, "\\\\?\\D:\\DATA\\Orvane\\logs"},
        {logs + "\\QuillbeckSetup.log", "\\\\?\\D:\\Data\\Orvane\\Logs\\QuillbeckSetup.LOG"}};
    EXPECT_EQ(closeAndRead(openSetupLog(moved)), "");
    EXPECT_THAT(moved.openedPaths, ElementsAre(logs + "\\QuillbeckSetup.log"));

    // A folder that cannot be held, or a program-data folder whose final path cannot be
    // asked, is not trusted either; then nothing is made.
    host.holdError = 5;
    EXPECT_EQ(closeAndRead(openSetupLog(host)), noteLine(orvane, 5));
    FakeLogHost unasked{logFile};
    unasked.finalPathFails = {"C:\\ProgramData"};
    EXPECT_EQ(closeAndRead(openSetupLog(unasked)), noteLine(orvane, 5));
    EXPECT_TRUE(unasked.createdFolders.empty());
}

TEST_F(SetupLogTest, FoldersItMakesAreAskedForTheirOwnProtection) {
    closeSetupLog(openSetupLog(host));
    EXPECT_THAT(host.securities, ElementsAre(kLogFolderSecurity, kLogFolderSecurity));

    // Not inherited; full control for the system, the administrators and the owner; the
    // Users group may read and list but add, change or delete nothing; nobody else. What
    // a folder really gets is read back under Wine where it keeps security descriptors.
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

// The log file as the open finds it, in Logs or at the fallback.
struct LogSide {
    PathFacts facts;
    bool exists;          // an earlier file is there; otherwise the open makes it
    std::string landsAt;  // its final path; where its path says when empty
    int emptyError;
};

TEST_F(SetupLogTest, LogFileIsWrittenOnlyWhenOursAloneAndWhereItsPathSays) {
    const std::string inLogs = "C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log";
    const std::string fallback = "C:\\QuillbeckSetup.log";
    const std::string orvane = "C:\\ProgramData\\Orvane";
    const PathFacts plain{false, false, 1, kOwnerAdministrators};
    const PathFacts link{false, true, 1, kOwnerAdministrators};
    const PathFacts hardLink{false, false, 2, kOwnerSystem};
    const PathFacts othersFile{false, false, 1, kOwnerOther};
    const std::string victim = "\\\\?\\C:\\Windows\\System32\\victim.dll";
    enum Used { kNoLog, kLogsLog, kFallbackLog };
    struct Row {
        const char* what;
        LogSide inLogs;
        LogSide atFallback;
        Used used;
        std::string note;  // the fallback log's first line
        bool chainFails;
        std::string rootLandsAt;  // the final path of C:'s root, when not "\\?\C:\"
    };
    // An earlier file, or one the open makes; where its path says, or elsewhere.
    const auto found = [](PathFacts facts) { return LogSide{facts, true, "", 0}; };
    const auto made = [](PathFacts facts) { return LogSide{facts, false, "", 0}; };
    const auto reached = [](bool exists, const std::string& landsAt) {
        return LogSide{{false, false, 1, kOwnerSystem}, exists, landsAt, 0};
    };
    const LogSide unemptiable{plain, true, "", 1224};
    const Row rows[] = {
        {"a link", found(link), found(plain), kFallbackLog, noteLine(inLogs, 4395), false, ""},
        {"a hard link", found(hardLink), found(plain), kFallbackLog, noteLine(inLogs, 1142), false,
         ""},
        {"an existing file reached elsewhere", reached(true, victim), found(plain), kFallbackLog,
         noteLine(inLogs, 4395), false, ""},
        {"a file made elsewhere", reached(false, victim), made(plain), kFallbackLog,
         noteLine(inLogs, 4395), false, ""},
        {"someone else's file", found(othersFile), found(plain), kFallbackLog,
         noteLine(inLogs, 1307), false, ""},
        {"a file this run made", made(othersFile), found(plain), kLogsLog, "", false, ""},
        {"a file that cannot be emptied", unemptiable, found(plain), kFallbackLog,
         noteLine(inLogs, 1224), false, ""},
        {"both links", found(link), found(hardLink), kNoLog, "", false, ""},
        {"the fallback made elsewhere", found(link), reached(false, victim), kNoLog, "", false, ""},
        {"the fallback reached elsewhere", found(plain), reached(true, victim), kNoLog, "", true,
         ""},
        {"someone else's fallback", found(plain), found(othersFile), kNoLog, "", true, ""},
        {"a fallback that cannot be emptied", found(plain), unemptiable, kNoLog, "", true, ""},
        {"a fallback checked against its root", found(plain),
         reached(true, "\\\\?\\E:\\QuillbeckSetup.log"), kFallbackLog, noteLine(orvane, 5), true,
         "\\\\?\\E:\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeLogHost opened{logFile};
        std::filesystem::remove(logFile);
        const struct {
            const std::string& path;
            const LogSide& side;
            bool used;
            std::filesystem::path file;
        } sides[] = {
            {inLogs, row.inLogs, row.used == kLogsLog, temp.path() / "in logs"},
            {fallback, row.atFallback, row.used == kFallbackLog, temp.path() / "at fallback"},
        };
        for (const auto& side : sides) {
            const std::filesystem::path file = side.used ? logFile : side.file;
            std::filesystem::remove(file);
            if (side.side.exists) {
                writeFile(file, "earlier bytes");
            }
            opened.realFiles[side.path] = file;
            opened.logFiles[side.path] = side.side.facts;
            if (!side.side.landsAt.empty()) {
                opened.finalPaths[side.path] = side.side.landsAt;
            }
            if (side.side.emptyError != 0) {
                opened.emptyErrors[side.path] = side.side.emptyError;
            }
        }
        if (row.chainFails) {
            opened.failingFolders = {orvane};
        }
        if (!row.rootLandsAt.empty()) {
            opened.finalPaths["C:\\"] = row.rootLandsAt;
        }
        SetupLog log = openSetupLog(opened);
        logMessage(log, "Quillbeck Setup\n");
        closeSetupLog(log);
        EXPECT_EQ(log == nullptr, row.used == kNoLog);
        EXPECT_EQ(opened.openedPaths.back(), row.used == kLogsLog ? inLogs : fallback);
        if (row.used != kNoLog) {
            EXPECT_EQ(readFile(logFile), row.note + "Quillbeck Setup\n");
        }
        // Whatever was refused is as it was: an earlier file keeps its bytes, one the open
        // made is gone again.
        for (const auto& side : sides) {
            if (side.used) {
                continue;
            }
            EXPECT_EQ(std::filesystem::exists(side.file), side.side.exists) << side.path;
            if (side.side.exists) {
                EXPECT_EQ(readFile(side.file), "earlier bytes") << side.path;
            }
        }
    }

    // Where the root's final path cannot be asked, the fallback is not opened at all.
    host.failingFolders = {orvane};
    host.finalPathFails = {"C:\\"};
    EXPECT_EQ(openSetupLog(host), nullptr);
    EXPECT_TRUE(host.openedPaths.empty());
}

TEST_F(SetupLogTest, LogThatCannotBeOpenedInLogsMeansNoLogAsBefore) {
    // Held by another process: no fallback, nothing written anywhere.
    host.unopenable = {"C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log"};
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
