#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What an examined path turned out to be.
enum EntryKind : std::uint8_t { kEntryMissing, kEntryFile, kEntryDirectory, kEntryUnknown };

// An entry's attributes in the file system's own terms, as its listing gave them: only that
// file system reads them, when they come back to copyFile.
using EntryAttributes = std::uint32_t;
// For a source that no listing described (a single-file package): copyFile asks itself.
constexpr EntryAttributes kAttributesUnlisted = 0xFFFFFFFFu;

struct DirectoryEntry {
    std::string name;
    bool isDirectory;
    EntryAttributes attributes = kAttributesUnlisted;
};

// Names one file or directory whatever path, case or link leads to it: the 64-bit volume
// serial and the 128-bit file ID where the file system gives them, else the 32-bit serial
// and the 64-bit file index (indexHigh 0). One file system always answers the same way.
struct EntryId {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    unsigned long long indexHigh = 0;
};

inline bool operator==(const EntryId& a, const EntryId& b) {
    return a.volume == b.volume && a.index == b.index && a.indexHigh == b.indexHigh;
}

// The few file-system primitives the tree copy needs. Paths and names are UTF-8, so every
// name a listing returns can be named again exactly; error messages are UTF-8 too. Every
// int result is 0 or the system's error value.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // The form of a typed path to which listed names are appended unchanged: absolute,
    // with the ordinary clean-up of typed paths done once, here.
    virtual int resolve(const std::string& path, std::string& resolved) = 0;
    // Sets kind; a path that does not exist gives kEntryMissing together with the
    // not-found error, any other failure gives kEntryUnknown.
    virtual int examine(const std::string& path, EntryKind& kind) = 0;
    // The identity of an existing file or directory, links followed.
    virtual int identify(const std::string& path, EntryId& id) = 0;
    // Every entry except the directory itself and its parent, in listing order.
    virtual int listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) = 0;
    // Creates only the last component; an existing entry gives kErrorAlreadyExists.
    virtual int createDirectory(const std::string& path) = 0;
    // Replaces an existing destination file whatever its date; the copy keeps the source's
    // attributes. listed: the source's attributes from the listing that named it, so they
    // need not be asked for again, or kAttributesUnlisted.
    virtual int copyFile(const std::string& from, const std::string& to,
                         EntryAttributes listed) = 0;
    virtual std::string errorMessage(int code) = 0;
};
