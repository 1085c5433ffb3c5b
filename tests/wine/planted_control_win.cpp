// Control for the planted-library test: a program that imports powrprof.dll the usual way. Started
// beside the planted copy, it must load it, which shows that Wine searches as Windows does there.
#include <windows.h>
// powrprof.h needs the types of windows.h first.
#include <powrprof.h>

#include <cstdio>

int main() {
    unsigned char records[24 * 64] = {};
    const LONG status =
        CallNtPowerInformation(ProcessorInformation, nullptr, 0, records, sizeof records);
    std::printf("status=%08lX\n", static_cast<unsigned long>(status));
    return 0;
}
