#include "std_file_system.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>

#include "error_codes.h"

namespace fs = std::filesystem;

fs::path StdFileSystem::hostPath(const std::string& path) const {
    std::string rest = path;
    fs::path base;
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
        base = driveRoot_;
        rest = rest.substr(2);
    }
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (base.empty()) {
        return fs::path(rest);
    }
    while (!rest.empty() && rest.front() == '/') {
        rest.erase(0, 1);
    }
    return base / rest;
}

int StdFileSystem::examine(const std::string& path, EntryKind& kind) {
    std::error_code ec;
    const fs::file_status status = fs::status(hostPath(path), ec);
    if (status.type() == fs::file_type::not_found) {
        kind = kEntryMissing;
        return ENOENT;
    }
    if (ec) {
        kind = kEntryUnknown;
        return ec.value();
    }
    kind = fs::is_directory(status) ? kEntryDirectory : kEntryFile;
    return 0;
}

int StdFileSystem::resolve(const std::string& path, std::string& resolved) {
    resolved = path;
    return path.empty() ? ENOENT : 0;
}

int StdFileSystem::identify(const std::string& path, EntryId& id) {
    struct stat info = {};
    if (::stat(hostPath(path).c_str(), &info) != 0) {
        return errno;
    }
    id.volume = static_cast<unsigned long long>(info.st_dev);
    id.index = static_cast<unsigned long long>(info.st_ino);
    return 0;
}

int StdFileSystem::listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    std::error_code ec;
    fs::directory_iterator it(hostPath(path), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code kindError;
        // Its permission bits stand for what a listing tells of an entry.
        const auto permissions = it->symlink_status(kindError).permissions();
        entries.push_back({it->path().filename().string(), it->is_directory(kindError),
                           static_cast<EntryAttributes>(permissions)});
    }
    return ec.value();
}

int StdFileSystem::createDirectory(const std::string& path) {
    const fs::path host = hostPath(path);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(host, ec))) {
        return kErrorAlreadyExists;
    }
    fs::create_directory(host, ec);
    return ec.value();
}

int StdFileSystem::copyFile(const std::string& from, const std::string& to,
                            EntryAttributes /*listed*/) {
    std::error_code ec;
    fs::copy_file(hostPath(from), hostPath(to), fs::copy_options::overwrite_existing, ec);
    return ec.value();
}

std::string StdFileSystem::errorMessage(int code) {
    return std::strerror(code);
}
