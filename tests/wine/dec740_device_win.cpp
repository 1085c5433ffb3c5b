// Test helper for dec740 under Wine: creates (or removes) two root-enumerated devices in a test
// class, one with the K740 hardware ID and a driver key naming oem12.inf, one with no driver key,
// and writes that INF to the Windows INF directory.
// usage: dec740_device create|remove
#include <windows.h>
// setupapi.h needs the types of windows.h first.
#include <setupapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// A class of its own: Wine deletes the driver keys of Display-class devices when its server starts.
constexpr GUID kTestClass = {
    0x6f1e4c2a, 0x0b5d, 0x4e8a, {0x9c, 0x31, 0x7a, 0x52, 0xd4, 0x0e, 0x18, 0x40}};
constexpr wchar_t kDriverDevice[] = L"OVNK740";
constexpr wchar_t kBareDevice[] = L"OVNK740BARE";
constexpr wchar_t kDriverIds[] =
    L"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\0PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7\0";
constexpr wchar_t kDriverCompatibleIds[] = L"PCI\\VEN_1002&DEV_6828\0PCI\\CC_0300\0";
constexpr wchar_t kBareIds[] = L"OVN\\K740_NO_DRIVER\0";

constexpr char kInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=OvnTest\r\n"
    "ClassGuid={6F1E4C2A-0B5D-4E8A-9C31-7A52D40E1840}\r\n"
    "Provider=%Maker%\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "DefaultDestDir=11\r\n"
    "ati2mtag_K740.Miniport=12\r\n"
    "\r\n"
    "[ati2mtag_K740]\r\n"
    "CopyFiles=ati2mtag_K740.Miniport, ati2mtag_K740.Display\r\n"
    "\r\n"
    "[ati2mtag_K740.Miniport]\r\n"
    "atikmdag.sys\r\n"
    "\r\n"
    "[ati2mtag_K740.Display]\r\n"
    "atiumdag.dll\r\n"
    "atidxx32.dll\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Maker=\"Orvane\"\r\n";

class DeviceList {
public:
    DeviceList() : list_(SetupDiCreateDeviceInfoList(&kTestClass, nullptr)) {}
    ~DeviceList() {
        if (list_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO Get() const { return list_; }

private:
    HDEVINFO list_;
};

bool Fail(const char* call) {
    std::fprintf(stderr, "%s failed with error %lu\n", call, GetLastError());
    return false;
}

std::wstring InfPath() {
    wchar_t windows[MAX_PATH];
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\oem12.inf";
}

bool SetMultiString(HDEVINFO list, SP_DEVINFO_DATA& data, DWORD property, const wchar_t* ids,
                    std::size_t chars) {
    auto bytes = reinterpret_cast<const BYTE*>(ids);
    if (!SetupDiSetDeviceRegistryPropertyW(list, &data, property, bytes,
                                           static_cast<DWORD>(chars * sizeof(wchar_t)))) {
        return Fail("SetupDiSetDeviceRegistryPropertyW");
    }
    return true;
}

bool SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
    auto size = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size) != 0) {
        return Fail("RegSetValueExW");
    }
    return true;
}

bool CreateDevice(const wchar_t* name, const wchar_t* description, const wchar_t* ids,
                  std::size_t idChars, bool withDriver) {
    DeviceList list;
    if (list.Get() == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiCreateDeviceInfoW(list.Get(), name, &kTestClass, description, nullptr,
                                  DICD_GENERATE_ID, &data)) {
        return Fail("SetupDiCreateDeviceInfoW");
    }
    if (!SetMultiString(list.Get(), data, SPDRP_HARDWAREID, ids, idChars)) return false;
    if (withDriver && !SetMultiString(list.Get(), data, SPDRP_COMPATIBLEIDS, kDriverCompatibleIds,
                                      sizeof kDriverCompatibleIds / sizeof(wchar_t))) {
        return false;
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.Get(), &data)) {
        return Fail("SetupDiCallClassInstaller(DIF_REGISTERDEVICE)");
    }
    if (!withDriver) return true;
    HKEY key = SetupDiCreateDevRegKeyW(list.Get(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr,
                                       nullptr);
    if (key == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDevRegKeyW");
    bool ok =
        SetString(key, L"InfPath", L"oem12.inf") && SetString(key, L"InfSection", L"ati2mtag_K740");
    RegCloseKey(key);
    return ok;
}

bool WriteInf() {
    HANDLE file = CreateFileW(InfPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("CreateFileW");
    DWORD written = 0;
    BOOL ok = WriteFile(file, kInf, sizeof kInf - 1, &written, nullptr);
    CloseHandle(file);
    return ok ? true : Fail("WriteFile");
}

// Removes every device of the test class.
bool RemoveDevices() {
    HDEVINFO list = SetupDiGetClassDevsW(&kTestClass, nullptr, nullptr, 0);
    if (list == INVALID_HANDLE_VALUE) return Fail("SetupDiGetClassDevsW");
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(list, i, &data); ++i) {
        SetupDiCallClassInstaller(DIF_REMOVE, list, &data);
    }
    SetupDiDestroyDeviceInfoList(list);
    DeleteFileW(InfPath().c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string action = argc > 1 ? argv[1] : "";
    if (action == "remove") return RemoveDevices() ? 0 : 1;
    if (action != "create") {
        std::fprintf(stderr, "usage: dec740_device create|remove\n");
        return 3;
    }
    RemoveDevices();
    bool ok = WriteInf() &&
              CreateDevice(kDriverDevice, L"Orvane K740 test device", kDriverIds,
                           sizeof kDriverIds / sizeof(wchar_t), true) &&
              CreateDevice(kBareDevice, L"Orvane K740 test device without driver", kBareIds,
                           sizeof kBareIds / sizeof(wchar_t), false);
    return ok ? 0 : 1;
}
