// The desktop suite's command-line tool as a double on the simulated machine: /export writes the
// machine file's settings bytes, /import records the bytes it read, both in the state directory.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "sim/sim_machine.h"
#include "simhost/host_records.h"
#include "simhost/host_store.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string file = argv[2];
    if (std::strcmp(argv[1], "/export") == 0) {
        const sim::SuiteConfig& suite = sim::CurrentMachine().Config().suite;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << suite.settings;
        sim::host::RecordSuiteExport(file);
        // An export that hangs after its work, as a suite waiting on its core can. It goes with
        // the simulated machine's state directory, so no test leaves it behind.
        while (suite.exportNeverEnds && std::filesystem::exists(sim::host::StateDirectory()))
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    }
    if (std::strcmp(argv[1], "/import") == 0) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return 1;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        sim::host::RecordSuiteImport({file, bytes});
        return 0;
    }
    return 2;
}
