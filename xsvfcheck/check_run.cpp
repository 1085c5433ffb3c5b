// The check in its order: options, image, summary, the simulated play when asked, the report.
#include "xsvfcheck/check_run.h"

#include <cstdio>
#include <string>

#include "platform/atomic_file.h"
#include "platform/console.h"
#include "platform/file_read.h"
#include "text/text_encoding.h"
#include "xsvfcheck/check_options.h"
#include "xsvfcheck/check_report.h"

namespace {

// The utility's own limit: the player describes offsets in 32 bits.
constexpr std::uint64_t kMaxImageBytes = 0x7FFFFFFF;
// The card a good play is simulated on answers this IDCODE where the image leaves bits unmasked.
constexpr std::uint32_t kK740Idcode = 0x0A740093;

int fail(int code, const std::string& text) {
    std::fprintf(stderr, "OvnXsvfCheck: %s\n", text.c_str());
    return code;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The IDCODE a good card gives: the image's first expected one where it compares.
std::uint32_t goodCardIdcode(const tagImageSummary& summary) {
    if (summary.idcodes.empty()) return kK740Idcode;
    const tagExpectedIdcode& id = summary.idcodes.front();
    return id.value | (kK740Idcode & ~id.mask);
}

// A new file under a temporary name, renamed onto the name; a link at the name is refused rather
// than replaced, so that a trace asked for in a shared folder never lands where a link points.
bool writeTrace(const std::string& path, const std::string& text, std::string& why) {
    const std::wstring name = Utf8ToWide(path);
    const platform::FileResult<bool> link = platform::IsLinkOrReparsePoint(name);
    if (!link) {
        why = "'" + path + "' cannot be looked at (" + link.error().call + ", error " +
              std::to_string(link.error().code) + "); the trace is not written";
        return false;
    }
    if (*link) {
        why = "'" + path + "' is a link; the trace is not written";
        return false;
    }
    const platform::FileStatus written = platform::ReplaceFileAtomically(name, text);
    if (!written) {
        why = "the trace '" + path + "' cannot be written (" + written.error().call + ", error " +
              std::to_string(written.error().code) + ")";
        return false;
    }
    return true;
}

}  // namespace

int RunXsvfCheck(int argc, char** argv) {
    std::string error;
    const std::optional<tagCheckOptions> options = parseCheckOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "OvnXsvfCheck: %s\n%s", error.c_str(), kCheckUsageText);
        return kCheckUsage;
    }
    if (options->help) {
        platform::ConsoleWriteNarrow(kCheckUsageText);
        platform::ConsoleFlush();
        return kCheckValid;
    }

    const auto read = platform::ReadWholeFile(options->image, kMaxImageBytes);
    if (!read) {
        switch (read.error().status) {
            case platform::FileReadStatus::kNotARegularFile:
                return fail(kCheckFileError, "'" + options->image + "' is not a file");
            case platform::FileReadStatus::kTooLarge:
                return fail(kCheckFileError, "'" + options->image + "' is larger than 2 GiB");
            default:
                return fail(kCheckFileError, "'" + options->image + "' cannot be read (error " +
                                                 std::to_string(read.error().code) + ")");
        }
    }
    const platform::tagFileBytes& file = *read;
    const auto size = static_cast<std::uint32_t>(file.size);

    tagCheckReport report;
    report.imageName = baseName(options->image);
    report.summary = summarizeXsvf(file.bytes.get(), size);
    report.writesPerSecond = options->writesPerSecond;
    const bool valid = report.summary.validation.code == 0;

    tagSimulatedPlay play;
    if (valid && !options->traceFile.empty()) {
        if (report.summary.tckPulses > SIMULATED_PLAY_MAX_PULSES) {
            return fail(kCheckFileError, "the image clocks " +
                                             std::to_string(report.summary.tckPulses) +
                                             " pulses, too many to simulate; no trace is written");
        }
        play = playOnSimulatedCard({file.bytes.get(), size}, goodCardIdcode(report.summary));
        if (!writeTrace(options->traceFile, play.trace, error)) {
            return fail(kCheckFileError, error);
        }
        report.play = &play;
        report.traceFile = options->traceFile;
    }

    platform::ConsoleWriteNarrow(options->json ? checkReportJson(report) : checkReportText(report));
    platform::ConsoleFlush();
    if (!valid) return kCheckMalformed;
    if (report.play != nullptr && play.failure.code != 0) return kCheckPlayFailed;
    return kCheckValid;
}
