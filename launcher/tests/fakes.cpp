#include "fakes.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

#include "error_codes.h"
#include "shown_text.h"
#include "tree_copy.h"

namespace fs = std::filesystem;

int FaultyFileSystem::examine(const std::string& path, EntryKind& kind) {
    return real_.examine(path, kind);
}

int FaultyFileSystem::resolve(const std::string& path, std::string& out) {
    resolved.push_back(path);
    return real_.resolve(path, out);
}

int FaultyFileSystem::identify(const std::string& path, EntryId& id) {
    if (!unidentifiable.empty() && lastComponent(path) == unidentifiable) {
        return identifyError;
    }
    const int code = real_.identify(path, id);
    if (collidingIndexes) {
        id.indexHigh = id.index;
        id.index = 42;
    }
    return code;
}

int FaultyFileSystem::listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
    if (!unlistable.empty() && lastComponent(path) == unlistable) {
        entries.clear();
        return listError;
    }
    return real_.listDirectory(path, entries);
}

int FaultyFileSystem::createDirectory(const std::string& path) {
    created.push_back(path);
    return real_.createDirectory(path);
}

int FaultyFileSystem::copyFile(const std::string& from, const std::string& to,
                               EntryAttributes listed) {
    copied.push_back(lastComponent(from));
    listedAttributes.push_back(listed);
    if (!uncopyable.empty() && lastComponent(from) == uncopyable) {
        return copyError;
    }
    return real_.copyFile(from, to, listed);
}

std::string FaultyFileSystem::errorMessage(int code) {
    return "message " + std::to_string(code);
}

int FakeLogHost::programDataFolder(std::string& out) {
    out = folder;
    return folderResult;
}

int FakeLogHost::createDirectory(const std::string& path, const std::string& security) {
    createdFolders.push_back(path);
    securities.push_back(security);
    return failingFolders.count(path) != 0 ? createError : successCode;
}

int FakeLogHost::inspect(const std::string& path, PathFacts& facts) {
    inspected.push_back(path);
    const auto it = found.find(path);
    facts = it != found.end() ? it->second : PathFacts{true, false, 1, kOwnerRunningAccount};
    return inspectError;
}

std::string FakeLogHost::errorMessage(int code) {
    return "text of " + std::to_string(code);
}

int FakeLogHost::openUnchanged(const std::string& path, std::FILE*& file, PathFacts& facts) {
    openedPaths.push_back(path);
    file = nullptr;
    if (openFails) {
        return 32;
    }
    const auto it = logFiles.find(path);
    facts = it != logFiles.end() ? it->second : PathFacts{};
    const auto real = realFiles.find(path);
    // Appending creates a missing file and leaves an existing one as it is.
    file = std::fopen((real != realFiles.end() ? real->second : logFile_).c_str(), "a");
    return file != nullptr ? 0 : errno;
}

int FakeLogHost::truncateUnwritten(std::FILE* file) {
    return ftruncate(fileno(file), 0) == 0 ? 0 : errno;
}

namespace {

int asciiOnly(const std::wstring& units, std::string& narrow) {
    narrow.clear();
    for (const wchar_t unit : units) {
        if (unit >= 0x80) {
            return kErrorNoUnicodeTranslation;
        }
        narrow += static_cast<char>(unit);
    }
    return 0;
}

}  // namespace

std::string FakeLogHost::logText(const std::string& text) {
    return shownInCodePage(text, asciiOnly);
}

bool FakeShell::startScript(const std::string& path, int& lastError) {
    started.push_back(path);
    lastError = error;
    return succeeds;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quillbeck-test.XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
