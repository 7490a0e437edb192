#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "error_codes.h"
#include "fakes.h"
#include "std_file_system.h"
#include "tree_copy.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class TreeCopyTest : public ::testing::Test {
  protected:
    TempDir temp;
    fs::path source = temp.path() / "package";
    fs::path destination = temp.path() / "Scripts";
    StdFileSystem real;
    FaultyFileSystem faulty{real};
    CopyFailure failure;

    int copy(const fs::path& from, const fs::path& to) {
        return copyTree(faulty, from.string(), to.string(), failure);
    }
};

TEST_F(TreeCopyTest, MergesNestedTreeReplacingFilesAndKeepingTheRest) {
    writeFile(source / "install.cmd", "new script");
    writeFile(source / "a" / "b" / "c" / "deep.txt", "deep");
    writeFile(source / "a" / "shared.txt", "new shared");
    fs::create_directories(source / "empty");
    writeFile(destination / "install.cmd", "old script, longer than the new one");
    writeFile(destination / "a" / "shared.txt", "old");
    writeFile(destination / "a" / "mine.txt", "keep");
    writeFile(destination / "other.txt", "keep too");

    ASSERT_EQ(copy(source, destination), 0) << failure.description;

    EXPECT_EQ(readFile(destination / "install.cmd"), "new script");
    EXPECT_EQ(readFile(destination / "a" / "b" / "c" / "deep.txt"), "deep");
    EXPECT_EQ(readFile(destination / "a" / "shared.txt"), "new shared");
    EXPECT_EQ(readFile(destination / "a" / "mine.txt"), "keep");
    EXPECT_EQ(readFile(destination / "other.txt"), "keep too");
    EXPECT_TRUE(fs::is_directory(destination / "empty"));
    EXPECT_EQ(failure.code, 0);
}

TEST_F(TreeCopyTest, CreatesOnlyTheLastComponentOfTheDestination) {
    writeFile(source / "install.cmd", "x");
    ASSERT_EQ(copy(source, destination), 0);
    EXPECT_EQ(readFile(destination / "install.cmd"), "x");

    const fs::path orphan = temp.path() / "missing" / "Scripts";
    EXPECT_EQ(copy(source, orphan), ENOENT);
    EXPECT_EQ(failure.description, "create directory " + orphan.string());
    EXPECT_FALSE(fs::exists(temp.path() / "missing"));

    // EPERM is 1, the lowest error value: no value may pass for success.
    faulty.uncreatable = "Denied";
    faulty.createError = EPERM;
    EXPECT_EQ(copy(source, temp.path() / "Denied"), EPERM);
    EXPECT_EQ(failure.description, "create directory " + (temp.path() / "Denied").string());
}

TEST_F(TreeCopyTest, PathThatCannotBeResolvedOrExaminedFailsWithTheRealCauseAndCopiesNothing) {
    writeFile(source / "install.cmd", "x");
    const fs::path single = temp.path() / "single.cmd";
    writeFile(single, "x");
    // An existing destination folder that cannot be examined, access denied say, could
    // still be a file: nothing is copied into it.
    const fs::path existing = temp.path() / "Existing";
    fs::create_directories(existing);
    const fs::path nope = temp.path() / "nope";
    const struct {
        fs::path from;
        fs::path to;
        const char* unexaminable;
        int code;
        std::string description;
    } cases[] = {
        {nope, destination, "", ENOENT, "examine source " + nope.string()},
        {"", destination, "", ENOENT, "resolve source "},
        {source, "", "", ENOENT, "resolve destination "},
        {source, existing, "Existing", EACCES, "examine " + existing.string()},
        {single, existing, "Existing", EACCES, "examine destination " + existing.string()},
    };
    for (const auto& c : cases) {
        faulty.unexaminable = c.unexaminable;
        faulty.examineError = EACCES;
        EXPECT_EQ(copy(c.from, c.to), c.code) << c.description;
        EXPECT_EQ(failure.code, c.code);
        EXPECT_EQ(failure.message, "message " + std::to_string(c.code));
        EXPECT_EQ(failure.description, c.description);
        EXPECT_TRUE(faulty.copied.empty()) << c.description;
        EXPECT_FALSE(fs::exists(destination)) << c.description;
        EXPECT_TRUE(fs::is_empty(existing)) << c.description;
    }
}

TEST_F(TreeCopyTest, SameDirectoryUnderAnotherSpellingIsRefused) {
    writeFile(destination / "install.cmd", "x");
    EXPECT_EQ(copy(destination / "." / "", destination), kErrorInvalidParameter);
    EXPECT_THAT(failure.description, HasSubstr("same directory"));
    EXPECT_TRUE(faulty.copied.empty());
}

