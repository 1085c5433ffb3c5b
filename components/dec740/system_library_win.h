// A system library loaded from System32 only, owned for its lifetime, with its entry points
// resolved at run time: the tool imports nothing but KnownDLLs, because it runs elevated from a
// directory that others may write.
#pragma once

#include <windows.h>

#include <memory>

#include "base/win_handles_win.h"
#include "components/dec740/device_manager.h"

namespace dec740 {

class SystemLibrary {
public:
    // name is a file name such as L"setupapi.dll"; it is looked for in System32 and nowhere else.
    static ovn::Result<std::shared_ptr<SystemLibrary>> Load(const wchar_t* name);

    // Resolves one entry point into fn; false (with the error recorded) when it is missing.
    template <typename Fn>
    bool Resolve(const char* name, Fn& fn, std::optional<ovn::Error>& error) {
        FARPROC address = GetProcAddress(module_.get(), name);
        if (!address) {
            if (!error)
                error = ovn::CallError(std::string("GetProcAddress ") + name, GetLastError());
            return false;
        }
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
        return true;
    }

private:
    explicit SystemLibrary(ovn::ScopedModule module) : module_(std::move(module)) {}
    ovn::ScopedModule module_;
};

}  // namespace dec740
