// The Windows handle kinds as ovn::ScopedHandle traits: one place that says what a valid handle of
// each kind is and how it is closed. Included by _win.cpp files only.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

namespace ovn {

// Kernel objects (files, processes, threads, pipes, mutexes, mappings, events, snapshots): the
// creating calls report failure either as null or as INVALID_HANDLE_VALUE, so neither is held.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

// A FindFirstFileW search.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Type handle) noexcept { FindClose(handle); }
};

// An open registry key (never one of the predefined roots, which are not closed).
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type key) noexcept {
        return key != nullptr && key != static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    static void Close(Type key) noexcept { RegCloseKey(key); }
};

// The service manager or one service.
struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type handle) noexcept { return handle != nullptr; }
    static void Close(Type handle) noexcept { CloseServiceHandle(handle); }
};

// A library this process loaded itself (not one had from GetModuleHandle, which holds no
// reference).
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type module) noexcept { return module != nullptr; }
    static void Close(Type module) noexcept { FreeLibrary(module); }
};

// An object of a library loaded at run time (SetupAPI's device information sets, INF files and file
// queues), closed by that library's own function: the handle travels with its closing function.
template <typename Handle, typename CloseFn>
struct LibraryObjectTraits {
    struct Type {
        Handle handle;
        CloseFn close;
    };
    static Type Invalid() noexcept { return {nullptr, nullptr}; }
    static bool IsValid(Type object) noexcept {
        return object.close != nullptr && object.handle != nullptr &&
               object.handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Type object) noexcept { object.close(object.handle); }
};

template <typename Handle, typename CloseFn>
using ScopedLibraryObject = ScopedHandle<LibraryObjectTraits<Handle, CloseFn>>;

template <typename Handle, typename CloseFn>
ScopedLibraryObject<Handle, CloseFn> MakeScopedLibraryObject(Handle handle, CloseFn close) {
    return ScopedLibraryObject<Handle, CloseFn>({handle, close});
}

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedRegistryKey = ScopedHandle<RegistryKeyTraits>;
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;
using ScopedModule = ScopedHandle<ModuleTraits>;

}  // namespace ovn
