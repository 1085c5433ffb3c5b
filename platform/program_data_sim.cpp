// The host edition's program-data folder lives in the simulated machine's state directory.
#include "platform/program_data.h"
#include "platform/text_encoding.h"
#include "sim/host_store.h"

namespace platform {

std::optional<std::wstring> ProgramDataDirectory() {
    const std::filesystem::path folder = sim::host::StateDirectory() / "ProgramData";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return std::nullopt;
    return Utf8ToWide(folder.string());
}

}  // namespace platform
