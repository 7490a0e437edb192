#include "tree_copy.h"

#include <vector>

#include "error_codes.h"

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

int fail(FileSystem& fs, int code, const std::string& description, CopyFailure& failure) {
    failure.code = code;
    failure.message = fs.errorMessage(code);
    failure.description = description;
    return code;
}

// Makes sure destination is a directory: created when missing, merged when it is one
// already, a failure when a file stands in the way.
int ensureDirectory(FileSystem& fs, const std::string& destination, CopyFailure& failure) {
    const int code = fs.createDirectory(destination);
    if (code == 0) {
        return 0;
    }
    if (code != kErrorAlreadyExists) {
        return fail(fs, code, "create directory " + destination, failure);
    }
    EntryKind kind = kEntryUnknown;
    const int examined = fs.examine(destination, kind);
    if (examined != 0) {
        return fail(fs, examined, "examine " + destination, failure);
    }
    if (kind != kEntryDirectory) {
        return fail(fs, kErrorAlreadyExists, "a file is in the way of directory " + destination,
                    failure);
    }
    return 0;
}

std::string describeFileCopy(const std::string& from, const std::string& to) {
    std::string text = "copy file ";
    text.append(from).append(" to ").append(to);
    return text;
}

std::string describeCycle(const std::string& source, const std::string& destination) {
    std::string text = "destination ";
    text.append(destination).append(" lies inside source ").append(source);
    return text;
}

struct PendingDirectory {
    std::string source;
    std::string destination;
    std::vector<DirectoryEntry> entries;
    size_t next;
};

int listInto(FileSystem& fs, PendingDirectory& pending, CopyFailure& failure) {
    const int code = fs.listDirectory(pending.source, pending.entries);
    if (code != 0) {
        // A directory we cannot read would be staged as empty or stale: the package would
        // run incomplete while we report success.
        return fail(fs, code, "list directory " + pending.source, failure);
    }
    return 0;
}

// Depth first in listing order. The pending directories live on the heap, so a deeply
// nested package (or a link loop growing the path until the system refuses it) cannot
// exhaust the stack.
int copyDirectory(FileSystem& fs, const std::string& source, const std::string& destination,
                  CopyFailure& failure) {
    int code = ensureDirectory(fs, destination, failure);
    if (code != 0) {
        return code;
    }
    std::vector<PendingDirectory> stack;
    stack.push_back(PendingDirectory{source, destination, {}, 0});
    code = listInto(fs, stack.back(), failure);
    while (code == 0 && !stack.empty()) {
        PendingDirectory& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const DirectoryEntry& entry = top.entries[top.next++];
        const std::string from = joinPath(top.source, entry.name);
        const std::string to = joinPath(top.destination, entry.name);
        if (!entry.isDirectory) {
            code = fs.copyFile(from, to);
            if (code != 0) {
                code = fail(fs, code, describeFileCopy(from, to), failure);
            }
            continue;
        }
        // The destination inside the source would be copied into itself without end.
        if (fs.sameEntry(from, destination)) {
            code = fail(fs, kErrorInvalidParameter, describeCycle(source, destination), failure);
            continue;
        }
        code = ensureDirectory(fs, to, failure);
        if (code == 0) {
            stack.push_back(PendingDirectory{from, to, {}, 0});
            code = listInto(fs, stack.back(), failure);
        }
    }
    return code;
}

}  // namespace

std::string joinPath(const std::string& directory, const std::string& name) {
    if (!directory.empty() && isSeparator(directory.back())) {
        return directory + name;
    }
    return directory + '\\' + name;
}

std::string lastComponent(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int copyTree(FileSystem& fs, const std::string& source, const std::string& destination,
             CopyFailure& failure) {
    EntryKind sourceKind = kEntryUnknown;
    int code = fs.examine(source, sourceKind);
    if (code != 0) {
        return fail(fs, code, "examine source " + source, failure);
    }

    if (sourceKind == kEntryDirectory) {
        if (fs.sameEntry(source, destination)) {
            return fail(fs, kErrorInvalidParameter,
                        "source and destination are the same directory " + source, failure);
        }
        return copyDirectory(fs, source, destination, failure);
    }

    // A single file goes into the destination folder under its own name when that folder
    // exists, and becomes the destination path itself otherwise.
    EntryKind destinationKind = kEntryUnknown;
    code = fs.examine(destination, destinationKind);
    if (code != 0 && destinationKind != kEntryMissing) {
        return fail(fs, code, "examine destination " + destination, failure);
    }
    const std::string target = destinationKind == kEntryDirectory
                                   ? joinPath(destination, lastComponent(source))
                                   : destination;
    if (fs.sameEntry(source, target)) {
        return fail(fs, kErrorInvalidParameter,
                    "source and destination are the same file " + source, failure);
    }
    code = fs.copyFile(source, target);
    if (code != 0) {
        return fail(fs, code, describeFileCopy(source, target), failure);
    }
    return 0;
}
