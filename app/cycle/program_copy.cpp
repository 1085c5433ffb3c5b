// The program copy: taken from the checked running program, compared again before every entry
// that names it.
#include "app/cycle/program_copy.h"

#include "app/console/console_log.h"
#include "app/cycle/reboot_resume.h"
#include "app/cycle/sha256.h"
#include "platform/atomic_file.h"
#include "platform/registry.h"
#include "text/text_encoding.h"

namespace {

constexpr std::size_t kMaxProgramBytes = 256u << 20;

std::wstring HashOf(const std::string& bytes) {
    return Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

CProgramCopy::CProgramCopy() = default;
CProgramCopy::~CProgramCopy() = default;

void CProgramCopy::Take(const std::wstring& folder) {
    if (folder.empty()) return;
    attempted_ = true;
    auto opened = platform::RunningProgramFile::Open();
    if (!opened) {
        program_.reset();
        error_ = opened.error();
        return;
    }
    program_ = std::move(opened).value();
    auto copy = program_->CopyInto(folder);
    if (!copy) {
        error_ = copy.error();
        return;
    }
    path_ = *copy;
    sha256_ = HashOf(program_->Bytes());
    // The hash is a record for support only: the copy is checked by its bytes (Intact), so a hash
    // the registry refused changes nothing the run decides.
    (void)platform::RegistrySetString(kUtilityKey, kProgramHashValueName, sha256_);
}

void CProgramCopy::Report() const {
    if (!attempted_ || !path_.empty()) return;
    PrintAndLog(
        L"   Error: The program could not be copied into the working folder (%ls, error %u); "
        L"nothing will be registered to run at the next logon.\n",
        Utf8ToWide(error_.call).c_str(), static_cast<unsigned>(error_.code));
}

bool CProgramCopy::Intact() const {
    if (path_.empty()) return false;
    // The bytes themselves, not their hash again: as strict, and a fraction of the time.
    const auto bytes = platform::ReadFileSafely(path_, kMaxProgramBytes);
    return bytes && program_ && *bytes == program_->Bytes();
}

bool RegisterProgramEntry(const CProgramCopy& copy, const wchar_t* valueName,
                          const std::wstring& commandLine) {
    if (copy.Intact()) {
        RegisterRunOnce(valueName, commandLine);
        return true;
    }
    LogOnlyLine(L"   %ls is not registered: the program copy %ls is missing or changed.\n",
                valueName, copy.Path().c_str());
    return false;
}

std::wstring RepairCommandLine(const std::wstring& copyPath) { return L"\"" + copyPath + L"\" -q"; }

void RemoveProgramCopyAndHash(const std::wstring& folder) {
    // Tidying up: a value already gone is the aim, and one left behind records a hash only.
    (void)platform::RegistryDeleteValue(kUtilityKey, kProgramHashValueName);
    if (!folder.empty()) platform::RemoveProgramCopy(folder);
}
