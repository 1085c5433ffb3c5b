// Command line, WOW64 flag and own resources of the host edition.
#include <fstream>
#include <iterator>

#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/process_identity.h"
#include "sim/sim_machine.h"
#include "text/text_encoding.h"

namespace platform {

std::wstring ProcessCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::wstring> arguments;
    std::string current;
    for (char c : raw) {
        if (c != '\0') {
            current += c;
            continue;
        }
        arguments.push_back(Utf8ToWide(current));
        current.clear();
    }
    return JoinArguments(arguments);
}

// The simulated machine's one user, whose profile is "Users/User".
ovn::Result<std::wstring> RunAccountName() { return std::wstring(L"SIMHOST\\User"); }

ovn::Result<bool> RunIsElevated() { return true; }

ovn::Result<bool> RunningUnderWow64() { return sim::CurrentMachine().Config().windows64; }

// Failures as Windows reports a resource it does not have (ERROR_RESOURCE_TYPE_NOT_FOUND).
ovn::Result<std::vector<std::uint8_t>> ModuleResource(const wchar_t* name) {
    constexpr std::uint32_t kResourceNotFound = 1813;
    const ovn::Result<std::wstring> program = ModuleFileName();
    if (!program) return program.error();
    const std::wstring& module = *program;
    const std::size_t slash = module.rfind(L'/');
    if (slash == std::wstring::npos) return ovn::CallError("FindResourceW", kResourceNotFound);
    const std::wstring path = module.substr(0, slash + 1) + L"resources/" + name;
    std::ifstream in(NarrowPath(path), std::ios::binary);
    if (!in) return ovn::CallError("FindResourceW", kResourceNotFound);
    // One read of the known size: the tool images are whole sanitized programs, megabytes each,
    // and every run that switches the display driver reads one.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) return ovn::CallError("SizeofResource", kResourceNotFound);
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return ovn::CallError("LoadResource", kResourceNotFound);
    return bytes;
}

}  // namespace platform
