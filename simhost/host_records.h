// What the simulated host remembers of child processes, logons and the desktop suite's doubles.
//
// Kept in <state directory>/host.json beside host_state.h's members:
//   "childCommands": ["<command line, UTF-8>", ...]   every child the utility started, oldest first
//   "logons": n [0]                                   simulated restarts followed by a logon
//   "suite": {"exports": ["<file>", ...],             files the export wrote the settings into
//             "imports": [{"file": "<file>", "data": "<hex>"}, ...]}   what each import read
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::host {

void RecordChildCommand(const std::wstring& commandLine);
std::vector<std::wstring> ChildCommands();

void RecordLogon();
std::uint32_t Logons();

struct SuiteImport {
    std::string file;
    std::string bytes;
};
void RecordSuiteExport(const std::string& file);
std::vector<std::string> SuiteExports();
void RecordSuiteImport(const SuiteImport& import);
std::vector<SuiteImport> SuiteImports();

// Lower-case hexadecimal text of bytes and back (pairs of digits; anything else ends the reading).
std::string HexOf(const std::string& bytes);
std::string BytesOfHex(const std::string& hex);

}  // namespace sim::host
