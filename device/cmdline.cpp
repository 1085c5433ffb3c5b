// Parses the command line and prints the help and option errors on the narrow console.
#include "device/cmdline.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console.h"

namespace {

struct OptionRow {
    const char* shortName;
    const char* longName;
    const char* parameter;
    const char* description;
};

constexpr OptionRow kOptionRows[] = {
    {"-q", "--quiet", "", "Suppresses all prompts"},
    {"-f", "--flash", "<Filename>", "Flashes an FPGA firmware file (*.xsvf)"},
    {"-b", "--nobeep", "", "Suppresses the audible beep during the update process"},
    {"-n", "--noreboot", "", "Prompt user to perform reboot and re-launch of OvnK740FpgaUpdater"},
};

void Print(const std::string& text) { platform::ConsoleWriteNarrow(text); }

template <typename... Args>
std::string Format(const char* format, Args... args) {
    int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// Whole-argument comparison that ignores the case of ASCII letters only.
bool SameWord(const char* argument, const char* word) {
    for (; *argument && *word; ++argument, ++word) {
        char a = *argument, w = *word;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (w >= 'A' && w <= 'Z') w = static_cast<char>(w - 'A' + 'a');
        if (a != w) return false;
    }
    return *argument == '\0' && *word == '\0';
}

bool IsAnyOf(const char* argument, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (SameWord(argument, word)) return true;
    }
    return false;
}

// An option's number as atoi reads it (leading digits; none is 0), but clamped to int's range, so
// that a long number means the same on every width instead of whatever atoi's overflow gives.
int DecimalValue(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void PrintMissingParameter(const char* option) {
    Print(Format("%s is specified but parameter is missing.", option));
    Print("\n");
}

}  // namespace

void CCmdLine::PrintHelp() const {
    Print("OvnK740FpgaUpdater command line options:");
    Print("\n================================\n");
    for (const OptionRow& row : kOptionRows) {
        int width = 20 - static_cast<int>(std::strlen(row.longName));
        Print(Format("%s%-1s %s %-*s %s\n", row.shortName, ",", row.longName, width, row.parameter,
                     row.description));
    }
    Print("\n\n");
    Print("Sample write (update/flash) command line:");
    Print("\n=========================================\n");
    Print("OvnK740FpgaUpdater -f UpdateFilename.xsvf");
    Print("\n\n");
}

bool CCmdLine::Parse(int argc, const char* const* argv) {
    beep = 1;
    Print("\n\n");

    bool helpShown = false;
    bool errorNoted = false;
    for (int i = 1; i < argc && !helpShown; ++i) {
        const char* argument = argv[i];
        const bool hasNext = i + 1 < argc;
        if (IsAnyOf(argument, {"/?", "-?", "--?", "-h", "--help", "-help"})) {
            PrintHelp();
            helpShown = true;
        } else if (IsAnyOf(argument, {"-q", "--quiet"})) {
            quiet = 1;
        } else if (IsAnyOf(argument, {"-b", "--nobeep"})) {
            beep = 0;
        } else if (IsAnyOf(argument, {"-n", "--noreboot"})) {
            noReboot = 1;
        } else if (IsAnyOf(argument, {"-c", "--calibrate"})) {
            if (!hasNext) {
                PrintMissingParameter("--calibrate");
                errorNoted = true;
                continue;
            }
            calibrate = DecimalValue(argv[++i]) != 0 ? 1 : 0;
        } else if (IsAnyOf(argument, {"-f", "--flash"})) {
            if (!hasNext) {
                PrintMissingParameter("-f");
                errorNoted = true;
                continue;
            }
            fileName = argv[++i];
        } else if (IsAnyOf(argument, {"-v", "--verbose"})) {
            if (!hasNext) {
                PrintMissingParameter("-v");
                errorNoted = true;
                continue;
            }
            verbose = DecimalValue(argv[++i]);
        } else {
            Print(Format("Error: Invalid parameter: '%s'.", argument));
            Print("\n");
            errorNoted = true;
        }
    }

    if (helpShown) {
        Print("\n\n");
        return false;
    }
    if (errorNoted) {
        optionError = 1;
        Print("\n");
        Print("For more information, see the help file [-h].");
        Print("\n\n");
        return false;
    }
    return true;
}
