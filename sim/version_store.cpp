// Files of the state directory that keep FPGA versions between processes.
#include "sim/version_store.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace sim {

std::filesystem::path StateDirectoryFromEnvironment() {
    const char* value = std::getenv("OVN_SIM_STATE");
    if (value && *value) return std::filesystem::path(value);
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) temp = ".";
    return temp / "ovn-sim-state";
}

std::filesystem::path StoredVersionFile(const std::filesystem::path& directory,
                                        std::uint16_t address) {
    char name[32];
    std::snprintf(name, sizeof name, "fpga-%02X-%02X-%u.version", address >> 8,
                  (address >> 3) & 0x1F, address & 7u);
    return directory / name;
}

std::optional<FpgaVersion> LoadStoredVersion(const std::filesystem::path& directory,
                                             std::uint16_t address) {
    std::ifstream in(StoredVersionFile(directory, address));
    std::string text;
    if (!in || !std::getline(in, text)) return std::nullopt;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return FpgaVersion::Parse(text);
}

bool StoreVersion(const std::filesystem::path& directory, std::uint16_t address,
                  const FpgaVersion& version) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    std::filesystem::path target = StoredVersionFile(directory, address);
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << version.Text() << '\n';
        if (!out.flush()) return false;
    }
    std::filesystem::rename(temporary, target, error);
    return !error;
}

}  // namespace sim
