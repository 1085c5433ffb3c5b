// Records of child commands, logons and the desktop suite's doubles in the simulated host's state.
#include "simhost/host_records.h"

#include "simhost/host_store.h"
#include "text/text_encoding.h"

namespace sim::host {

using nlohmann::json;

namespace {

std::vector<std::string> Strings(const json& list) {
    std::vector<std::string> result;
    if (!list.is_array()) return result;
    for (const json& entry : list)
        if (entry.is_string()) result.push_back(entry.get<std::string>());
    return result;
}

const json& Path(const json& document, std::initializer_list<const char*> names) {
    static const json empty;
    const json* at = &document;
    for (const char* name : names) {
        if (!at->is_object() || !at->contains(name)) return empty;
        at = &(*at)[name];
    }
    return *at;
}

}  // namespace

void RecordChildCommand(const std::wstring& commandLine) {
    Update([&](json& d) { d["childCommands"].push_back(WideToUtf8(commandLine)); });
}

std::vector<std::wstring> ChildCommands() {
    std::vector<std::wstring> result;
    const json document = Load();
    for (const std::string& line : Strings(Path(document, {"childCommands"})))
        result.push_back(Utf8ToWide(line));
    return result;
}

void RecordLogon() {
    Update([](json& d) {
        const json& count = Path(d, {"logons"});
        d["logons"] = (count.is_number_unsigned() ? count.get<std::uint32_t>() : 0u) + 1;
    });
}

std::uint32_t Logons() {
    const json document = Load();
    const json& count = Path(document, {"logons"});
    return count.is_number_unsigned() ? count.get<std::uint32_t>() : 0u;
}

void RecordSuiteExport(const std::string& file) {
    Update([&](json& d) { d["suite"]["exports"].push_back(file); });
}

std::vector<std::string> SuiteExports() {
    const json document = Load();
    return Strings(Path(document, {"suite", "exports"}));
}

void RecordSuiteImport(const SuiteImport& import) {
    Update([&](json& d) {
        d["suite"]["imports"].push_back({{"file", import.file}, {"data", HexOf(import.bytes)}});
    });
}

std::vector<SuiteImport> SuiteImports() {
    std::vector<SuiteImport> result;
    const json document = Load();
    const json& list = Path(document, {"suite", "imports"});
    if (!list.is_array()) return result;
    for (const json& entry : list) {
        if (!entry.is_object()) continue;
        SuiteImport import;
        import.file = entry.value("file", std::string());
        import.bytes = BytesOfHex(entry.value("data", std::string()));
        result.push_back(import);
    }
    return result;
}

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string BytesOfHex(const std::string& hex) {
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = value(hex[i]);
        const int low = value(hex[i + 1]);
        if (high < 0 || low < 0) break;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

}  // namespace sim::host
