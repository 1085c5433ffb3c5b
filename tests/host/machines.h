// Machine files for whole runs: the default cards, with the changes a test needs.
#pragma once

#include <string>
#include <vector>

struct tagTestCard {
    std::string address = "03:00.0";  // bus:device.function in hexadecimal
    std::string bar = "64";
    std::string aperture = "0x1F00000000";
    std::string version = "1.2.7";
    unsigned writeCost = 0;     // calibration: delayCount = 30000 / (writeCost + 1), at most 64
    std::string faults = "{}";  // JSON object of the card's faults
    std::string display;        // JSON object of the card's display function; empty: none
};

// The two cards of the default machine (03:00.0 64-bit BAR, 04:00.0 32-bit BAR).
std::vector<tagTestCard> DefaultCards();
// extraMembers: more members of the machine object, e.g. "\"suite\": {...}".
std::string MachineJson(const std::vector<tagTestCard>& cards, bool driverLibrary = true,
                        const std::string& extraMembers = "");

// The console's banner, and the card list of the default machine, as a run shows them.
inline constexpr const char* kBanner =
    "\n\nOrvane K740 FPGA Update Utility - Version 1.0.0.21\nCopyright (C) Orvane Graphics Inc. "
    "2016\n\n";
inline constexpr const char* kDefaultList =
    "   Found 2 Orvane K740 graphics cards:\n"
    "   PCIe Bus: 0x0300   FPGA version: 1.2.7\n"
    "   PCIe Bus: 0x0400   FPGA version: 1.3.0\n";

// writeCost that calibrates a card to the given delay count (below 64) on a 3000 MHz machine.
unsigned WriteCostForDelay(unsigned delayCount);
