// The Windows edition's program file: opened by the module's name with read sharing only, compared
// with the image mapped in memory, and copied into the working folder from the bytes checked.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "base/win_handles_win.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/final_path_win.h"
#include "platform/program_copy.h"

namespace platform {

namespace {

using ovn::ScopedKernelHandle;

constexpr const wchar_t* kCopyName = L"OvnK740FpgaUpdater.exe";
constexpr DWORD kMaxProgramBytes = 256u << 20;

template <typename T>
bool ReadAt(const std::string& file, std::size_t offset, T& value) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    std::memcpy(&value, file.data() + offset, sizeof(T));
    return true;
}

// The file laid out as the loader maps it, relocated to where this image was loaded, compared
// with the mapped headers and every section the program cannot write. Whatever the loader itself
// writes (the import address table, the image base in the headers) is left out.
bool IsTheMappedImage(const std::string& file, const std::uint8_t* mapped) {
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS nt{};
    if (!ReadAt(file, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
    const std::size_t ntAt = static_cast<std::size_t>(dos.e_lfanew);
    if (!ReadAt(file, ntAt, nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC)
        return false;
    const auto* mappedDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(mapped);
    const auto* mappedNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(mapped + mappedDos->e_lfanew);
    if (mappedDos->e_lfanew != dos.e_lfanew ||
        mappedNt->OptionalHeader.SizeOfImage != nt.OptionalHeader.SizeOfImage ||
        mappedNt->OptionalHeader.SizeOfHeaders != nt.OptionalHeader.SizeOfHeaders)
        return false;
    const std::size_t imageSize = nt.OptionalHeader.SizeOfImage;
    const std::size_t headerSize = nt.OptionalHeader.SizeOfHeaders;
    if (headerSize > file.size() || headerSize > imageSize) return false;
    std::vector<std::uint8_t> image(imageSize, 0);
    std::memcpy(image.data(), file.data(), headerSize);
    std::vector<std::uint8_t> compared(imageSize, 0);  // 1: must equal the mapped byte
    for (std::size_t i = 0; i < headerSize; ++i) compared[i] = 1;
    const std::size_t imageBaseAt = ntAt + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                                    offsetof(IMAGE_OPTIONAL_HEADER, ImageBase);
    for (std::size_t i = 0; i < sizeof(nt.OptionalHeader.ImageBase); ++i)
        compared[imageBaseAt + i] = 0;

    const std::size_t sectionsAt =
        ntAt + offsetof(IMAGE_NT_HEADERS, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    for (WORD s = 0; s < nt.FileHeader.NumberOfSections; ++s) {
        IMAGE_SECTION_HEADER section{};
        if (!ReadAt(file, sectionsAt + s * sizeof section, section)) return false;
        const std::size_t length =
            std::min<std::size_t>(section.SizeOfRawData, section.Misc.VirtualSize);
        if (section.VirtualAddress > imageSize || imageSize - section.VirtualAddress < length ||
            section.PointerToRawData > file.size() ||
            file.size() - section.PointerToRawData < length)
            return false;
        std::memcpy(image.data() + section.VirtualAddress, file.data() + section.PointerToRawData,
                    length);
        if (section.Characteristics & IMAGE_SCN_MEM_WRITE) continue;
        for (std::size_t i = 0; i < length; ++i) compared[section.VirtualAddress + i] = 1;
    }

    // The loader moved the image by delta: the same is done to the file's copy.
    const std::uint64_t delta =
        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(mapped) -
                                   static_cast<std::uintptr_t>(nt.OptionalHeader.ImageBase));
    const IMAGE_DATA_DIRECTORY relocations =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    if (delta != 0 && relocations.VirtualAddress != 0) {
        std::size_t at = relocations.VirtualAddress;
        const std::size_t end = at + relocations.Size;
        if (end > imageSize) return false;
        while (at + sizeof(IMAGE_BASE_RELOCATION) <= end) {
            IMAGE_BASE_RELOCATION block{};
            std::memcpy(&block, image.data() + at, sizeof block);
            if (block.SizeOfBlock < sizeof block || at + block.SizeOfBlock > end) return false;
            for (std::size_t entry = at + sizeof block; entry + 2 <= at + block.SizeOfBlock;
                 entry += 2) {
                WORD item = 0;
                std::memcpy(&item, image.data() + entry, 2);
                const unsigned type = item >> 12;
                const std::size_t target = block.VirtualAddress + (item & 0x0FFFu);
                if (type == IMAGE_REL_BASED_HIGHLOW) {
                    if (target + 4 > imageSize) return false;
                    std::uint32_t value = 0;
                    std::memcpy(&value, image.data() + target, 4);
                    value += static_cast<std::uint32_t>(delta);
                    std::memcpy(image.data() + target, &value, 4);
                } else if (type == IMAGE_REL_BASED_DIR64) {
                    if (target + 8 > imageSize) return false;
                    std::uint64_t value = 0;
                    std::memcpy(&value, image.data() + target, 8);
                    value += delta;
                    std::memcpy(image.data() + target, &value, 8);
                }
            }
            at += block.SizeOfBlock;
        }
    }
    const IMAGE_DATA_DIRECTORY iat = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    for (std::size_t i = 0; i < iat.Size && iat.VirtualAddress + i < imageSize; ++i)
        compared[iat.VirtualAddress + i] = 0;

    for (std::size_t i = 0; i < imageSize; ++i) {
        if (compared[i] && image[i] != mapped[i]) return false;
    }
    return true;
}

}  // namespace

struct RunningProgramFile::Handle {
    ScopedKernelHandle file;
    std::wstring path;  // the module's name when the run started
};

RunningProgramFile::RunningProgramFile(std::wstring name, std::string bytes,
                                       std::unique_ptr<Handle> handle)
    : name_(std::move(name)), bytes_(std::move(bytes)), handle_(std::move(handle)) {}

RunningProgramFile::~RunningProgramFile() = default;

FileResult<std::unique_ptr<RunningProgramFile>> RunningProgramFile::Open() {
    auto handle = std::make_unique<Handle>();
    ovn::Result<std::wstring> module = ModuleFileName(32768);
    if (!module) return FileFailure(module.error().call, module.error().code);
    handle->path = std::move(module).value();
    // Read sharing only: from here until the run ends nobody renames, replaces or writes it.
    handle->file.reset(CreateFileW(handle->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!handle->file || !GetFileSizeEx(handle->file.get(), &size) ||
        size.QuadPart > kMaxProgramBytes) {
        return FileFailure("CreateFileW (the running program)", GetLastError());
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(handle->file.get(), bytes.data(),
                                     static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size())) {
        return FileFailure("ReadFile (the running program)", GetLastError());
    }
    // The name may have been given to another file before it was opened here.
    const auto* mapped = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
    if (!IsTheMappedImage(bytes, mapped)) {
        return FileFailure("the program file is not the running program", 0);
    }
    return std::unique_ptr<RunningProgramFile>(
        new RunningProgramFile(kCopyName, std::move(bytes), std::move(handle)));
}

FileResult<std::wstring> RunningProgramFile::CopyInto(const std::wstring& folder) const {
    const std::wstring copy = folder + name_;
    const ovn::Result<std::wstring> final = FinalPath(handle_->file.get());
    if (SamePath(handle_->path, copy) || (final && SamePath(*final, copy))) return copy;
    if (FileStatus written = ReplaceProgramAtomically(copy, bytes_); !written)
        return written.error();
    return copy;
}

void RemoveProgramCopy(const std::wstring& folder) {
    const std::wstring copy = folder + kCopyName;
    if (RemoveFileName(copy).ok()) return;
    // A running copy can only go at the restart, and the restart deletes by name before the
    // logon: renamed first, so the copy a later update writes under this name is not the one
    // deleted before its resume can start it.
    const std::wstring aside = copy + L".old-" + std::to_wstring(GetTickCount()) + L"-" +
                               std::to_wstring(GetCurrentProcessId());
    if (MoveFileExW(copy.c_str(), aside.c_str(), 0)) {
        (void)RemoveFileName(aside, true);
        return;
    }
    // What cannot go even at the restart stays: a later copy replaces it by name.
    (void)RemoveFileName(copy, true);
}

}  // namespace platform
