#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "error_codes.h"
#include "fakes.h"
#include "launcher_run.h"
#include "std_file_system.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kScript = "C:\\Windows\\Setup\\Scripts\\install.cmd";

class LauncherRunTest : public ::testing::Test {
  protected:
    TempDir temp;
    fs::path drive = temp.path() / "drive_c";
    fs::path scripts = drive / "Windows" / "Setup" / "Scripts";
    fs::path package = temp.path() / "pkg";
    fs::path logFile = temp.path() / "QuillbeckSetup.log";
    StdFileSystem fileSystem{drive};
    FakeLogHost logHost{logFile};
    FakeShell shell;
    LauncherPorts ports{logHost, fileSystem, shell};

    void SetUp() override { fs::create_directories(drive / "Windows" / "Setup"); }

    int run(std::vector<std::string> args, int conversionError = 0) {
        args.insert(args.begin(), "QuillbeckSetup.exe");
        std::vector<const char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        argv.push_back(nullptr);
        return runLauncher(static_cast<int>(args.size()), argv.data(), conversionError, ports);
    }

    // The run must have closed the log: an unclosed stream would still hold its lines.
    std::string log() { return readFile(logFile); }

    std::string head(const std::string& source) {
        return "Quillbeck Setup\n"
               "Unzipped temp directory to '" +
               source +
               "'\n"
               "Preparing to copy temp directory from '" +
               source + "' to 'C:\\Windows\\Setup\\Scripts'\n";
    }
};

TEST_F(LauncherRunTest, TypicalRunStagesPackageAndStartsItsScript) {
    writeFile(package / "install.cmd", "new");
    writeFile(package / "tools" / "tool.exe", "tool");
    writeFile(scripts / "install.cmd", "old");
    writeFile(scripts / "unattend.xml", "keep");

    EXPECT_EQ(run({package.string(), "ignored", "also ignored"}), kExitSuccess);

    EXPECT_EQ(log(), head(package.string()) +
                         "Succeeded in copying temp directory\n"
                         "Preparing to run C:\\Windows\\Setup\\Scripts\\install.cmd\n"
                         "Succeeded in running C:\\Windows\\Setup\\Scripts\\install.cmd\n"
                         "Done!\n");
    EXPECT_THAT(shell.started, ElementsAre(kScript));
    EXPECT_EQ(readFile(scripts / "install.cmd"), "new");
    EXPECT_EQ(readFile(scripts / "tools" / "tool.exe"), "tool");
    EXPECT_EQ(readFile(scripts / "unattend.xml"), "keep");
}

TEST_F(LauncherRunTest, NoArgumentLogsAndClosesWithMinusThree) {
    EXPECT_EQ(run({}), kExitNoSource);
    EXPECT_EQ(log(), "Quillbeck Setup\nExpecting unzip temp directory name!\n");
    EXPECT_THAT(shell.started, IsEmpty());
}

TEST_F(LauncherRunTest, RunGoesOnWhenNeitherLogLiesWhereItsPathSays) {
    writeFile(package / "install.cmd", "new");
    const std::string elsewhere = "\\\\?\\C:\\Windows\\System32\\victim.dll";
    logHost.finalPaths = {{"C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log", elsewhere},
                          {"C:\\QuillbeckSetup.log", elsewhere}};
    EXPECT_EQ(run({package.string()}), kExitSuccess);
    EXPECT_THAT(shell.started, ElementsAre(kScript));
    EXPECT_EQ(readFile(scripts / "install.cmd"), "new");
    EXPECT_FALSE(fs::exists(logFile));  // made by each open, deleted by each refusal
}

TEST_F(LauncherRunTest, CopyFailureReportsTheRealCauseAndLaunchesNothing) {
    const std::string missing = (temp.path() / "gone").string();
    EXPECT_EQ(run({missing}), kExitCopyFailed);
    EXPECT_EQ(log(), head(missing) +
                         "Temp directory copy failed with code:" + std::to_string(ENOENT) + "('" +
                         std::strerror(ENOENT) + "') 'examine source " + missing + "'\n");
    EXPECT_THAT(shell.started, IsEmpty());
    EXPECT_FALSE(fs::exists(scripts));
}

TEST_F(LauncherRunTest, SourceLostInConversionIsACopyFailureEvenWhenTheStandInExists) {
    // An unpaired surrogate arrives as '?', and a folder of that name exists here.
    const std::string standIn = package.string() + "?";
    writeFile(fs::path(standIn) / "install.cmd", "wrong package");
    EXPECT_EQ(run({standIn}, kErrorNoUnicodeTranslation), kExitCopyFailed);
    EXPECT_EQ(log(), head(standIn) + "Temp directory copy failed with code:1113('" +
                         std::strerror(kErrorNoUnicodeTranslation) +
                         "') 'read source path as Unicode text " + standIn + "'\n");
    EXPECT_FALSE(fs::exists(scripts));
    EXPECT_THAT(shell.started, IsEmpty());
}

