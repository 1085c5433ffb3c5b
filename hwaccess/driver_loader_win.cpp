// Opens the driver-access library OvnVxd.dll, installing its embedded components first when the
// library is not yet in the system directory; serialised across processes by a named mutex.
#include <windows.h>

#include "hwaccess/component_plan.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

LoaderState g_state{};
int g_openCount = 0;

bool OpenSharedBlock(LoaderState& state) {
    bool created = false;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSharedBlockName);
    if (mapping == nullptr) {
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(SharedWrapData), kSharedBlockName);
        // Another process may have created it between the two calls; its words are then kept.
        created = mapping != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    }
    if (mapping == nullptr) return false;
    state.mapping = mapping;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view == nullptr) return false;
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

// Only the installed copy is ever loaded: the utility runs elevated, and a search by bare name
// would also accept an OvnVxd.dll planted beside the exe or in the current directory.
HMODULE LoadInstalledLibrary(const LoaderState& state) {
    const bool wow64Dir = LibraryInWow64Dir(state.is64BitOs, sizeof(void*) == 8);
    std::string path;
    if (!BuildSystemPath(kLibraryName, wow64Dir, path)) return nullptr;
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Runs with the mutex held. Whatever it leaves open on success stays open for the process's life.
bool LoadHoldingMutex(LoaderState& state) {
    if (!OpenSharedBlock(state)) return false;
    if (!CheckPlatform(state)) {
        CloseSharedBlock(state);
        return false;
    }
    HMODULE module = LoadInstalledLibrary(state);
    if (module != nullptr) {
        ++state.view->loadCount;
        driver_access::SetLoadedModule(module);
        return true;
    }
    if (!InstallComponents(state.is64BitOs)) {
        CloseSharedBlock(state);
        return false;
    }
    if (!CreateUninstallEntry(state.is64BitOs)) {
        RemoveComponents(state.is64BitOs);
        CloseSharedBlock(state);
        return false;
    }
    module = LoadInstalledLibrary(state);
    if (module == nullptr) {
        DeleteUninstallEntry(state.is64BitOs);
        RemoveComponents(state.is64BitOs);
        CloseSharedBlock(state);
        return false;
    }
    state.view->installed = 1;
    ++state.view->loadCount;
    driver_access::SetLoadedModule(module);
    return true;
}

bool LoadDriverAccess(LoaderState& state) {
    if (state.mutex == nullptr) state.mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (state.mutex == nullptr) return false;
    // An abandoned mutex means another loader died mid-installation: do not trust its state.
    if (WaitForSingleObject(state.mutex, kMutexWaitMs) != WAIT_OBJECT_0) return false;
    const bool loaded = LoadHoldingMutex(state);
    ReleaseMutex(state.mutex);
    CloseHandle(state.mutex);
    state.mutex = nullptr;
    return loaded;
}

}  // namespace

}  // namespace driver_loader

bool OpenDriverAccess() {
    using namespace driver_loader;
    if (g_openCount != 0) {
        ++g_openCount;
        return true;
    }
    g_state = LoaderState{};
    if (!LoadDriverAccess(g_state)) return false;
    g_openCount = 1;
    return true;
}