TEST_F(TreeCopyTest, DestinationInsideSourceIsRefusedBeforeAnythingIsWritten) {
    // The destination two levels down and not there yet, the source's first entry a
    // file: nothing may be created or copied.
    const fs::path outer = temp.path() / "Windows";
    const fs::path inner = outer / "Setup" / "Scripts";
    writeFile(outer / "a.txt", "x");
    fs::create_directories(outer / "Setup");
    EXPECT_EQ(copy(outer, inner), kErrorInvalidParameter);
    EXPECT_EQ(failure.description,
              "destination " + inner.string() + " lies inside source " + outer.string());
    EXPECT_TRUE(faulty.copied.empty());
    EXPECT_TRUE(faulty.created.empty());
    EXPECT_FALSE(fs::exists(inner));
}

TEST_F(TreeCopyTest, LinkIntoTheDestinationIsStillCaughtDuringTheWalk) {
    writeFile(source / "install.cmd", "x");
    fs::create_directories(destination);
    fs::create_directory_symlink(destination, source / "into");
    EXPECT_EQ(copy(source, destination), kErrorInvalidParameter);
    EXPECT_THAT(failure.description, HasSubstr("lies inside source"));
    EXPECT_FALSE(fs::exists(destination / "into"));
}

TEST_F(TreeCopyTest, UnreadableIdentityWhereACheckNeedsItFailsClosed) {
    writeFile(source / "install.cmd", "x");
    writeFile(source / "sub" / "inner.txt", "x");
    faulty.identifyError = EPERM;  // 1, the lowest error value

    faulty.unidentifiable = "sub";
    EXPECT_EQ(copy(source, destination), EPERM);
    EXPECT_EQ(failure.description, "read the identity of " + source.string() + "\\sub");
    EXPECT_FALSE(fs::exists(destination / "sub"));

    // The destination: copying on could mean copying it into itself.
    faulty.unidentifiable = "Scripts";
    fs::remove_all(destination);
    faulty.copied.clear();
    EXPECT_EQ(copy(source, destination), EPERM);
    EXPECT_EQ(failure.description, "read the identity of " + destination.string());
    EXPECT_TRUE(faulty.copied.empty());

    // The source, and a folder above the destination.
    faulty.unidentifiable = "package";
    EXPECT_EQ(copy(source, destination), EPERM);
    faulty.unidentifiable = temp.path().filename().string();
    EXPECT_EQ(copy(source, destination), EPERM);
    EXPECT_EQ(failure.description, "read the identity of " + temp.path().string());
    EXPECT_TRUE(faulty.copied.empty());

    // The file a single-file copy would replace: it could be the source itself.
    const fs::path target = temp.path() / "target.cmd";
    writeFile(target, "old");
    faulty.unidentifiable = "target.cmd";
    EXPECT_EQ(copy(source / "install.cmd", target), EPERM);
    EXPECT_EQ(failure.description, "read the identity of " + target.string());
    EXPECT_EQ(readFile(target), "old");
}

TEST_F(TreeCopyTest, LinkCycleFailsNamingTheLoopWhileOtherLinksAreFollowed) {
    writeFile(source / "install.cmd", "x");
    writeFile(temp.path() / "shared" / "lib.txt", "shared");
    // Two links to one folder outside the package form no cycle: both are copied.
    fs::create_directory_symlink(temp.path() / "shared", source / "one");
    fs::create_directories(source / "deeper");
    fs::create_directory_symlink(temp.path() / "shared", source / "deeper" / "two");
    ASSERT_EQ(copy(source, destination), 0) << failure.description;
    EXPECT_EQ(readFile(destination / "one" / "lib.txt"), "shared");
    EXPECT_EQ(readFile(destination / "deeper" / "two" / "lib.txt"), "shared");

    fs::create_directories(source / "sub");
    fs::create_directory_symlink("..", source / "sub" / "loop");
    EXPECT_EQ(copy(source, destination), kErrorInvalidParameter);
    EXPECT_EQ(failure.description, "directory loop: " + source.string() + "\\sub\\loop is " +
                                       source.string() + " again");
    EXPECT_FALSE(fs::exists(destination / "sub" / "loop"));
}

