// Description of a simulated machine: its K740 cards, other PCI functions and processor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "sim/fpga_version.h"
#include "sim/jtag_chain.h"
#include "sim/scripted_device.h"

namespace sim {

enum class BarKind { Bar64, Bar32 };
enum class ChainKind { Fpga, Scripted };

struct CardFaults {
    bool mapFails = false;      // memMap64 of the aperture returns 0
    bool i2cNeverDone = false;  // the I2C engine's done bit never comes
    ChainFaults chain;          // TDO stuck, chain dead after N bits
};

// How a disable of the card's display function behaves in the simulated device manager.
enum class DisableBehaviour { AtOnce, AfterRestart, Fails };
// The device-console command that never ends on this card (until the process is ended).
enum class ToolHang { None, DriverFiles, Disable, Enable };

// A display driver installed for the card: its INF (a name under the Windows INF directory), the
// INF section it was installed from, and the full target paths of the files that section installs.
struct DisplayDriverConfig {
    std::string infPath;
    std::string infSection;
    std::vector<std::string> files;
};

// The card's display function as the device manager shows it.
struct DisplayDeviceConfig {
    std::string description = "Video Controller";
    std::optional<DisplayDriverConfig> driver;
    DisableBehaviour disable = DisableBehaviour::AtOnce;
    bool queryFails = false;   // "driverQuery": "fails": the device listing itself fails
    bool enableFails = false;  // "enable": "fails"
    ToolHang hang = ToolHang::None;
};

struct CardConfig {
    std::uint8_t bus = 0, device = 0, function = 0;
    BarKind bar = BarKind::Bar64;
    std::uint64_t aperture = 0;    // 64 KiB aligned physical address of the register aperture
    std::uint8_t barFlags = 0x04;  // low byte of the aperture BAR's lower dword
    FpgaVersion version{1, 2, 7, 0};
    std::uint32_t idcode = 0x0A740093;
    std::uint32_t writeCost = 0;  // 1/4096 counter counts per register write
    std::uint8_t revision = 0;
    std::uint16_t command = 0;  // initial PCI command register (bit 1: memory space enable)
    std::uint32_t dwordE0 = 0x00000003;
    CardFaults faults;
    ChainKind chain = ChainKind::Fpga;
    std::vector<ScriptStep> script;
    DisplayDeviceConfig display;
};

struct FunctionConfig {
    std::uint8_t bus = 0, device = 0, function = 0;
    std::uint16_t vendor = 0, deviceId = 0;
    std::uint32_t subsystem = 0;
    std::uint32_t classCode = 0;  // base class, subclass, programming interface (24 bits)
    std::uint8_t headerType = 0;
};

// The desktop suite's doubles read this: the bytes their export writes, and an export that hangs.
struct SuiteConfig {
    std::string settings;  // "settings" (text) or "settingsHex" in the machine file
    bool exportNeverEnds = false;
};

// A driver that the library cannot bring into service: the system call that fails and its error.
// An empty call: the driver answers.
using DriverFault = ovn::Error;

struct MachineConfig {
    bool driverLibrary = true;
    DriverFault driverFault;
    bool windows64 = true;  // a 32-bit utility then runs under WOW64
    SuiteConfig suite;
    std::uint32_t processorMhz = 3000;
    // How many times faster than wall time the host edition's process clock and pauses run, so
    // that whole cycles with their fixed pauses fit into a test suite.
    std::uint32_t timeScale = 1;
    // Register writes let through before every further one is held (sim/late_writes.h); 0: none.
    std::uint32_t stallWritesAfter = 0;
    // "stallUntil": "exit": the held writes never go on, as a register access that never returns
    // (a card that hangs the bus); "stop" (the default) lets them go once the plays are stopped.
    bool stallUntilExit = false;
    std::vector<CardConfig> cards;
    std::vector<FunctionConfig> functions;
};

// Two K740 cards (03:00.0 with a 64-bit BAR above 4 GiB, version 1.2.7; 04:00.0 with a 32-bit BAR,
// version 1.3.0), a bridge, the first card's audio function and an AMD 0x6828 of another maker.
MachineConfig DefaultMachineConfig();

// Parses a machine file's text. On a fault, returns false and sets fault to "<where>: <what>",
// e.g. "cards[1].bar: expected \"64\" or \"32\"".
bool ParseMachineConfig(const std::string& text, MachineConfig& config, std::string& fault);

}  // namespace sim
