// Reads the XSVF image named on the command line for the update run.
#pragma once

#include <cstdint>
#include <string>

#include "app/run/run_resources.h"

namespace platform {
struct FileReadError;
}

// Largest image the player's signed 32-bit size can describe.
inline constexpr std::uint64_t kLargestImageBytes = 0x7FFFFFFF;

// Reads the whole file (UTF-8 name) into the run's image buffer; returns the exit code this step
// decides: 0 read (an empty file is no image), 2 the file cannot be used. A file that cannot be
// opened, a directory and a file larger than the player can describe all print the open error on
// the narrow console and log it, followed on console and log by a line with the reason.
std::int32_t LoadImageFile(const char* fileName, tagRunResources& run);

// Why a file could not be used as the image, in words ("the file was not found: ...").
std::wstring ImageOpenReason(const platform::FileReadError& file);