TEST_F(TreeCopyTest, FoldersWhoseIndexesCollideAreTwoWhileALoopIsStillOne) {
    faulty.collidingIndexes = true;
    writeFile(source / "install.cmd", "x");
    writeFile(source / "a" / "b" / "deep.txt", "deep");
    fs::create_directories(destination);
    ASSERT_EQ(copy(source, destination), 0) << failure.description;
    EXPECT_EQ(readFile(destination / "a" / "b" / "deep.txt"), "deep");

    fs::create_directory_symlink("..", source / "a" / "loop");
    EXPECT_EQ(copy(source, destination), kErrorInvalidParameter);
    EXPECT_EQ(failure.description,
              "directory loop: " + source.string() + "\\a\\loop is " + source.string() + " again");
}

TEST_F(TreeCopyTest, OnlyTheGivenRootsAreResolvedAndListedNamesStayAsTheyAre) {
    for (const char* name : {"dup", "dup.", "sp", "sp ", "d/one.txt", "d./two.txt"}) {
        writeFile(source / name, name);
    }
    ASSERT_EQ(copy(source, destination), 0) << failure.description;
    EXPECT_THAT(faulty.resolved, ::testing::ElementsAre(source.string(), destination.string()));
    for (const char* name : {"dup", "dup.", "sp", "sp ", "d/one.txt", "d./two.txt"}) {
        EXPECT_EQ(readFile(destination / name), name);
    }
    EXPECT_EQ(faulty.copied.size(), 6u);
}

TEST_F(TreeCopyTest, NamesInEveryScriptStageEntryForEntry) {
    // CJK, an emoji (a surrogate pair on Windows), Cyrillic and Greek, in files and folders,
    // below a source folder whose own name has them too.
    const fs::path named = temp.path() / "\xD0\xBF\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x82\xF0\x9F\x98\x80";
    const char* const names[] = {
        "fonts/\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91.ttf",
        "\xF0\x9F\x98\x80.txt",
        "\xD0\x9A\xD0\xB8\xD1\x80/\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt",
        "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1/\xF0\x9F\x98\x80/\xCE\xAD\xCE\xBD\xCE\xB1.txt",
    };
    for (const char* name : names) {
        writeFile(named / name, name);
    }
    ASSERT_EQ(copy(named, destination), 0) << failure.description;
    for (const char* name : names) {
        EXPECT_EQ(readFile(destination / name), name);
    }
    EXPECT_EQ(faulty.copied.size(), 4u);
}

TEST_F(TreeCopyTest, EachFileCopyIsToldTheAttributesItsListingGave) {
    const std::pair<const char*, fs::perms> files[] = {
        {"install.cmd", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read},
        {"sub/locked.txt", fs::perms::owner_read},
        {"sub/deeper/mine.txt", fs::perms::owner_read | fs::perms::owner_write},
    };
    for (const auto& file : files) {
        writeFile(source / file.first, file.first);
        fs::permissions(source / file.first, file.second);
    }
    ASSERT_EQ(copy(source, destination), 0) << failure.description;
    ASSERT_EQ(faulty.listedAttributes.size(), 3u);
    for (size_t i = 0; i < faulty.copied.size(); ++i) {
        const auto* file = std::find_if(std::begin(files), std::end(files), [&](const auto& f) {
            return lastComponent(f.first) == faulty.copied[i];
        });
        ASSERT_NE(file, std::end(files)) << faulty.copied[i];
        EXPECT_EQ(faulty.listedAttributes[i], static_cast<EntryAttributes>(file->second))
            << file->first;
    }

    // A single file has no listing to take them from: its copy asks for them itself.
    fs::remove_all(destination);
    fs::create_directories(destination);
    ASSERT_EQ(copy(source / "install.cmd", destination), 0) << failure.description;
    EXPECT_EQ(faulty.listedAttributes.back(), kAttributesUnlisted);
}

