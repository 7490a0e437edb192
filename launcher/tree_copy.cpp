#include "tree_copy.h"

#include <vector>

#include "error_codes.h"

namespace {

const std::string kLongPrefix = "\\\\?\\";
const std::string kLongUncPrefix = "\\\\?\\UNC\\";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Index just past the separator that ends the component starting at from, or the end.
size_t pastComponent(const std::string& path, size_t from) {
    while (from < path.size() && !isSeparator(path[from])) {
        ++from;
    }
    return from < path.size() ? from + 1 : from;
}

// How much of path is its root, which has no parent.
size_t rootLength(const std::string& path) {
    size_t start = 0;
    if (startsWith(path, kLongUncPrefix)) {
        return pastComponent(path, pastComponent(path, kLongUncPrefix.size()));
    }
    if (startsWith(path, kLongPrefix)) {
        start = kLongPrefix.size();
        if (path.size() < start + 2 || path[start + 1] != ':') {
            return pastComponent(path, start);  // a volume name such as Volume{...}
        }
    } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        return pastComponent(path, pastComponent(path, 2));
    }
    if (path.size() >= start + 2 && path[start + 1] == ':') {
        const size_t drive = start + 2;
        return drive < path.size() && isSeparator(path[drive]) ? drive + 1 : drive;
    }
    return !path.empty() && isSeparator(path[0]) ? 1 : 0;
}

int fail(FileSystem& fs, int code, const std::string& description, CopyFailure& failure) {
    failure.code = code;
    failure.message = fs.errorMessage(code);
    failure.description = description;
    return code;
}

// The identity where a check needs it: without it the check cannot answer, so the copy
// stops rather than guess "different" and copy a folder into itself.
int identifyOrFail(FileSystem& fs, const std::string& path, EntryId& id, CopyFailure& failure) {
    const int code = fs.identify(path, id);
    return code == 0 ? 0 : fail(fs, code, "read the identity of " + shownPath(path), failure);
}

// Like identifyOrFail, but a path that does not exist is no failure: missing is set.
int identifyIfThere(FileSystem& fs, const std::string& path, EntryId& id, bool& missing,
                    CopyFailure& failure) {
    missing = false;
    const int code = fs.identify(path, id);
    if (code == 0) {
        return 0;
    }
    EntryKind kind = kEntryUnknown;
    fs.examine(path, kind);
    missing = kind == kEntryMissing;
    return missing ? 0 : fail(fs, code, "read the identity of " + shownPath(path), failure);
}

// Makes sure destination is a directory: created when missing, merged when it is one
// already, a failure when a file stands in the way.
int ensureDirectory(FileSystem& fs, const std::string& destination, CopyFailure& failure) {
    const int code = fs.createDirectory(destination);
    if (code == 0) {
        return 0;
    }
    if (code != kErrorAlreadyExists) {
        return fail(fs, code, "create directory " + shownPath(destination), failure);
    }
    EntryKind kind = kEntryUnknown;
    const int examined = fs.examine(destination, kind);
    if (examined != 0) {
        return fail(fs, examined, "examine " + shownPath(destination), failure);
    }
    if (kind != kEntryDirectory) {
        return fail(fs, kErrorAlreadyExists,
                    "a file is in the way of directory " + shownPath(destination), failure);
    }
    return 0;
}

std::string describeFileCopy(const std::string& from, const std::string& to) {
    std::string text = "copy file ";
    text.append(shownPath(from)).append(" to ").append(shownPath(to));
    return text;
}

std::string describeInside(const std::string& source, const std::string& destination) {
    std::string text = "destination ";
    text.append(shownPath(destination)).append(" lies inside source ").append(shownPath(source));
    return text;
}

std::string describeLoop(const std::string& path, const std::string& ancestor) {
    std::string text = "directory loop: ";
    text.append(shownPath(path)).append(" is ").append(shownPath(ancestor)).append(" again");
    return text;
}

// Before anything is written: the destination, or a folder above it, being the source
// would copy the destination into itself.
int checkDestinationOutside(FileSystem& fs, const std::string& source, const EntryId& sourceId,
                            const std::string& destination, CopyFailure& failure) {
    for (std::string folder = destination; !folder.empty(); folder = parentPath(folder)) {
        EntryId id;
        bool missing = false;
        const int code = identifyIfThere(fs, folder, id, missing, failure);
        if (code != 0) {
            return code;
        }
        if (missing || !(id == sourceId)) {
            continue;
        }
        return fail(fs, kErrorInvalidParameter,
                    folder == destination
                        ? "source and destination are the same directory " + shownPath(source)
                        : describeInside(source, destination),
                    failure);
    }
    return 0;
}

struct PendingDirectory {
    std::string source;
    std::string destination;
    EntryId id;
    std::vector<DirectoryEntry> entries;
    size_t next;
};

int listInto(FileSystem& fs, PendingDirectory& pending, CopyFailure& failure) {
    const int code = fs.listDirectory(pending.source, pending.entries);
    if (code != 0) {
        // A directory we cannot read would be staged as empty or stale: the package would
        // run incomplete while we report success.
        return fail(fs, code, "list directory " + shownPath(pending.source), failure);
    }
    return 0;
}

