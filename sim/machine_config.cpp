// The default machine and the machine-file reader (nlohmann-json), with faults that say where.
#include "sim/machine_config.h"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

namespace sim {

namespace {

using nlohmann::json;

struct Fault {
    std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw Fault{where + ": " + what};
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// A number written as a JSON integer or as a string in decimal or "0x" hexadecimal.
std::uint64_t Number(const json& value, const std::string& where, std::uint64_t max) {
    std::uint64_t n = 0;
    if (value.is_number_unsigned()) {
        n = value.get<std::uint64_t>();
    } else if (value.is_number_integer()) {
        Fail(where, "expected a number from 0 to " + std::to_string(max));
    } else if (value.is_string()) {
        std::string text = value.get<std::string>();
        bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        std::size_t start = hex ? 2 : 0;
        if (text.size() == start) Fail(where, "expected a number, got \"" + text + "\"");
        for (std::size_t i = start; i < text.size(); ++i) {
            char c = text[i];
            unsigned digit;
            if (c >= '0' && c <= '9') {
                digit = static_cast<unsigned>(c - '0');
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned>(c - 'a' + 10);
            } else if (hex && c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                Fail(where, "expected a number, got \"" + text + "\"");
            }
            unsigned base = hex ? 16 : 10;
            if (n > (std::numeric_limits<std::uint64_t>::max() - digit) / base) {
                Fail(where, "number too large");
            }
            n = n * base + digit;
        }
    } else {
        Fail(where, "expected a number");
    }
    if (n > max) Fail(where, Hex(n) + " is larger than " + Hex(max));
    return n;
}

bool Bool(const json& value, const std::string& where) {
    if (!value.is_boolean()) Fail(where, "expected true or false");
    return value.get<bool>();
}

std::string String(const json& value, const std::string& where) {
    if (!value.is_string()) Fail(where, "expected a string");
    return value.get<std::string>();
}

void OnlyKeys(const json& object, const std::string& where,
              std::initializer_list<const char*> keys) {
    if (!object.is_object()) Fail(where, "expected an object");
    for (const auto& item : object.items()) {
        bool known = false;
        for (const char* key : keys) known = known || item.key() == key;
        if (!known) Fail(where.empty() ? item.key() : where + "." + item.key(), "unknown key");
    }
}

template <typename T>
void Optional(const json& object, const char* key, const std::string& where, T& out,
              std::uint64_t max) {
    if (object.contains(key)) out = static_cast<T>(Number(object[key], where + "." + key, max));
}

void Address(const json& object, const std::string& where, std::uint8_t& bus, std::uint8_t& device,
             std::uint8_t& function) {
    for (const char* key : {"bus", "device", "function"}) {
        if (!object.contains(key)) Fail(where + "." + key, "missing");
    }
    bus = static_cast<std::uint8_t>(Number(object["bus"], where + ".bus", 255));
    device = static_cast<std::uint8_t>(Number(object["device"], where + ".device", 31));
    function = static_cast<std::uint8_t>(Number(object["function"], where + ".function", 7));
}

ScriptStep ReadStep(const json& object, const std::string& where) {
    OnlyKeys(object, where, {"scan", "tdo", "bits"});
    ScanKind kind = ScanKind::Any;
    if (object.contains("scan")) {
        std::string scan = String(object["scan"], where + ".scan");
        if (scan == "ir") {
            kind = ScanKind::Ir;
        } else if (scan == "dr") {
            kind = ScanKind::Dr;
        } else if (scan != "any") {
            Fail(where + ".scan", "expected \"ir\", \"dr\" or \"any\"");
        }
    }
    std::string tdo =
        object.contains("tdo") ? String(object["tdo"], where + ".tdo") : std::string();
    std::optional<std::uint64_t> bits;
    if (object.contains("bits")) bits = Number(object["bits"], where + ".bits", tdo.size() * 4);
    auto step = ScriptStep::FromHex(kind, tdo, bits);
    if (!step) Fail(where + ".tdo", "expected hexadecimal digits");
    return *step;
}

void ReadFaults(const json& object, const std::string& where, CardFaults& faults) {
    OnlyKeys(object, where, {"mapFails", "i2cNeverDone", "tdoStuck", "failAfterBits"});
    if (object.contains("mapFails"))
        faults.mapFails = Bool(object["mapFails"], where + ".mapFails");
    if (object.contains("i2cNeverDone")) {
        faults.i2cNeverDone = Bool(object["i2cNeverDone"], where + ".i2cNeverDone");
    }
    if (object.contains("tdoStuck") && !object["tdoStuck"].is_null()) {
        faults.chain.tdoStuck =
            static_cast<int>(Number(object["tdoStuck"], where + ".tdoStuck", 1));
    }
    Optional(object, "failAfterBits", where, faults.chain.failAfterBits,
             std::numeric_limits<std::uint64_t>::max());
}

DisplayDriverConfig ReadDisplayDriver(const json& object, const std::string& where) {
    OnlyKeys(object, where, {"infPath", "infSection", "files"});
    DisplayDriverConfig driver;
    for (const char* key : {"infPath", "infSection"}) {
        if (!object.contains(key)) Fail(where + "." + key, "missing");
    }
    driver.infPath = String(object["infPath"], where + ".infPath");
    driver.infSection = String(object["infSection"], where + ".infSection");
    if (object.contains("files")) {
        const json& files = object["files"];
        if (!files.is_array()) Fail(where + ".files", "expected an array");
        for (std::size_t i = 0; i < files.size(); ++i) {
            driver.files.push_back(String(files[i], where + ".files[" + std::to_string(i) + "]"));
        }
    }
    return driver;
}

DisplayDeviceConfig ReadDisplay(const json& object, const std::string& where) {
    OnlyKeys(object, where, {"description", "driver", "disable", "driverQuery", "enable", "hang"});
    DisplayDeviceConfig display;
    if (object.contains("description")) {
        display.description = String(object["description"], where + ".description");
    }
    if (object.contains("driver") && !object["driver"].is_null()) {
        display.driver = ReadDisplayDriver(object["driver"], where + ".driver");
    }
    if (object.contains("disable")) {
        std::string disable = String(object["disable"], where + ".disable");
        if (disable == "afterRestart") {
            display.disable = DisableBehaviour::AfterRestart;
        } else if (disable == "fails") {
            display.disable = DisableBehaviour::Fails;
        } else if (disable != "atOnce") {
            Fail(where + ".disable", "expected \"atOnce\", \"afterRestart\" or \"fails\"");
        }
    }
    for (const char* key : {"driverQuery", "enable"}) {
        if (!object.contains(key)) continue;
        const std::string value = String(object[key], where + "." + key);
        if (value != "fails" && value != "works")
            Fail(where + "." + key, "expected \"works\" or \"fails\"");
        (std::string(key) == "enable" ? display.enableFails : display.queryFails) =
            value == "fails";
    }
    if (object.contains("hang")) {
        const std::string hang = String(object["hang"], where + ".hang");
        if (hang == "driverfiles") {
            display.hang = ToolHang::DriverFiles;
        } else if (hang == "disable") {
            display.hang = ToolHang::Disable;
        } else if (hang == "enable") {
            display.hang = ToolHang::Enable;
        } else {
            Fail(where + ".hang", "expected \"driverfiles\", \"disable\" or \"enable\"");
        }
    }
    return display;
}

CardConfig ReadCard(const json& object, const std::string& where) {
    OnlyKeys(
        object, where,
        {"bus", "device", "function", "bar", "aperture", "barFlags", "version", "idcode",
         "writeCost", "revision", "command", "dwordE0", "faults", "chain", "script", "display"});
    CardConfig card;
    Address(object, where, card.bus, card.device, card.function);
    if (!object.contains("bar")) Fail(where + ".bar", "missing");
    std::string bar = object["bar"].is_string() ? object["bar"].get<std::string>() : "";
    if (bar == "64") {
        card.bar = BarKind::Bar64;
        card.barFlags = 0x04;
    } else if (bar == "32") {
        card.bar = BarKind::Bar32;
        card.barFlags = 0x00;
    } else {
        Fail(where + ".bar", "expected \"64\" or \"32\"");
    }
    if (!object.contains("aperture")) Fail(where + ".aperture", "missing");
    std::uint64_t maxAperture = card.bar == BarKind::Bar32 ? 0xFFFF0000ull : 0xFFFFFFFFFFFF0000ull;
    card.aperture = Number(object["aperture"], where + ".aperture", maxAperture);
    if (card.aperture == 0 || (card.aperture & 0xFFFF) != 0) {
        Fail(where + ".aperture", Hex(card.aperture) + " is not a nonzero multiple of 64 KiB");
    }
    Optional(object, "barFlags", where, card.barFlags, 0xFF);
    if (object.contains("version")) {
        auto version = FpgaVersion::Parse(String(object["version"], where + ".version"));
        if (!version) Fail(where + ".version", "expected major.minor.patch[.build], each 0 to 255");
        card.version = *version;
    }
    Optional(object, "idcode", where, card.idcode, 0xFFFFFFFFu);
    Optional(object, "writeCost", where, card.writeCost, 0xFFFFFFFFu);
    Optional(object, "revision", where, card.revision, 0xFF);
    Optional(object, "command", where, card.command, 0xFFFF);
    Optional(object, "dwordE0", where, card.dwordE0, 0xFFFFFFFFu);
    if (object.contains("faults")) ReadFaults(object["faults"], where + ".faults", card.faults);
    if (object.contains("chain")) {
        std::string chain = String(object["chain"], where + ".chain");
        if (chain == "scripted") {
            card.chain = ChainKind::Scripted;
        } else if (chain != "fpga") {
            Fail(where + ".chain", "expected \"fpga\" or \"scripted\"");
        }
    }
    if (object.contains("script")) {
        if (card.chain != ChainKind::Scripted)
            Fail(where + ".script", "needs \"chain\": \"scripted\"");
        const json& script = object["script"];
        if (!script.is_array()) Fail(where + ".script", "expected an array");
        for (std::size_t i = 0; i < script.size(); ++i) {
            card.script.push_back(
                ReadStep(script[i], where + ".script[" + std::to_string(i) + "]"));
        }
    }
    if (object.contains("display"))
        card.display = ReadDisplay(object["display"], where + ".display");
    return card;
}

void ReadDriverFault(const json& object, DriverFault& fault) {
    OnlyKeys(object, "driverFault", {"call", "code"});
    if (!object.contains("call")) Fail("driverFault.call", "missing");
    fault.call = String(object["call"], "driverFault.call");
    if (fault.call.empty() || fault.call.size() > 31)
        Fail("driverFault.call", "expected 1 to 31 characters");
    if (object.contains("code"))
        fault.code =
            static_cast<std::uint32_t>(Number(object["code"], "driverFault.code", 0xFFFFFFFFu));
}

void ReadSuite(const json& object, SuiteConfig& suite) {
    OnlyKeys(object, "suite", {"settings", "settingsHex", "exportNeverEnds"});
    if (object.contains("settings")) suite.settings = String(object["settings"], "suite.settings");
    if (object.contains("settingsHex")) {
        const std::string hex = String(object["settingsHex"], "suite.settingsHex");
        if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != hex.npos)
            Fail("suite.settingsHex", "expected pairs of hexadecimal digits");
        suite.settings.clear();
        for (std::size_t i = 0; i < hex.size(); i += 2)
            suite.settings += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    if (object.contains("exportNeverEnds"))
        suite.exportNeverEnds = Bool(object["exportNeverEnds"], "suite.exportNeverEnds");
}

FunctionConfig ReadFunction(const json& object, const std::string& where) {
    OnlyKeys(
        object, where,
        {"bus", "device", "function", "vendor", "deviceId", "subsystem", "class", "headerType"});
    FunctionConfig f;
    Address(object, where, f.bus, f.device, f.function);
    if (!object.contains("vendor")) Fail(where + ".vendor", "missing");
    f.vendor = static_cast<std::uint16_t>(Number(object["vendor"], where + ".vendor", 0xFFFF));
    if (f.vendor == 0xFFFF) Fail(where + ".vendor", "0xFFFF means no function");
    Optional(object, "deviceId", where, f.deviceId, 0xFFFF);
    Optional(object, "subsystem", where, f.subsystem, 0xFFFFFFFFu);
    Optional(object, "class", where, f.classCode, 0xFFFFFF);
    Optional(object, "headerType", where, f.headerType, 0xFF);
    return f;
}

void CheckUnique(const MachineConfig& config) {
    std::set<unsigned> addresses;
    auto place = [](unsigned b, unsigned d, unsigned f) { return (b << 8) | (d << 3) | f; };
    for (std::size_t i = 0; i < config.cards.size(); ++i) {
        const auto& c = config.cards[i];
        if (!addresses.insert(place(c.bus, c.device, c.function)).second) {
            Fail("cards[" + std::to_string(i) + "]", "PCI address used twice");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (config.cards[j].aperture == c.aperture) {
                Fail("cards[" + std::to_string(i) + "].aperture",
                     "same address as cards[" + std::to_string(j) + "]");
            }
        }
    }
    for (std::size_t i = 0; i < config.functions.size(); ++i) {
        const auto& f = config.functions[i];
        if (!addresses.insert(place(f.bus, f.device, f.function)).second) {
            Fail("functions[" + std::to_string(i) + "]", "PCI address used twice");
        }
    }
}

}  // namespace

MachineConfig DefaultMachineConfig() {
    MachineConfig config;
    CardConfig first;
    first.bus = 0x03;
    first.bar = BarKind::Bar64;
    first.aperture = 0x00000004E0000000ull;
    first.barFlags = 0x04;
    first.version = {1, 2, 7, 0};
    CardConfig second;
    second.bus = 0x04;
    second.bar = BarKind::Bar32;
    second.aperture = 0xF7E00000ull;
    second.barFlags = 0x00;
    second.version = {1, 3, 0, 0};
    config.cards = {first, second};
    config.functions = {
        {0x00, 0x01, 0, 0x1022, 0x1453, 0x00000000, 0x060400, 0x01},  // PCI bridge
        {0x03, 0x00, 1, 0x1002, 0xAAB0, 0xAAB01FA7, 0x040300, 0x80},  // the first card's audio
        {0x05, 0x00, 0, 0x1002, 0x6828, 0x0B0E1002, 0x030000, 0x00},  // another maker's board
    };
    return config;
}

bool ParseMachineConfig(const std::string& text, MachineConfig& config, std::string& fault) {
    try {
        json root;
        try {
            root = json::parse(text);
        } catch (const json::parse_error& e) {
            Fail("JSON", e.what());
        }
        OnlyKeys(root, "",
                 {"driverLibrary", "driverFault", "processorMhz", "cards", "functions", "windows64",
                  "suite", "timeScale", "stallWritesAfter", "stallUntil"});
        MachineConfig result;
        if (root.contains("driverLibrary")) {
            result.driverLibrary = Bool(root["driverLibrary"], "driverLibrary");
        }
        if (root.contains("driverFault")) ReadDriverFault(root["driverFault"], result.driverFault);
        if (root.contains("windows64")) result.windows64 = Bool(root["windows64"], "windows64");
        if (root.contains("suite")) ReadSuite(root["suite"], result.suite);
        if (root.contains("processorMhz")) {
            result.processorMhz =
                static_cast<std::uint32_t>(Number(root["processorMhz"], "processorMhz", 100000));
        }
        if (root.contains("timeScale")) {
            result.timeScale =
                static_cast<std::uint32_t>(Number(root["timeScale"], "timeScale", 1000));
            if (result.timeScale == 0) Fail("timeScale", "must be at least 1");
        }
        if (root.contains("stallWritesAfter")) {
            result.stallWritesAfter = static_cast<std::uint32_t>(
                Number(root["stallWritesAfter"], "stallWritesAfter", 100000000));
        }
        if (root.contains("stallUntil")) {
            const std::string until = String(root["stallUntil"], "stallUntil");
            if (until != "stop" && until != "exit")
                Fail("stallUntil", "expected \"stop\" or \"exit\"");
            result.stallUntilExit = until == "exit";
        }
        for (const char* key : {"cards", "functions"}) {
            if (root.contains(key) && !root[key].is_array()) Fail(key, "expected an array");
        }
        if (root.contains("cards")) {
            const json& cards = root["cards"];
            for (std::size_t i = 0; i < cards.size(); ++i) {
                result.cards.push_back(ReadCard(cards[i], "cards[" + std::to_string(i) + "]"));
            }
        }
        if (root.contains("functions")) {
            const json& functions = root["functions"];
            for (std::size_t i = 0; i < functions.size(); ++i) {
                result.functions.push_back(
                    ReadFunction(functions[i], "functions[" + std::to_string(i) + "]"));
            }
        }
        CheckUnique(result);
        config = std::move(result);
        return true;
    } catch (const Fault& f) {
        fault = f.text;
        return false;
    }
}

}  // namespace sim