TEST(PathRulesTest, ParentsStopAtEachKindOfRoot) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\?\\C:\\Windows\\Setup\\Scripts", "\\\\?\\C:\\Windows\\Setup"},
        {"\\\\?\\C:\\Windows", "\\\\?\\C:\\"},
        {"\\\\?\\C:\\", ""},
        {"C:\\pkg\\", "C:\\"},
        {"C:\\", ""},
        {"\\\\?\\UNC\\server\\share\\pkg", "\\\\?\\UNC\\server\\share\\"},
        {"\\\\?\\UNC\\server\\share\\", ""},
        {"\\\\server\\share\\a\\b", "\\\\server\\share\\a"},
        {"\\\\server\\share", ""},
        // A drive with no separator after it is still the root; a bare name has no folder.
        {"C:pkg", "C:"},
        {"\\\\?\\C:pkg", "\\\\?\\C:"},
        {"\\\\?\\C:", ""},
        {"pkg", ""},
        {"", ""},
        {"\\\\?\\Volume{1}\\pkg", "\\\\?\\Volume{1}\\"},
        {"/tmp/x", "/tmp"},
        {"/tmp", "/"},
        {"/", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parentPath(c.first), c.second) << c.first;
    }
    EXPECT_EQ(joinPath("C:\\pkg", "sub"), "C:\\pkg\\sub");
    EXPECT_EQ(joinPath("\\\\?\\C:\\", "pkg"), "\\\\?\\C:\\pkg");
    EXPECT_EQ(shownPath("\\\\?\\C:\\pkg"), "C:\\pkg");
    EXPECT_EQ(shownPath("\\\\?\\UNC\\server\\share"), "\\\\server\\share");
}

TEST_F(TreeCopyTest, FileInTheWayOfADirectoryFails) {
    writeFile(source / "sub" / "x.txt", "x");
    writeFile(destination / "sub", "a file, not a folder");
    EXPECT_EQ(copy(source, destination), kErrorAlreadyExists);
    EXPECT_EQ(failure.description,
              "a file is in the way of directory " + destination.string() + "\\sub");
    EXPECT_EQ(readFile(destination / "sub"), "a file, not a folder");

    writeFile(temp.path() / "flat", "file");
    EXPECT_EQ(copy(source, temp.path() / "flat"), kErrorAlreadyExists);
}

TEST_F(TreeCopyTest, SingleFileGoesIntoAnExistingFolderOrBecomesTheDestination) {
    const fs::path file = temp.path() / "install.cmd";
    writeFile(file, "single");
    fs::create_directories(destination);
    ASSERT_EQ(copy(file, destination), 0);
    EXPECT_EQ(readFile(destination / "install.cmd"), "single");

    const fs::path missing = temp.path() / "NoScripts";
    ASSERT_EQ(copy(file, missing), 0);
    EXPECT_TRUE(fs::is_regular_file(missing));
    EXPECT_EQ(readFile(missing), "single");

    // A file already there that is another file is replaced.
    writeFile(file, "newer");
    ASSERT_EQ(copy(file, destination), 0) << failure.description;
    EXPECT_EQ(readFile(destination / "install.cmd"), "newer");

    EXPECT_EQ(copy(file, temp.path()), kErrorInvalidParameter);
    EXPECT_THAT(failure.description, HasSubstr("same file"));
}

TEST_F(TreeCopyTest, UnlistableDirectoryAnywhereFailsTheCopy) {
    writeFile(source / "install.cmd", "x");
    writeFile(source / "sub" / "inner.txt", "x");
    faulty.unlistable = "sub";
    faulty.listError = EACCES;
    EXPECT_EQ(copy(source, destination), EACCES);
    EXPECT_EQ(failure.description, "list directory " + source.string() + "\\sub");
    EXPECT_EQ(failure.message, "message " + std::to_string(EACCES));
    EXPECT_FALSE(fs::exists(destination / "sub" / "inner.txt"));

    // The package folder itself: the destination folder is made, then the copy fails
    // instead of staging an empty package. EPERM is 1, the lowest error value.
    faulty.unlistable = "package";
    faulty.listError = EPERM;
    fs::remove_all(destination);
    EXPECT_EQ(copy(source, destination), EPERM);
    EXPECT_TRUE(fs::is_directory(destination));
    EXPECT_TRUE(fs::is_empty(destination));
}

TEST_F(TreeCopyTest, FirstFailingFileCopyStopsEverything) {
    writeFile(source / "a" / "one.txt", "1");
    writeFile(source / "b" / "two.txt", "2");
    writeFile(source / "c" / "three.txt", "3");
    faulty.uncopyable = "two.txt";
    faulty.copyError = EPERM;  // 1, the lowest error value
    EXPECT_EQ(copy(source, destination), EPERM);
    EXPECT_EQ(failure.description, "copy file " + source.string() + "\\b\\two.txt to " +
                                       destination.string() + "\\b\\two.txt");
    ASSERT_FALSE(faulty.copied.empty());
    EXPECT_EQ(faulty.copied.back(), "two.txt");

    // A single file the same way.
    const fs::path single = source / "b" / "two.txt";
    EXPECT_EQ(copy(single, destination), EPERM);
    EXPECT_EQ(failure.description,
              "copy file " + single.string() + " to " + destination.string() + "\\two.txt");
}

}  // namespace
