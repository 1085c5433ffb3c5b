// The run's admin-only working folder, as the update run and its parts use it.
#pragma once

#include <string>

#include "platform/working_folder.h"

// Prepares the working folder (platform/working_folder.h) and logs what was found wrong with it;
// secures the utility's registry key for administrators as well.
// Its path ends in the path separator. Empty when no safe folder could be had: the console and the
// log then say so, and the run goes on as when the temporary directory cannot be read (no device
// console tool, no settings file, the display driver left as it is).
std::wstring OpenWorkingFolder();

// The same for a folder prepared earlier, before the log could be written: its events are
// logged now.
std::wstring ReportWorkingFolder(const platform::WorkingFolderResult& folder);
