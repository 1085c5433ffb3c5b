// The device manager on Windows: SetupAPI, loaded from System32 at run time.
#include <windows.h>
// setupapi.h needs the types of windows.h first.
#include <setupapi.h>

#include <optional>
#include <string>
#include <vector>

#include "base/win_handles_win.h"
#include "components/dec740/device_manager.h"
#include "components/dec740/setupapi_calls.h"
#include "components/dec740/system_library_win.h"
#include "text/text_encoding.h"

namespace dec740 {

namespace {

// The SetupAPI entry points the tool uses, with the types of the platform's declarations.
struct SetupApi {
    std::shared_ptr<SystemLibrary> library;
    decltype(&::SetupDiGetClassDevsW) GetClassDevs = nullptr;
    decltype(&::SetupDiEnumDeviceInfo) EnumDeviceInfo = nullptr;
    decltype(&::SetupDiGetDeviceInstanceIdW) GetDeviceInstanceId = nullptr;
    decltype(&::SetupDiGetDeviceRegistryPropertyW) GetDeviceRegistryProperty = nullptr;
    decltype(&::SetupDiOpenDevRegKey) OpenDevRegKey = nullptr;
    decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;
    decltype(&::SetupDiSetClassInstallParamsW) SetClassInstallParams = nullptr;
    decltype(&::SetupDiCallClassInstaller) CallClassInstaller = nullptr;
    decltype(&::SetupDiGetDeviceInstallParamsW) GetDeviceInstallParams = nullptr;
    decltype(&::SetupOpenInfFileW) OpenInfFile = nullptr;
    decltype(&::SetupCloseInfFile) CloseInfFile = nullptr;
    decltype(&::SetupDiGetActualSectionToInstallW) GetActualSection = nullptr;
    decltype(&::SetupOpenFileQueue) OpenFileQueue = nullptr;
    decltype(&::SetupCloseFileQueue) CloseFileQueue = nullptr;
    decltype(&::SetupInstallFilesFromInfSectionW) InstallFilesFromSection = nullptr;
    decltype(&::SetupScanFileQueueW) ScanFileQueue = nullptr;
};

ovn::Result<SetupApi> LoadSetupApi() {
    auto library = SystemLibrary::Load(L"setupapi.dll");
    if (!library.ok()) return library.error();
    SetupApi api;
    api.library = library.value();
    SystemLibrary& l = *api.library;
    std::optional<ovn::Error> e;
    l.Resolve(calls::kGetClassDevs, api.GetClassDevs, e);
    l.Resolve(calls::kEnumDeviceInfo, api.EnumDeviceInfo, e);
    l.Resolve(calls::kGetDeviceInstanceId, api.GetDeviceInstanceId, e);
    l.Resolve(calls::kGetDeviceRegistryProperty, api.GetDeviceRegistryProperty, e);
    l.Resolve(calls::kOpenDevRegKey, api.OpenDevRegKey, e);
    l.Resolve(calls::kDestroyDeviceInfoList, api.DestroyDeviceInfoList, e);
    l.Resolve(calls::kSetClassInstallParams, api.SetClassInstallParams, e);
    l.Resolve(calls::kCallClassInstaller, api.CallClassInstaller, e);
    l.Resolve(calls::kGetDeviceInstallParams, api.GetDeviceInstallParams, e);
    l.Resolve(calls::kOpenInfFile, api.OpenInfFile, e);
    l.Resolve(calls::kCloseInfFile, api.CloseInfFile, e);
    l.Resolve(calls::kGetActualSection, api.GetActualSection, e);
    l.Resolve(calls::kOpenFileQueue, api.OpenFileQueue, e);
    l.Resolve(calls::kCloseFileQueue, api.CloseFileQueue, e);
    l.Resolve(calls::kInstallFilesFromSection, api.InstallFilesFromSection, e);
    l.Resolve(calls::kScanFileQueue, api.ScanFileQueue, e);
    if (e) return *e;
    return api;
}

ovn::Error LastError(const char* call) { return ovn::CallError(call, GetLastError()); }

// The UTF-8 strings of a REG_MULTI_SZ or REG_SZ buffer.
std::vector<std::string> Strings(const std::vector<BYTE>& bytes) {
    std::vector<std::string> strings;
    std::wstring current;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c != L'\0') {
            current += c;
        } else if (!current.empty()) {
            strings.push_back(WideToUtf8(current));
            current.clear();
        } else {
            break;
        }
    }
    if (!current.empty()) strings.push_back(WideToUtf8(current));
    return strings;
}

