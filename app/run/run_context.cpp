// The run context's release of what the run holds.
#include "app/run/run_context.h"

void CRunContext::Release() {
    if (scanner.devices) scanner.devices->SetCount(0);
    run.Release();
}