// A link can lead the walk back into the destination or up to a folder it is already
// inside; either would be copied level after level until the disk or the path gives out.
int checkNoCycle(FileSystem& fs, const std::vector<PendingDirectory>& stack,
                 const std::string& source, const std::string& destination,
                 const EntryId& destinationId, const std::string& from, const EntryId& id,
                 CopyFailure& failure) {
    if (id == destinationId) {
        return fail(fs, kErrorInvalidParameter, describeInside(source, destination), failure);
    }
    for (const PendingDirectory& ancestor : stack) {
        if (ancestor.id == id) {
            return fail(fs, kErrorInvalidParameter, describeLoop(from, ancestor.source), failure);
        }
    }
    return 0;
}

// Depth first in listing order. The pending directories live on the heap, so a deeply
// nested package cannot exhaust the stack.
int copyDirectory(FileSystem& fs, const std::string& source, const EntryId& sourceId,
                  const std::string& destination, CopyFailure& failure) {
    EntryId destinationId;
    int code = ensureDirectory(fs, destination, failure);
    if (code == 0) {
        code = identifyOrFail(fs, destination, destinationId, failure);
    }
    if (code != 0) {
        return code;
    }
    std::vector<PendingDirectory> stack;
    stack.push_back(PendingDirectory{source, destination, sourceId, {}, 0});
    code = listInto(fs, stack.back(), failure);
    while (code == 0 && !stack.empty()) {
        PendingDirectory& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const DirectoryEntry& entry = top.entries[top.next++];
        // Listed names are appended as they are: the system's clean-up of typed paths
        // would turn "name." into "name" and stage one entry in place of another.
        const std::string from = joinPath(top.source, entry.name);
        const std::string to = joinPath(top.destination, entry.name);
        if (!entry.isDirectory) {
            code = fs.copyFile(from, to, entry.attributes);
            if (code != 0) {
                code = fail(fs, code, describeFileCopy(from, to), failure);
            }
            continue;
        }
        EntryId id;
        code = identifyOrFail(fs, from, id, failure);
        if (code == 0) {
            code = checkNoCycle(fs, stack, source, destination, destinationId, from, id, failure);
        }
        if (code == 0) {
            code = ensureDirectory(fs, to, failure);
        }
        if (code == 0) {
            stack.push_back(PendingDirectory{from, to, id, {}, 0});
            code = listInto(fs, stack.back(), failure);
        }
    }
    return code;
}

// A single file goes into the destination folder under its own name when that folder
// exists, and becomes the destination path itself otherwise.
int copySingleFile(FileSystem& fs, const std::string& source, const EntryId& sourceId,
                   const std::string& destination, CopyFailure& failure) {
    EntryKind destinationKind = kEntryUnknown;
    int code = fs.examine(destination, destinationKind);
    if (code != 0 && destinationKind != kEntryMissing) {
        return fail(fs, code, "examine destination " + shownPath(destination), failure);
    }
    const std::string target = destinationKind == kEntryDirectory
                                   ? joinPath(destination, lastComponent(source))
                                   : destination;
    EntryId targetId;
    bool missing = false;
    code = identifyIfThere(fs, target, targetId, missing, failure);
    if (code != 0) {
        return code;
    }
    if (!missing && targetId == sourceId) {
        return fail(fs, kErrorInvalidParameter,
                    "source and destination are the same file " + shownPath(source), failure);
    }
    code = fs.copyFile(source, target, kAttributesUnlisted);
    if (code != 0) {
        return fail(fs, code, describeFileCopy(source, target), failure);
    }
    return 0;
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

std::string parentPath(const std::string& path) {
    const size_t root = rootLength(path);
    size_t end = path.size();
    while (end > root && isSeparator(path[end - 1])) {
        --end;
    }
    if (end <= root) {
        return "";
    }
    size_t cut = end;
    while (cut > root && !isSeparator(path[cut - 1])) {
        --cut;
    }
    while (cut > root && isSeparator(path[cut - 1])) {
        --cut;
    }
    return path.substr(0, cut);
}

std::string shownPath(const std::string& path) {
    if (startsWith(path, kLongUncPrefix)) {
        return "\\\\" + path.substr(kLongUncPrefix.size());
    }
    return startsWith(path, kLongPrefix) ? path.substr(kLongPrefix.size()) : path;
}

int copyTree(FileSystem& fs, const std::string& source, const std::string& destination,
             CopyFailure& failure) {
    // Only the two given paths are resolved, once; everything below them is reached by
    // appending listed names.
    std::string from;
    std::string to;
    int code = fs.resolve(source, from);
    if (code != 0) {
        return fail(fs, code, "resolve source " + source, failure);
    }
    code = fs.resolve(destination, to);
    if (code != 0) {
        return fail(fs, code, "resolve destination " + destination, failure);
    }
    EntryKind sourceKind = kEntryUnknown;
    code = fs.examine(from, sourceKind);
    if (code != 0) {
        return fail(fs, code, "examine source " + shownPath(from), failure);
    }
    EntryId sourceId;
    code = identifyOrFail(fs, from, sourceId, failure);
    if (code != 0) {
        return code;
    }
    if (sourceKind != kEntryDirectory) {
        return copySingleFile(fs, from, sourceId, to, failure);
    }
    code = checkDestinationOutside(fs, from, sourceId, to, failure);
    return code != 0 ? code : copyDirectory(fs, from, sourceId, to, failure);
}