std::optional<std::wstring> RegistryString(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.back() = L'\0';
    std::wstring value(text.data());
    if (value.empty()) return std::nullopt;
    return value;
}

UINT CALLBACK CollectTarget(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
    if (notification == SPFILENOTIFY_QUEUESCAN_EX) {
        const auto* paths = reinterpret_cast<const FILEPATHS_W*>(param1);
        if (paths && paths->Target) {
            static_cast<std::vector<std::string>*>(context)->push_back(WideToUtf8(paths->Target));
        }
    }
    return NO_ERROR;
}

class SetupApiDeviceManager : public DeviceManager {
public:
    ovn::Result<std::vector<Device>> Devices() override;
    ovn::Result<std::vector<std::string>> SectionFiles(const DriverInfo& driver) override;
    ChangeResult ChangeState(const Device& device, TargetState target) override;

private:
    ovn::Status EnsureLoaded();
    HDEVINFO List() const { return list_.get().handle; }
    std::vector<std::string> Property(SP_DEVINFO_DATA& data, DWORD property);
    std::optional<DriverInfo> Driver(SP_DEVINFO_DATA& data, const std::wstring& infDirectory);

    std::optional<SetupApi> api_;
    ovn::ScopedLibraryObject<HDEVINFO, decltype(&::SetupDiDestroyDeviceInfoList)> list_;
    std::vector<SP_DEVINFO_DATA> infos_;  // by Device::handle, members of list_
};

ovn::Status SetupApiDeviceManager::EnsureLoaded() {
    if (api_) return ovn::Ok();
    ovn::Result<SetupApi> api = LoadSetupApi();
    if (!api.ok()) return api.error();
    api_ = api.value();
    return ovn::Ok();
}

