// Whole runs with the JTAG trace switched on in the simulated registry: the trace the utility's
// ports write equals, card for card, the one the simulated chains write of the same run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simhost/host_registry.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Lines per card (the place before the first blank), in their order; PACE lines apart.
struct CardLines {
    std::map<std::string, std::vector<std::string>> records, pace;
};
CardLines SplitByCard(const std::string& text) {
    CardLines cards;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::string place = line.substr(0, line.find(' '));
        if (line.compare(place.size(), 6, " PACE ") == 0) {
            cards.pace[place].push_back(line);
        } else {
            cards.records[place].push_back(line);
        }
    }
    return cards;
}

std::vector<std::string> FilesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

std::string RunIdOf(const fs::path& resultFile) {
    const std::string text = ReadAll(resultFile);
    const std::string member = "\"runId\": \"";
    const std::size_t at = text.find(member);
    if (at == std::string::npos) return "";
    const std::string id = text.substr(at + member.size(), 32);
    return id.find_first_not_of("0123456789abcdef") == std::string::npos ? id : "";
}

// "<place> PACE delay=<digits> writesPerSecond=<digits>"
bool IsPaceLine(const std::string& line, const std::string& place) {
    const std::string delay = place + " PACE delay=";
    const std::string rateName = " writesPerSecond=";
    const std::size_t rate = line.find(rateName);
    if (line.rfind(delay, 0) != 0 || rate == std::string::npos || rate == delay.size())
        return false;
    const std::string digits = "0123456789";
    const std::string rateDigits = line.substr(rate + rateName.size());
    return line.substr(delay.size(), rate - delay.size()).find_first_not_of(digits) ==
               std::string::npos &&
           !rateDigits.empty() && rateDigits.find_first_not_of(digits) == std::string::npos;
}

}  // namespace

TEST(TraceRun, TheUtilitysTraceEqualsTheSimulatedChainsCardForCardOncePacingIsLeftOut) {
    UpdaterSandbox box;
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
    sim::host::RegistrySetDword(sim::host::RegistryView::k32, kUtilityKey, L"Trace", 1);
    const fs::path chainTrace = box.Root() / "chain-trace.txt";
    box.SetEnvironment("OVN_SIM_TRACE", chainTrace.string());
    box.WriteFile("demo.xsvf", DemoImage());

    const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    ASSERT_EQ(run.exitCode, 0) << run.console << run.errors;

    const std::string runId = RunIdOf(box.WorkingFolder() / "last-run.json");
    ASSERT_EQ(runId.size(), 32u);
    const fs::path portTrace = box.WorkingFolder() / ("trace-" + runId + ".txt");
    ASSERT_TRUE(fs::is_regular_file(portTrace))
        << "working folder holds: "
        << ::testing::PrintToString(FilesStartingWith(box.WorkingFolder(), ""));
    EXPECT_EQ(FilesStartingWith(box.WorkingFolder(), "trace-").size(), 1u)
        << "a temporary name was left beside the trace";
    EXPECT_NE(box.LogBytes().find("The JTAG trace is in "), std::string::npos);

    const CardLines port = SplitByCard(ReadAll(portTrace));
    const CardLines chain = SplitByCard(ReadAll(chainTrace));
    ASSERT_EQ(port.records.size(), 2u) << ReadAll(portTrace).substr(0, 2000);
    for (const auto& [place, lines] : chain.records) {
        SCOPED_TRACE(place);
        ASSERT_GT(lines.size(), 10u);
        EXPECT_EQ(port.records.at(place), lines);
        ASSERT_EQ(port.pace.at(place).size(), 1u);
        EXPECT_TRUE(IsPaceLine(port.pace.at(place)[0], place)) << port.pace.at(place)[0];
    }
    EXPECT_TRUE(chain.pace.empty());

    // What a lab does with a real card's trace: the image check tool's simulated play of the same
    // image gives the trace a good card gives, and the diff script finds each card's trace equal
    // to it.
    const fs::path expected = box.Root() / "expected-trace.txt";
    const std::string check = std::string(OVN_XSVFCHECK_PATH) + " --trace '" + expected.string() +
                              "' '" + (box.Root() / "demo.xsvf").string() + "' >/dev/null";
    ASSERT_EQ(std::system(check.c_str()), 0) << check;
    for (const char* place : {"03:00.0", "04:00.0"}) {
        const std::string diff = "python3 '" OVN_SOURCE_DIR
                                 "/scripts/jtag-trace-diff.py' --card-a "
                                 "03:00.0 --card-b " +
                                 std::string(place) + " '" + expected.string() + "' '" +
                                 portTrace.string() + "'";
        EXPECT_EQ(std::system(diff.c_str()), 0) << diff;
    }
}

TEST(TraceRun, WithTheValueZeroNoTraceIsWritten) {
    UpdaterSandbox box;
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
    sim::host::RegistrySetDword(sim::host::RegistryView::k32, kUtilityKey, L"Trace", 0);
    box.WriteFile("demo.xsvf", DemoImage());
    const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    ASSERT_EQ(run.exitCode, 0) << run.console << run.errors;
    EXPECT_TRUE(FilesStartingWith(box.WorkingFolder(), "trace-").empty());
    EXPECT_EQ(box.LogBytes().find("JTAG trace"), std::string::npos);
}
