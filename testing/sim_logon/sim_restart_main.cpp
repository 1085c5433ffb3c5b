// Restarts the simulated machine and logs on: ovn_sim_restart [input-file [output-file]].
#include <cstdio>

#include "testing/sim_logon/simulated_logon.h"
#include "text/text_encoding.h"

int main(int argc, char** argv) {
    tagLogonStreams streams;
    if (argc > 1) streams.input = argv[1];
    if (argc > 2) streams.output = argv[2];
    for (const tagRunOnceResult& result : SimulateRestartAndLogon(streams)) {
        std::fprintf(stderr, "run once: %s (exit code %d)\n",
                     WideToUtf8(result.commandLine).c_str(), result.exitCode);
    }
    return 0;
}