std::vector<std::string> SetupApiDeviceManager::Property(SP_DEVINFO_DATA& data, DWORD property) {
    DWORD type = 0, size = 0;
    api_->GetDeviceRegistryProperty(List(), &data, property, &type, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> bytes(size + 4, 0);
    if (!api_->GetDeviceRegistryProperty(List(), &data, property, &type, bytes.data(), size,
                                         &size)) {
        return {};
    }
    return Strings(bytes);
}

std::optional<DriverInfo> SetupApiDeviceManager::Driver(SP_DEVINFO_DATA& data,
                                                        const std::wstring& infDirectory) {
    ovn::ScopedRegistryKey key(
        api_->OpenDevRegKey(List(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
    if (!key) return std::nullopt;
    auto infPath = RegistryString(key.get(), L"InfPath");
    if (!infPath) return std::nullopt;
    auto section = RegistryString(key.get(), L"InfSection");
    return DriverInfo{WideToUtf8(infDirectory + *infPath), WideToUtf8(section.value_or(L""))};
}

ovn::Result<std::vector<Device>> SetupApiDeviceManager::Devices() {
    if (ovn::Status loaded = EnsureLoaded(); !loaded) return loaded.error();
    wchar_t windows[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return LastError(calls::kGetWindowsDirectory);
    const std::wstring infDirectory = std::wstring(windows) + L"\\INF\\";

    infos_.clear();
    list_.reset();
    HDEVINFO list = api_->GetClassDevs(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (list == INVALID_HANDLE_VALUE) return LastError(calls::kGetClassDevs);
    list_ = ovn::MakeScopedLibraryObject(list, api_->DestroyDeviceInfoList);

    std::vector<Device> devices;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        if (!api_->EnumDeviceInfo(list, index, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            return LastError(calls::kEnumDeviceInfo);
        }
        DWORD needed = 0;
        api_->GetDeviceInstanceId(list, &data, nullptr, 0, &needed);
        std::vector<wchar_t> id(needed + 1, L'\0');
        if (!api_->GetDeviceInstanceId(list, &data, id.data(), static_cast<DWORD>(id.size()),
                                       nullptr)) {
            return LastError(calls::kGetDeviceInstanceId);
        }
        Device device;
        device.handle = infos_.size();
        device.instanceId = WideToUtf8(id.data());
        device.hardwareIds = Property(data, SPDRP_HARDWAREID);
        device.compatibleIds = Property(data, SPDRP_COMPATIBLEIDS);
        auto name = Property(data, SPDRP_FRIENDLYNAME);
        if (name.empty()) name = Property(data, SPDRP_DEVICEDESC);
        if (!name.empty()) device.description = name.front();
        device.driver = Driver(data, infDirectory);
        infos_.push_back(data);
        devices.push_back(std::move(device));
    }
    return devices;
}

ovn::Result<std::vector<std::string>> SetupApiDeviceManager::SectionFiles(
    const DriverInfo& driver) {
    if (ovn::Status loaded = EnsureLoaded(); !loaded) return loaded.error();
    std::wstring infPath = Utf8ToWide(driver.infPath);
    std::wstring section = Utf8ToWide(driver.infSection);
    UINT errorLine = 0;
    auto inf = ovn::MakeScopedLibraryObject(
        api_->OpenInfFile(infPath.c_str(), nullptr, INF_STYLE_WIN4, &errorLine),
        api_->CloseInfFile);
    if (!inf) return LastError(calls::kOpenInfFile);
    wchar_t actual[LINE_LEN] = {};
    if (!api_->GetActualSection(inf.get().handle, section.c_str(), actual, LINE_LEN, nullptr,
                                nullptr)) {
        return LastError(calls::kGetActualSection);
    }
    auto queue = ovn::MakeScopedLibraryObject(api_->OpenFileQueue(), api_->CloseFileQueue);
    if (!queue) return LastError(calls::kOpenFileQueue);
    if (!api_->InstallFilesFromSection(inf.get().handle, nullptr, queue.get().handle, actual,
                                       nullptr, 0)) {
        return LastError(calls::kInstallFilesFromSection);
    }
    std::vector<std::string> files;
    DWORD result = 0;
    if (!api_->ScanFileQueue(queue.get().handle, SPQ_SCAN_USE_CALLBACKEX, nullptr, CollectTarget,
                             &files, &result)) {
        return LastError(calls::kScanFileQueue);
    }
    return files;
}

ChangeResult SetupApiDeviceManager::ChangeState(const Device& device, TargetState target) {
    auto failed = [](const char* call) {
        return ChangeResult{ChangeOutcome::Failed, LastError(call)};
    };
    if (!api_ || !list_ || device.handle >= infos_.size()) {
        return {ChangeOutcome::Failed,
                ovn::CallError(calls::kEnumDeviceInfo, ERROR_INVALID_PARAMETER)};
    }
    SP_DEVINFO_DATA& data = infos_[device.handle];
    SP_PROPCHANGE_PARAMS change{};
    change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    change.StateChange = target == TargetState::Disabled ? DICS_DISABLE : DICS_ENABLE;
    change.Scope = DICS_FLAG_GLOBAL;
    change.HwProfile = 0;
    if (!api_->SetClassInstallParams(List(), &data, &change.ClassInstallHeader, sizeof change)) {
        return failed(calls::kSetClassInstallParams);
    }
    if (!api_->CallClassInstaller(DIF_PROPERTYCHANGE, List(), &data)) {
        return failed(calls::kCallClassInstaller);
    }
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!api_->GetDeviceInstallParams(List(), &data, &params)) {
        return failed(calls::kGetDeviceInstallParams);
    }
    if (params.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) return {ChangeOutcome::NeedsRestart, {}};
    return {};
}

}  // namespace

std::unique_ptr<DeviceManager> OpenDeviceManager() {
    return std::make_unique<SetupApiDeviceManager>();
}

}  // namespace dec740
