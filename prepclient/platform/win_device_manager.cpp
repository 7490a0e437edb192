#include "platform/win_device_manager.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <objbase.h>
// clang-format on

#include <cstring>

#include "platform/unique_handle.h"
#include "platform/word_size.h"

namespace {

// A header of the wrong word size would hand the system a record it rejects.
static_assert(sizeof(SP_DEVINFO_DATA) == kExpectedDevInfoDataSize, "device record size");
// The removal parameters are plain 32-bit fields in both editions, whatever the packing.
static_assert(sizeof(SP_CLASSINSTALL_HEADER) == 8 && sizeof(SP_REMOVEDEVICE_PARAMS) == 16,
              "removal parameters size");

// Property keys, spelled out so that no library has to supply them.
constexpr DEVPROPKEY kPdoName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 16};
constexpr DEVPROPKEY kClassGuid = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 10};
constexpr DEVPROPKEY kDevNodeStatus = {
    {0x4340a6c5, 0x93fa, 0x4706, {0x97, 0x2c, 0x7b, 0x64, 0x80, 0x08, 0xa5, 0xa7}}, 2};
constexpr DEVPROPKEY kInstallState = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 36};
constexpr DEVPROPKEY kDeviceName = {
    {0xb725f130, 0x47ef, 0x101a, {0xa5, 0xf1, 0x02, 0x60, 0x8c, 0x9e, 0xeb, 0xac}}, 10};

static_assert(kPropertyStringBytes == 4096 && sizeof(wchar_t) == 2, "UTF-16 wide strings");

using GetDevicePropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*,
                                          DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD);

// Systems before the sixth generation lack the property call; looked up at
// run time so that the program still starts there and simply reads nothing.
GetDevicePropertyFn findGetDeviceProperty() {
    HMODULE setupapi = GetModuleHandleW(L"setupapi.dll");
    if (setupapi == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<GetDevicePropertyFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(setupapi, "SetupDiGetDevicePropertyW")));
}

struct DeviceListTraits {
    using Handle = HDEVINFO;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle set) { SetupDiDestroyDeviceInfoList(set); }
};

using DeviceListHandle = UniqueHandle<DeviceListTraits>;

class WinDeviceSet final : public DeviceSet {
  public:
    explicit WinDeviceSet(DeviceListHandle set)
        : set_(std::move(set)), getProperty_(findGetDeviceProperty()) {}

    DeviceSelection select(uint32_t index) override {
        std::memset(&current_, 0, sizeof current_);
        current_.cbSize = sizeof(SP_DEVINFO_DATA);
        if (SetupDiEnumDeviceInfo(set_.get(), index, &current_)) {
            return {true, 0};
        }
        return {false, GetLastError()};
    }

    void readProperties(DeviceProperties& p) override {
        if (getProperty_ == nullptr) {
            return;
        }
        DEVPROPTYPE stringType = DEVPROP_TYPE_STRING;
        DEVPROPTYPE guidType = DEVPROP_TYPE_GUID;
        DEVPROPTYPE uint32Type = DEVPROP_TYPE_UINT32;
        read(kPdoName, stringType, p.pdoName, sizeof p.pdoName);
        p.classGuidRead = read(kClassGuid, guidType, p.classGuid.bytes, sizeof p.classGuid.bytes);
        read(kDevNodeStatus, uint32Type, &p.nodeStatus, sizeof p.nodeStatus);
        p.installStateRead =
            read(kInstallState, uint32Type, &p.installState, sizeof p.installState);
        read(kDeviceName, stringType, p.name, sizeof p.name);
    }

    // Windows lets only a class installer call the removal handler itself; an application asks
    // through the class installer, which runs the class's installer and co-installers (their
    // clean-up, for network adapters too) and then that same handler. The parameters ask for a
    // removal from every hardware profile. Where they cannot be set the request is still made:
    // a removal request without parameters is documented as a removal from the whole system,
    // the same scope, and a system that refuses the parameters (Wine does) still removes.
    void removeCurrent() override {
        SP_REMOVEDEVICE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_REMOVE;
        params.Scope = DI_REMOVEDEVICE_GLOBAL;
        params.HwProfile = 0;  // the current profile; a global removal ignores it
        SetupDiSetClassInstallParamsW(set_.get(), &current_, &params.ClassInstallHeader,
                                      sizeof params);
        SetupDiCallClassInstaller(DIF_REMOVE, set_.get(), &current_);
    }

  private:
    bool read(const DEVPROPKEY& key, DEVPROPTYPE& type, void* buffer, DWORD size) {
        return getProperty_(set_.get(), &current_, &key, &type, static_cast<PBYTE>(buffer), size,
                            nullptr, 0) != FALSE;
    }

    DeviceListHandle set_;
    GetDevicePropertyFn getProperty_;
    SP_DEVINFO_DATA current_{};
};

}  // namespace

std::unique_ptr<DeviceSet> WinDeviceManager::openAllDevices() {
    DeviceListHandle set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) {
        return nullptr;
    }
    return std::make_unique<WinDeviceSet>(std::move(set));
}

bool WinDeviceManager::networkClassGuid(DeviceGuid& guid) {
    static_assert(sizeof(GUID) == sizeof(DeviceGuid), "GUIDs are 16 bytes");
    CLSID clsid{};
    if (FAILED(CLSIDFromString(L"{4D36E972-E325-11CE-BFC1-08002BE10318}", &clsid))) {
        return false;
    }
    std::memcpy(guid.bytes, &clsid, sizeof guid.bytes);
    return true;
}
