// Reads the XSVF image named on the command line for the update run.
#include "app/image_file.h"

#include <string>
#include <utility>

#include "app/exit_codes.h"
#include "platform/console.h"
#include "platform/file_read.h"

std::int32_t LoadImageFile(const char* fileName, tagRunResources& run) {
    platform::tagFileRead file = platform::ReadWholeFile(fileName, kLargestImageBytes);
    if (file.status != platform::FileReadStatus::kRead) {
        platform::ConsoleWriteNarrow(std::string("Error: Unable to open file ") + fileName);
        platform::ConsoleWriteNarrow("\n");
        return kExitImageUnreadable;
    }
    run.imageSize = static_cast<std::int32_t>(file.size);
    if (run.imageSize > 0) run.image = std::move(file.bytes);
    return kExitSuccess;
}
