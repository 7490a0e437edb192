#include "fakes.h"

#include <cstdio>
#include <cstring>

void CapturingConsole::vprint(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size < 0) {
        text += "<format error>";
        return;
    }
    std::string piece(static_cast<size_t>(size) + 1, '\0');
    std::vsnprintf(piece.data(), piece.size(), format, args);
    piece.pop_back();
    text += piece;
}

std::string CapturingConsole::narrow(const wchar_t* wide) {
    std::string out;
    for (; *wide != L'\0'; ++wide) {
        out += *wide < 0x80 ? static_cast<char>(*wide) : '?';
    }
    return out;
}

DeviceGuid netClassGuid() {
    return {{0x72, 0xe9, 0x36, 0x4d, 0x25, 0xe3, 0xce, 0x11, 0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1,
             0x03, 0x18}};
}

DeviceGuid otherClassGuid() {
    DeviceGuid guid = netClassGuid();
    guid.bytes[15] ^= 1;  // differs only in the last byte
    return guid;
}

namespace {

void copyString(const std::wstring& from, wchar_t* to) {
    // Larger than the buffer on purpose when a test wants an overlong value:
    // the reader must cope with an unterminated buffer.
    const size_t count = std::min(from.size(), kPropertyStringChars);
    std::wmemcpy(to, from.data(), count);  // NOLINT(bugprone-not-null-terminated-result)
}

class FakeDeviceSet final : public DeviceSet {
  public:
    explicit FakeDeviceSet(FakeDeviceManager& owner) : owner_(owner) {}
    ~FakeDeviceSet() override { ++owner_.closes; }

    DeviceSelection select(uint32_t index) override {
        ++owner_.selects;
        current_ = index;
        if (index >= owner_.devices.size()) {
            return {false, owner_.errorPastEnd};
        }
        const uint32_t error = owner_.devices[index].enumError;
        return {error == 0, error};
    }

    void readProperties(DeviceProperties& p) override {
        const FakeDevice& d = owner_.devices.at(current_);
        copyString(d.pdoName, p.pdoName);
        if (d.hasClassGuid) {
            p.classGuid = d.classGuid;
            p.classGuidRead = true;
        }
        p.nodeStatus = d.nodeStatus;
        if (d.hasInstallState) {
            p.installState = d.installState;
            p.installStateRead = true;
        }
        copyString(d.name, p.name);
    }

    void removeCurrent() override { owner_.removedIndexes.push_back(current_); }

  private:
    FakeDeviceManager& owner_;
    size_t current_ = 0;
};

}  // namespace

std::unique_ptr<DeviceSet> FakeDeviceManager::openAllDevices() {
    ++opens;
    if (openFails) {
        return nullptr;
    }
    return std::make_unique<FakeDeviceSet>(*this);
}

bool FakeDeviceManager::networkClassGuid(DeviceGuid& guid) {
    if (netGuidFails) {
        return false;
    }
    guid = netClassGuid();
    return true;
}

bool FakeVersionSource::readKernelVersion(VersionView& view) {
    calls.push_back("kernel");
    view = kernel;
    return kernelValid;
}

bool FakeVersionSource::readShimmedVersion(VersionView& view) {
    calls.push_back("shimmed");
    if (!shimmedValid) {
        return false;
    }
    view = shimmed;
    return true;
}
