// Parsing OvnXsvfCheck's options: whole words, each value in the argument after its option.
#include "xsvfcheck/check_options.h"

#include <cerrno>
#include <cstdlib>

const char* const kCheckUsageText =
    "usage: OvnXsvfCheck [--json] [--writes-per-second N] [--trace FILE] IMAGE.xsvf\n"
    "  Reads an XSVF image and says what a play of it does, without touching any hardware.\n"
    "  --json                  the report as one JSON object\n"
    "  --writes-per-second N   pacing of the time estimate (default 200000)\n"
    "  --trace FILE            play the image into a simulated K740 card and write its JTAG trace\n"
    "exit codes: 0 valid, 1 malformed image, 2 image unreadable or trace not written,\n"
    "            3 usage error, 4 the simulated card's play failed\n";

namespace {

bool parseCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && value > 0;
}

}  // namespace

std::optional<tagCheckOptions> parseCheckOptions(int argc, char** argv, std::string& error) {
    tagCheckOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help" || arg == "/?") {
            options.help = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--writes-per-second") {
            if (!hasValue || !parseCount(argv[i + 1], options.writesPerSecond)) {
                error = "--writes-per-second needs a whole number above 0";
                return std::nullopt;
            }
            ++i;
        } else if (arg == "--trace") {
            if (!hasValue || std::string(argv[i + 1]).empty()) {
                error = "--trace needs a file name";
                return std::nullopt;
            }
            options.traceFile = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        } else if (options.image.empty()) {
            options.image = arg;
        } else {
            error = "more than one image named ('" + arg + "')";
            return std::nullopt;
        }
    }
    if (!options.help && options.image.empty()) {
        error = "no image named";
        return std::nullopt;
    }
    return options;
}
