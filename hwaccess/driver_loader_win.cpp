// Opens the driver-access library OvnVxd.dll, installing its embedded components first when the
// library is not yet in the system directory; serialised across processes by a named mutex.
#include <windows.h>

#include <memory>

#include "base/win_handles_win.h"
#include "hwaccess/admin_objects.h"
#include "hwaccess/component_plan.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

// The process's one load of the library: a process has one module of it, and the shared block stays
// mapped for the process's life once it is loaded.
struct tagProcessLoader {
    LoaderState state{};
    int openCount = 0;
    tagDriverAccessFailure failure;
};
// Process-wide: a process loads the library once, and its module and shared block stay until it
// ends.
tagProcessLoader g_loader;

using ovn::ScopedKernelHandle;

// Owns the acquisition of a mutex: released when the owner goes, whatever the way out.
class CMutexHold {
public:
    explicit CMutexHold(HANDLE mutex) : mutex_(mutex) {}
    ~CMutexHold() { ReleaseMutex(mutex_); }
    CMutexHold(const CMutexHold&) = delete;
    CMutexHold& operator=(const CMutexHold&) = delete;

private:
    HANDLE mutex_;
};

bool OpenSharedBlock(LoaderState& state, tagDriverAccessFailure& failure) {
    bool created = false;
    ScopedKernelHandle mapping(OpenSharedBlockObject(created, failure));
    if (!mapping) return false;
    void* view = MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view == nullptr) {
        failure = {DriverAccessStep::kBlockMap, ovn::CallError("MapViewOfFile", GetLastError()),
                   kSharedBlockName};
        return false;
    }
    state.mapping = mapping.release();
    state.view = static_cast<SharedWrapData*>(view);
    if (created) {
        state.view->installed = 0;
        state.view->loadCount = 0;
    }
    return true;
}

void CloseSharedBlock(LoaderState& state) {
    if (state.view != nullptr) UnmapViewOfFile(state.view);
    if (state.mapping != nullptr) CloseHandle(state.mapping);
    state.view = nullptr;
    state.mapping = nullptr;
}

// Closes the shared block when the load attempt ends without success; a successful load keeps it
// open and mapped for the rest of the process.
class CSharedBlockUntilLoaded {
public:
    explicit CSharedBlockUntilLoaded(LoaderState& state) : state_(state) {}
    ~CSharedBlockUntilLoaded() {
        if (!loaded_) CloseSharedBlock(state_);
    }
    CSharedBlockUntilLoaded(const CSharedBlockUntilLoaded&) = delete;
    CSharedBlockUntilLoaded& operator=(const CSharedBlockUntilLoaded&) = delete;
    void Loaded() { loaded_ = true; }

private:
    LoaderState& state_;
    bool loaded_ = false;
};

// Only the installed copy is ever loaded: the utility runs elevated, and a search by bare name
// would also accept an OvnVxd.dll planted beside the exe or in the current directory.
// A failed load records the path and the system's error in `failure`.
HMODULE LoadInstalledLibrary(const LoaderState& state, tagDriverAccessFailure& failure) {
    const bool wow64Dir = LibraryInWow64Dir(state.is64BitOs, sizeof(void*) == 8);
    const ovn::Result<std::string> path = BuildSystemPath(kLibraryName, wow64Dir);
    if (!path) {
        failure = {DriverAccessStep::kLoadLibrary, path.error(), kLibraryName + 1};
        return nullptr;
    }
    HMODULE module = LoadLibraryExA(path->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        failure = {DriverAccessStep::kLoadLibrary, ovn::CallError("LoadLibraryExA", GetLastError()),
                   *path};
    }
    return module;
}

// Runs with the mutex held. Whatever it leaves open on success stays open for the process's life.
bool LoadHoldingMutex(LoaderState& state, tagDriverAccessFailure& failure) {
    if (!OpenSharedBlock(state, failure)) return false;
    CSharedBlockUntilLoaded block(state);
    if (!CheckPlatform(state)) {
        failure = {DriverAccessStep::kPlatform, {}, {}};
        return false;
    }
    HMODULE module = LoadInstalledLibrary(state, failure);
    if (module == nullptr) {
        if (!InstallComponents(state.is64BitOs, failure)) return false;
        if (const ovn::Status entry = CreateUninstallEntry(state.is64BitOs); !entry) {
            // The report names the key with the registry's code alone.
            failure = {DriverAccessStep::kUninstallEntry, ovn::CallError("", entry.error().code),
                       std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey};
            RemoveComponents(state.is64BitOs);
            return false;
        }
        module = LoadInstalledLibrary(state, failure);
        if (module == nullptr) {
            DeleteUninstallEntry(state.is64BitOs);
            RemoveComponents(state.is64BitOs);
            return false;
        }
        state.view->installed = 1;
    }
    ++state.view->loadCount;
    driver_access::SetLoadedModule(module);
    block.Loaded();
    return true;
}

// The mutex handle lives only for this attempt, on every way out.
bool LoadDriverAccess(LoaderState& state, tagDriverAccessFailure& failure) {
    ScopedKernelHandle mutex(CreateLoaderMutex(failure));
    if (!mutex) return false;
    const DWORD wait = WaitForSingleObject(mutex.get(), kMutexWaitMs);
    if (wait == WAIT_ABANDONED) {
        // Another loader died holding it, perhaps mid-installation: its state is not trusted, but
        // the mutex is now this process's and must be given back for the next loader.
        ReleaseMutex(mutex.get());
        failure = {DriverAccessStep::kMutexAbandoned, {}, kMutexName};
        return false;
    }
    if (wait == WAIT_TIMEOUT) {
        failure = {DriverAccessStep::kMutexBusy, {}, kMutexName};
        return false;
    }
    if (wait != WAIT_OBJECT_0) {
        failure = {DriverAccessStep::kMutexUnavailable,
                   ovn::CallError("WaitForSingleObject", GetLastError()), kMutexName};
        return false;
    }
    const CMutexHold hold(mutex.get());
    state.mutex = mutex.get();
    const bool loaded = LoadHoldingMutex(state, failure);
    state.mutex = nullptr;
    return loaded;
}

}  // namespace

}  // namespace driver_loader

bool OpenDriverAccess() {
    using namespace driver_loader;
    if (g_loader.openCount != 0) {
        ++g_loader.openCount;
        return true;
    }
    g_loader.state = LoaderState{};
    g_loader.failure = {};
    if (!LoadDriverAccess(g_loader.state, g_loader.failure)) return false;
    g_loader.failure = {};
    g_loader.openCount = 1;
    return true;
}

const tagDriverAccessFailure& DriverAccessFailure() { return driver_loader::g_loader.failure; }
