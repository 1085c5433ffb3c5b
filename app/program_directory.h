// The program's own directory, for the command line that resumes a run after a restart.
#pragma once

#include <string>

// Everything of the module path up to and including its last path separator ('\\' or '/'), so a
// renamed program still finds its directory. Empty when the path has no separator.
std::wstring ProgramDirectory(const std::wstring& modulePath);
