// Checks a carried result against the formats the recorder writes.
#include "app/results/run_result_check.h"

#include <cstdio>

namespace {

// A cycle has a first run, its resumed run and at most one more resume; anything longer was not
// written by us.
constexpr std::size_t kMostCarriedRuns = 8;

bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool IsVersionNumber(const std::string& text) {
    if (text.empty() || text.size() > 3) return false;
    if (text.size() > 1 && text[0] == '0') return false;
    int value = 0;
    return Digits(text, 0, text.size(), value) && value <= 255;
}

bool IsUtc(const std::string& text) { return ParseUtcTimestamp(text).has_value(); }

}  // namespace

bool IsRunIdText(const std::string& text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<tagUtcFields> ParseUtcTimestamp(const std::string& text) {
    const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size()) return std::nullopt;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != 'd' && text[i] != pattern[i]) return std::nullopt;
    tagUtcFields f{};
    if (!Digits(text, 0, 4, f.year) || !Digits(text, 5, 2, f.month) || !Digits(text, 8, 2, f.day) ||
        !Digits(text, 11, 2, f.hour) || !Digits(text, 14, 2, f.minute) ||
        !Digits(text, 17, 2, f.second))
        return std::nullopt;
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) ||
        f.hour > 23 || f.minute > 59 || f.second > 59)
        return std::nullopt;
    return f;
}

bool IsFpgaVersionText(const std::string& text) {
    if (text == "0.0.000") return true;
    const std::size_t first = text.find('.');
    if (first == std::string::npos) return false;
    const std::size_t second = text.find('.', first + 1);
    if (second == std::string::npos) return false;
    return IsVersionNumber(text.substr(0, first)) &&
           IsVersionNumber(text.substr(first + 1, second - first - 1)) &&
           IsVersionNumber(text.substr(second + 1));
}

std::string CarriedRunProblem(const tagRunResult& carried) {
    if (!IsRunIdText(carried.runId)) return "runId is not a run id";
    if (!IsUtc(carried.startTime)) return "startTime is not a UTC time";
    if (carried.segments.size() > kMostCarriedRuns) return "cycle.runs lists too many processes";
    for (const tagRunSegment& run : carried.segments) {
        if (!IsUtc(run.startTime) || !IsUtc(run.endTime))
            return "cycle.runs holds a time that is not a UTC time";
        if (run.exitCode < 0 || run.exitCode > 255)
            return "cycle.runs holds an exit code the utility does not give";
    }
    for (const tagCardResult& card : carried.cards) {
        if (card.bus > 255 || card.device > 31 || card.function > 7)
            return "cards holds a bus position that does not exist";
        if (!IsFpgaVersionText(card.versionBefore))
            return "cards holds a versionBefore that is not a version";
    }
    if (carried.repairedCycle &&
        (!IsRunIdText(carried.repairedCycle->runId) || !IsUtc(carried.repairedCycle->startTime)))
        return "cycle.repairedCycle does not name a cycle";
    return "";
}
