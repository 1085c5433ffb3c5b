// Control for dec740's planted-library test: loads setupapi.dll and cfgmgr32.dll by name, the usual
// way. Started beside planted copies, it must load them, which shows that Wine searches there.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

int main() {
    for (const wchar_t* name : {L"setupapi.dll", L"cfgmgr32.dll"}) {
        HMODULE module = LoadLibraryW(name);
        std::printf("%ls %s\n", name, module ? "loaded" : "not loaded");
        if (module) FreeLibrary(module);
    }
    return 0;
}