TEST_F(LauncherRunTest, SourceOutsideTheCodePageIsStagedExactlyAndOnlyShownWithQuestionMarks) {
    // The log host's code page holds only ASCII.
    const fs::path named =
        temp.path() / "\xD0\xBF\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x82 \xF0\x9F\x98\x80";
    const std::string shown = (temp.path() / "????? ?").string();
    writeFile(named / "install.cmd", "x");
    writeFile(named / "\xE5\xBE\xAE\xE8\xBD\xAF.ttf", "font");
    EXPECT_EQ(run({named.string()}), kExitSuccess);
    EXPECT_EQ(log().substr(0, head(shown).size()), head(shown));
    EXPECT_EQ(readFile(scripts / "\xE5\xBE\xAE\xE8\xBD\xAF.ttf"), "font");

    const std::string missing = (temp.path() / "gone \xCE\xB1").string();
    EXPECT_EQ(run({missing}), kExitCopyFailed);
    EXPECT_EQ(log(), head((temp.path() / "gone ?").string()) +
                         "Temp directory copy failed with code:" + std::to_string(ENOENT) + "('" +
                         std::strerror(ENOENT) + "') 'examine source " +
                         (temp.path() / "gone ?").string() + "'\n");
}

TEST_F(LauncherRunTest, SourceEndingInTheBatchFileQuoteStagesTheFolderBeforeIt) {
    writeFile(package / "install.cmd", "x");
    // "C:\pkg\" arrives as C:\pkg", and "C:\pkg\" more as one argument C:\pkg" more.
    for (const std::string& received : {package.string() + "\"", package.string() + "\" more"}) {
        fs::remove_all(scripts);
        EXPECT_EQ(run({received}), kExitSuccess) << received;
        EXPECT_EQ(log().substr(0, head(received).size()), head(received));
        EXPECT_EQ(readFile(scripts / "install.cmd"), "x");
    }
}

TEST_F(LauncherRunTest, MemoryRunningOutInTheCopyIsACopyFailure) {
    struct Exhausted : StdFileSystem {
        using StdFileSystem::StdFileSystem;
        int resolve(const std::string&, std::string&) override { throw std::bad_alloc(); }
    } exhausted{drive};
    LauncherPorts starved{logHost, exhausted, shell};
    writeFile(package / "install.cmd", "x");
    const std::string source = package.string();
    const char* argv[] = {"QuillbeckSetup.exe", source.c_str(), nullptr};
    EXPECT_EQ(runLauncher(2, argv, 0, starved), kExitCopyFailed);
    EXPECT_EQ(log(), head(source) + "Temp directory copy failed with code:8('" +
                         std::strerror(kErrorNotEnoughMemory) + "') 'copy " + source + "'\n");
    EXPECT_THAT(shell.started, IsEmpty());
}

TEST_F(LauncherRunTest, LaunchFailureLogsTheSystemErrorWithMinusFive) {
    writeFile(package / "readme.txt", "no script here");
    shell.succeeds = false;
    shell.error = 2;
    EXPECT_EQ(run({package.string()}), kExitLaunchFailed);
    EXPECT_EQ(log(), head(package.string()) +
                         "Succeeded in copying temp directory\n"
                         "Preparing to run C:\\Windows\\Setup\\Scripts\\install.cmd\n"
                         "C:\\Windows\\Setup\\Scripts\\install.cmd failed with error 2\n"
                         "Done :(\n");
}

TEST_F(LauncherRunTest, WithoutALogTheRunIsTheSameButSilent) {
    logHost.folderResult = -1;
    EXPECT_EQ(run({}), kExitNoSource);
    EXPECT_EQ(run({(temp.path() / "gone").string()}), kExitCopyFailed);
    writeFile(package / "install.cmd", "x");
    EXPECT_EQ(run({package.string()}), kExitSuccess);
    shell.succeeds = false;
    EXPECT_EQ(run({package.string()}), kExitLaunchFailed);
    EXPECT_THAT(shell.started, ElementsAre(kScript, kScript));
    EXPECT_FALSE(fs::exists(logFile));
}

TEST_F(LauncherRunTest, FormatCharactersInTheSourceAreLoggedLiterally) {
    const fs::path odd = temp.path() / "100%s %n %d";
    writeFile(odd / "install.cmd", "x");
    EXPECT_EQ(run({odd.string()}), kExitSuccess);
    EXPECT_EQ(log().substr(0, head(odd.string()).size()), head(odd.string()));
}

}  // namespace
