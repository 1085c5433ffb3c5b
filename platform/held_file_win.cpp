// Held files of the Windows edition: written new, then kept open with read sharing only.
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
    // A new file with the folder's descriptor takes the name; nothing planted there is written.
    if (FileStatus written = ReplaceProgramAtomically(path, bytes); !written)
        return written.error();
    // Read sharing admits the start of the program and denies writers, deleters and renamers. The
    // moment between the two opens is covered by Holds, which reads through this handle.
    auto handle = std::make_unique<Handle>();
    FileResult<std::unique_ptr<SafeFile>> held = SafeFile::Open(path, SafeOpenMode::kHold);
    if (!held) return held.error();
    handle->file = std::move(held).value();
    return std::unique_ptr<HeldFile>(new HeldFile(path, std::move(handle)));
}

FileResult<bool> HeldFile::Holds(const std::vector<std::uint8_t>& bytes) const {
    auto onDisk = handle_->file->ReadAll();
    if (!onDisk) return onDisk.error();
    return *onDisk == bytes;
}

}  // namespace platform
