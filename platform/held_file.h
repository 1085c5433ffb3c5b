// A file that the utility writes and then holds open, so nobody can change or delete it meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/safe_file.h"

namespace platform {

// Written as a new file renamed over the name (ReplaceProgramAtomically: nothing planted under the
// name is written or kept), then opened as SafeFile does. Windows: held with read (and so execute)
// sharing only until the object goes. The host edition has no sharing modes: the file is held, and
// the check opens the path again, so a replaced file is found out.
class HeldFile {
public:
    // Writes the bytes as a new file under the name and holds it.
    [[nodiscard]] static FileResult<std::unique_ptr<HeldFile>> Write(
        const std::wstring& path, const std::vector<std::uint8_t>& bytes);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // Whether the file on disk holds exactly these bytes; the error when it could not be read.
    [[nodiscard]] FileResult<bool> Holds(const std::vector<std::uint8_t>& bytes) const;

    struct Handle;

private:
    HeldFile(std::wstring path, std::unique_ptr<Handle> handle);
    std::wstring path_;
    std::unique_ptr<Handle> handle_;
};

}  // namespace platform
