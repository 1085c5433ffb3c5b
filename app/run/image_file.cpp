// Reads the XSVF image named on the command line for the update run.
#include "app/run/image_file.h"

#include <string>
#include <utility>

#include "app/console/console_log.h"
#include "app/console/exit_codes.h"
#include "platform/console.h"
#include "platform/file_read.h"
#include "text/text_encoding.h"

std::wstring ImageOpenReason(const platform::FileReadError& file) {
    const std::wstring code = L"error " + std::to_wstring(file.code);
    const std::wstring text = platform::FileReadErrorText(file.code);
    const std::wstring system = text.empty() ? code : text + L" (" + code + L")";
    switch (file.status) {
        case platform::FileReadStatus::kNotFound:
            return L"the file was not found: " + system;
        case platform::FileReadStatus::kNotARegularFile:
            return file.directory ? L"it is a directory, not a file"
                                  : L"it is not a regular file (a device or a pipe)";
        case platform::FileReadStatus::kTooLarge:
            return L"it is too large: " + std::to_wstring(file.size) + L" bytes, an image holds " +
                   std::to_wstring(kLargestImageBytes) + L" at most";
        default:
            return L"the system refused to open or read it: " + system;
    }
}

std::int32_t LoadImageFile(const char* fileName, tagRunResources& run) {
    auto file = platform::ReadWholeFile(fileName, kLargestImageBytes);
    if (!file) {
        // The line itself stays as it always was on the narrow console; the log gets it as well,
        // and both get the reason on a line of its own.
        platform::ConsoleWriteNarrow(std::string("Error: Unable to open file ") + fileName);
        platform::ConsoleWriteNarrow("\n");
        LogOnlyLine(L"Error: Unable to open file %ls\n", Utf8ToWide(fileName).c_str());
        PrintAndLog(L"   Reason: %ls.\n", ImageOpenReason(file.error()).c_str());
        return kExitImageUnreadable;
    }
    run.imageSize = static_cast<std::int32_t>(file->size);
    if (run.imageSize > 0) run.image = std::move(file->bytes);
    return kExitSuccess;
}
