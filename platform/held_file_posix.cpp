// Held files of the host edition: written with execute permission, held open, checked by path.
#include "platform/atomic_file.h"
#include "platform/held_file.h"

namespace platform {

struct HeldFile::Handle {
    std::unique_ptr<SafeFile> file;
};

HeldFile::HeldFile(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}
HeldFile::~HeldFile() = default;

FileResult<std::unique_ptr<HeldFile>> HeldFile::Write(const std::wstring& path,
                                                      const std::vector<std::uint8_t>& bytes) {
    // A new file takes the name: whatever was there (running, planted, a link) is not written.
    if (FileStatus written = ReplaceProgramAtomically(path, bytes); !written)
        return written.error();
    auto handle = std::make_unique<Handle>();
    FileResult<std::unique_ptr<SafeFile>> held = SafeFile::Open(path, SafeOpenMode::kHold);
    if (!held) return held.error();
    handle->file = std::move(held).value();
    return std::unique_ptr<HeldFile>(new HeldFile(path, std::move(handle)));
}

FileResult<bool> HeldFile::Holds(const std::vector<std::uint8_t>& bytes) const {
    // Without sharing modes the name may have been given to another file: open it again.
    auto again = SafeFile::Open(path_, SafeOpenMode::kHold);
    if (!again) return again.error();
    auto onDisk = (*again)->ReadAll();
    if (!onDisk) return onDisk.error();
    return *onDisk == bytes;
}

}  // namespace platform
