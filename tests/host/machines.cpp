// Builds machine files in the simulator's JSON format.
#include "tests/host/machines.h"

std::vector<tagTestCard> DefaultCards() {
    tagTestCard first;
    tagTestCard second;
    second.address = "04:00.0";
    second.bar = "32";
    second.aperture = "0xD0000000";
    second.version = "1.3.0";
    return {first, second};
}

std::string MachineJson(const std::vector<tagTestCard>& cards, bool driverLibrary,
                        const std::string& extraMembers) {
    std::string json = "{\"driverLibrary\": ";
    json += driverLibrary ? "true" : "false";
    json += ", \"processorMhz\": 3000, \"cards\": [";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const tagTestCard& c = cards[i];
        if (i) json += ", ";
        const std::string bus = c.address.substr(0, 2), dev = c.address.substr(3, 2),
                          fn = c.address.substr(6, 1);
        json += "{\"bus\": \"0x" + bus + "\", \"device\": \"0x" + dev + "\", \"function\": " + fn +
                ", \"bar\": \"" + c.bar + "\", \"aperture\": \"" + c.aperture +
                "\", \"version\": \"" + c.version +
                "\", \"writeCost\": " + std::to_string(c.writeCost) + ", \"faults\": " + c.faults +
                (c.display.empty() ? "" : ", \"display\": " + c.display) + "}";
    }
    json += "], \"functions\": []";
    if (!extraMembers.empty()) json += ", " + extraMembers;
    json += "}";
    return json;
}

unsigned WriteCostForDelay(unsigned delayCount) {
    // A calibration pass measures writeCost + 1 counts for its 4096 writes; the rate is
    // processorMhz * 10 / counts, truncated.
    return 30000 / delayCount - 1;
}
