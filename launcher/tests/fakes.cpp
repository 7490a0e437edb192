#include "fakes.h"

#include <cctype>
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
    if (!unexaminable.empty() && lastComponent(path) == unexaminable) {
        // As the port promises for every failure but a missing path.
        kind = kEntryUnknown;
        return examineError;
    }
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
    if (!uncreatable.empty() && lastComponent(path) == uncreatable) {
        return createError;
    }
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

std::string FakeLogHost::finalPathFor(const std::string& path) const {
    const auto it = finalPaths.find(path);
    return it != finalPaths.end() ? it->second : "\\\\?\\" + path;
}

int FakeLogHost::finalPathOf(const std::string& path, std::string& finalPath) {
    finalPath = finalPathFor(path);
    return finalPathFails.count(path) != 0 ? 5 : 0;
}

int FakeLogHost::createDirectory(const std::string& path, const std::string& security) {
    createdFolders.push_back(path);
    securities.push_back(security);
    return failingFolders.count(path) != 0 ? createError : successCode;
}

void* FakeLogHost::keep(Open open) {
    auto record = std::make_unique<Open>(std::move(open));
    void* handle = record.get();
    opens_[handle] = std::move(record);
    return handle;
}

int FakeLogHost::holdFolder(const std::string& path, HeldEntry& held) {
    events.push_back("hold " + path);
    held = HeldEntry{};
    if (holdError != 0) {
        return holdError;
    }
    const auto it = found.find(path);
    held.facts = it != found.end() ? it->second : PathFacts{true, false, 1, kOwnerRunningAccount};
    held.finalPath = finalPathFor(path);
    held.handle = keep(Open{path, nullptr, {}, false});
    return 0;
}

int FakeLogHost::openLogFile(const std::string& path, HeldEntry& file) {
    events.push_back("open " + path);
    openedPaths.push_back(path);
    file = HeldEntry{};
    if (unopenable.count(path) != 0) {
        return 32;
    }
    const auto it = logFiles.find(path);
    file.facts = it != logFiles.end() ? it->second : PathFacts{false, false, 1, kOwnerSystem};
    file.finalPath = finalPathFor(path);
    const auto real = realFiles.find(path);
    const fs::path realFile = real != realFiles.end() ? real->second : logFile_;
    file.created = !fs::exists(realFile);
    // Appending creates a missing file and leaves an existing one as it is.
    std::FILE* opened = std::fopen(realFile.c_str(), "a");
    if (opened == nullptr) {
        return errno;
    }
    file.handle = keep(Open{path, opened, realFile, false});
    return 0;
}

int FakeLogHost::deleteWhenClosed(HeldEntry& file) {
    Open& open = *opens_.at(file.handle);
    events.push_back("delete " + open.path);
    open.deleteWhenClosed = true;
    return 0;
}

int FakeLogHost::empty(HeldEntry& file) {
    const Open& open = *opens_.at(file.handle);
    const auto it = emptyErrors.find(open.path);
    if (it != emptyErrors.end()) {
        return it->second;
    }
    return ftruncate(fileno(open.file), 0) == 0 ? 0 : errno;
}

int FakeLogHost::streamOf(HeldEntry& file, std::FILE*& stream) {
    const Open& open = *opens_.at(file.handle);
    events.push_back("stream " + open.path);
    stream = open.file;
    opens_.erase(file.handle);
    file.handle = nullptr;
    return 0;
}

void FakeLogHost::close(HeldEntry& entry) {
    const Open open = *opens_.at(entry.handle);
    opens_.erase(entry.handle);
    entry.handle = nullptr;
    events.push_back("close " + open.path);
    if (open.file != nullptr) {
        std::fclose(open.file);
    }
    if (open.deleteWhenClosed) {
        fs::remove(open.realFile);
    }
}

bool FakeLogHost::sameName(const std::string& left, const std::string& right) {
    const auto lower = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    return lower(left) == lower(right);
}

std::string FakeLogHost::errorMessage(int code) {
    return "text of " + std::to_string(code);
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
