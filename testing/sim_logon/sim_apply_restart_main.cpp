// Applies what waits for a restart of the simulated machine (a pending display-driver disable); the
// Wine tests run it before they end the Wine session, whose next start runs the RunOnce entries.
#include "simhost/host_restart.h"

int main() {
    sim::host::SimulateRestart();
    return 0;
}
