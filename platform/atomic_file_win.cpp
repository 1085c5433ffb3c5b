// Link-safe files on Windows: each write a new file with the folder's descriptor (CREATE_NEW), then
// MoveFileExW over the name; reads that follow no reparse point, link count and final path checked.
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <cwchar>
#include <memory>
#include <utility>

#include "base/win_handles_win.h"
#include "platform/atomic_file.h"

namespace platform {

namespace {

using ovn::ScopedKernelHandle;

ScopedKernelHandle Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                        DWORD flags) {
    return ScopedKernelHandle(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                          flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The open handle is a plain file with one name, and it is the file the path names: a link that
// the system resolved without a reparse flag (as Wine does for a host symlink) shows in the final
// path.
bool IsThePlainFile(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (info.nNumberOfLinks > 1) return false;
    wchar_t finalPath[MAX_PATH * 4];
    DWORD length = GetFinalPathNameByHandleW(handle, finalPath, MAX_PATH * 4,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    std::wstring resolved(finalPath, length);
    if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved = resolved.substr(4);
    wchar_t fullPath[MAX_PATH * 4];
    length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    return Lower(resolved) == Lower(std::wstring(fullPath, length));
}

FileError Fail(const char* call, DWORD code) {
    return FileFailure(call, static_cast<std::uint32_t>(code));
}

}  // namespace

namespace {

// The working folder's own descriptor, given to each new file there (owner Administrators; where
// the token may not set that owner, the creator).
constexpr const wchar_t* kNewFileDescriptor = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
constexpr const wchar_t* kNewFileDacl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

ScopedKernelHandle CreateNew(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return {};
    ScopedLocal keep(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return ScopedKernelHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE | GENERIC_READ, 0, &attributes, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Temporary names of this file left by processes that are gone (a cut run) are removed: the names
// of plain files only (Wine deletes through a Unix link), and never those of a living writer.
void RemoveLeftovers(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    const std::wstring prefix =
        (slash == std::wstring::npos ? path : path.substr(slash + 1)) + L".tmp";
    WIN32_FIND_DATAW entry{};
    const ovn::ScopedFindHandle search(FindFirstFileW((path + L".tmp*").c_str(), &entry));
    if (!search) return;
    do {
        const std::wstring name = entry.cFileName;
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        // The search matched the prefix already; what follows must be a process id.
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 10 ||
            name.find_first_not_of(L"0123456789", prefix.size()) != std::wstring::npos)
            continue;
        const DWORD owner =
            static_cast<DWORD>(std::wcstoul(name.c_str() + prefix.size(), nullptr, 10));
        bool gone = owner == GetCurrentProcessId();
        if (!gone) {
            HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, owner);
            gone = process == nullptr && GetLastError() == ERROR_INVALID_PARAMETER;
            if (process) CloseHandle(process);
        }
        if (!gone) continue;
        const std::wstring leftover = directory + name;
        // Only a plain file of one name whose handle is where its name says is deleted.
        ScopedKernelHandle file = Open(leftover, DELETE | FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS);
        if (!file || !IsThePlainFile(file.get(), leftover)) continue;
        FILE_DISPOSITION_INFO dispose{TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
    } while (FindNextFileW(search.get(), &entry));
}

std::wstring TemporaryName(const std::wstring& path) {
    return path + L".tmp" + std::to_wstring(GetCurrentProcessId());
}

// The new file under its temporary name, created with the folder's descriptor and checked to be
// where its name says; nothing left otherwise.
FileResult<ScopedKernelHandle> CreateTemporary(const std::wstring& temporary) {
    ScopedKernelHandle file = CreateNew(temporary, kNewFileDescriptor);
    if (!file && GetLastError() == ERROR_INVALID_OWNER) file = CreateNew(temporary, kNewFileDacl);
    if (!file) return Fail("CreateFileW (new)", GetLastError());
    if (!IsThePlainFile(file.get(), temporary)) {
        file.reset();
        DeleteFileW(temporary.c_str());
        return Fail("a redirected folder", ERROR_ACCESS_DENIED);
    }
    return FileResult<ScopedKernelHandle>(std::move(file));
}

// The closed temporary file takes the name; on failure its own name goes.
FileStatus MoveOnto(const std::wstring& temporary, const std::wstring& path) {
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    bool moved = MoveFileExW(temporary.c_str(), path.c_str(), flags) != 0;
    DWORD code = GetLastError();
    // A directory under the name cannot be replaced by a file: it goes aside, as a refused name.
    const DWORD there = GetFileAttributesW(path.c_str());
    if (!moved && code == ERROR_ACCESS_DENIED && there != INVALID_FILE_ATTRIBUTES &&
        (there & FILE_ATTRIBUTE_DIRECTORY) && MoveFileNameAside(path)) {
        moved = MoveFileExW(temporary.c_str(), path.c_str(), flags) != 0;
        code = GetLastError();
    }
    if (!moved) {
        DeleteFileW(temporary.c_str());
        return Fail("MoveFileExW", code);
    }
    return {};
}

FileStatus Replace(const std::wstring& path, const void* data, std::size_t size) {
    RemoveLeftovers(path);
    const std::wstring temporary = TemporaryName(path);
    {
        FileResult<ScopedKernelHandle> created = CreateTemporary(temporary);
        if (!created) return created.error();
        ScopedKernelHandle file = std::move(created).value();
        DWORD written = 0;
        const BOOL wrote =
            size == 0 || WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
        const DWORD code = GetLastError();
        if (!wrote || written != size || !FlushFileBuffers(file.get())) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return Fail("WriteFile", code);
        }
    }
    return MoveOnto(temporary, path);
}

}  // namespace

struct AtomicFileStream::Handle {
    ScopedKernelHandle file;
    std::wstring temporary;
};

AtomicFileStream::AtomicFileStream(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

AtomicFileStream::~AtomicFileStream() {
    if (handle_ && handle_->file) {
        handle_->file.reset();
        DeleteFileW(handle_->temporary.c_str());
    }
}

FileResult<std::unique_ptr<AtomicFileStream>> AtomicFileStream::Create(const std::wstring& path) {
    RemoveLeftovers(path);
    auto handle = std::make_unique<Handle>();
    handle->temporary = TemporaryName(path);
    FileResult<ScopedKernelHandle> created = CreateTemporary(handle->temporary);
    if (!created) return created.error();
    handle->file = std::move(created).value();
    return std::unique_ptr<AtomicFileStream>(new AtomicFileStream(path, std::move(handle)));
}

FileStatus AtomicFileStream::Write(const void* data, std::size_t size) {
    if (!handle_->file) return Fail("WriteFile", ERROR_INVALID_HANDLE);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD part = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle_->file.get(), bytes, part, &written, nullptr) || written != part) {
            const DWORD code = GetLastError();
            handle_->file.reset();
            DeleteFileW(handle_->temporary.c_str());
            return Fail("WriteFile", code);
        }
        bytes += part;
        size -= part;
    }
    return {};
}

FileStatus AtomicFileStream::Commit() {
    if (!handle_->file) return Fail("WriteFile", ERROR_INVALID_HANDLE);
    const bool flushed = FlushFileBuffers(handle_->file.get()) != 0;
    const DWORD code = GetLastError();
    handle_->file.reset();
    if (!flushed) {
        DeleteFileW(handle_->temporary.c_str());
        return Fail("FlushFileBuffers", code);
    }
    return MoveOnto(handle_->temporary, path_);
}

FileStatus ReplaceFileAtomically(const std::wstring& path, const std::string& bytes) {
    return Replace(path, bytes.data(), bytes.size());
}

FileStatus ReplaceProgramAtomically(const std::wstring& path,
                                    const std::vector<std::uint8_t>& bytes) {
    return Replace(path, bytes.data(), bytes.size());
}

FileResult<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes) {
    ScopedKernelHandle file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!file) return Fail("CreateFileW", GetLastError());
    if (!IsThePlainFile(file.get(), path))
        return FileFailure("the file is a link, has several names or is no plain file", 0,
                           FileRefusal::kLink);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return Fail("GetFileSizeEx", GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        FileError error = Fail("the file is larger than the reader takes", ERROR_FILE_TOO_LARGE);
        error.tooLarge = true;
        return error;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty()) {
        if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
            return Fail("ReadFile", GetLastError());
        if (got != bytes.size()) return Fail("ReadFile (the file ended early)", ERROR_HANDLE_EOF);
    }
    return bytes;
}

FileResult<bool> IsLinkOrReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
        return Fail("GetFileAttributesW", code);
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::vector<std::wstring> PlainFileNames(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const ovn::ScopedFindHandle search(FindFirstFileW((directory + L"\\*").c_str(), &entry));
    if (!search) return names;
    do {
        if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search.get(), &entry));
    return names;
}

}  // namespace platform
