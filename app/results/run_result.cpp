// The result's JSON members, the meanings of the exit codes and the UTC time stamps.
#include "app/results/run_result.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/results/result_name.h"

namespace {

using nlohmann::json;

template <typename T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

template <typename T>
std::optional<T> Optional(const json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || found->is_null()) return std::nullopt;
    return found->get<T>();
}

json FailureToJson(const tagCardFailure& f) {
    json out = {
        {"commandIndex", f.commandIndex}, {"command", f.command}, {"byteOffset", f.byteOffset}};
    out["tdo"] = f.expected.empty() && f.captured.empty()
                     ? json(nullptr)
                     : json{{"expected", f.expected}, {"captured", f.captured}, {"mask", f.mask}};
    out["reason"] = f.reason.empty() ? json(nullptr) : json(f.reason);
    return out;
}

tagCardFailure FailureFromJson(const json& in) {
    tagCardFailure f;
    f.commandIndex = in.at("commandIndex").get<std::int32_t>();
    f.command = in.at("command").get<std::uint32_t>();
    f.byteOffset = in.at("byteOffset").get<std::uint32_t>();
    if (!in.at("tdo").is_null()) {
        f.expected = in["tdo"].at("expected").get<std::string>();
        f.captured = in["tdo"].at("captured").get<std::string>();
        f.mask = in["tdo"].at("mask").get<std::string>();
    }
    f.reason = Optional<std::string>(in, "reason").value_or("");
    return f;
}

std::string Position(const tagCardResult& card) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X%X%X", card.bus, card.device, card.function);
    return text;
}

}  // namespace

json RunResultToJson(const tagRunResult& r) {
    json cards = json::array();
    for (const tagCardResult& c : r.cards) {
        cards.push_back({{"bus", c.bus},
                         {"device", c.device},
                         {"function", c.function},
                         {"position", Position(c)},
                         {"versionBefore", c.versionBefore},
                         {"versionAfter", OrNull(c.versionAfter)},
                         {"result", OrNull(c.result)},
                         {"failure", c.failure ? FailureToJson(*c.failure) : json(nullptr)},
                         {"milliseconds", OrNull(c.milliseconds)},
                         {"verification", OrNull(c.verification)}});
    }
    json segments = json::array();
    for (const tagRunSegment& s : r.segments) {
        segments.push_back({{"startTime", s.startTime},
                            {"endTime", s.endTime},
                            {"exitCode", s.exitCode},
                            {"restartRequested", s.restartRequested}});
    }
    json image = nullptr;
    if (r.imageName) {
        const tagResultName name = NameForResult(*r.imageName);
        image = {{"name", name.text},
                 {"nameEscaped", name.escaped},
                 {"sha256", OrNull(r.imageSha256)},
                 {"bytes", OrNull(r.imageBytes)}};
    }
    return {{"formatVersion", kRunResultFormatVersion},
            {"utility", {{"name", "OvnK740FpgaUpdater"}, {"version", r.utilityVersion}}},
            {"runId", r.runId},
            {"kind", r.kind},
            {"startTime", r.startTime},
            {"endTime", r.endTime},
            {"commandLine",
             {{"quiet", r.quiet}, {"beep", r.beep}, {"noReboot", r.noReboot}, {"image", image}}},
            {"host", {{"is64Bit", r.host64Bit}}},
            {"outcome",
             {{"exitCode", r.exitCode},
              {"meaning", r.exitMeaning},
              {"declined", r.declined},
              {"malformedImage", r.malformedImage},
              {"kind", OutcomeKind(r)},
              {"lock", OrNull(r.lock)}}},
            {"restart",
             {{"requested", r.restartRequested},
              {"reason", r.restartReason.empty() ? json(nullptr) : json(r.restartReason)},
              {"pending", r.restartPending},
              {"runOnce", OrNull(r.runOnce)}}},
            {"cycle",
             {{"resumedAfterRestart", r.resumed},
              {"repairedCycle", r.repairedCycle ? json{{"runId", r.repairedCycle->runId},
                                                       {"startTime", r.repairedCycle->startTime}}
                                                : json(nullptr)},
              {"runs", segments},

              {"pending", r.pendingPhase ? json{{"phase", *r.pendingPhase},
                                                {"next", r.pendingNext.value_or("")}}
                                         : json(nullptr)}}},
            {"cards", cards}};
}

tagRunResult RunResultFromJson(const json& d) {
    // A cycle carried across the restart in which the utility was replaced may be of format 1: the
    // members taken from it are the same in both.
    const int format = d.at("formatVersion").get<int>();
    if (format != kRunResultFormatVersion && format != 1)
        throw json::other_error::create(501, "another format version", &d);
    tagRunResult r;
    r.utilityVersion = d.at("utility").at("version").get<std::string>();
    r.runId = d.at("runId").get<std::string>();
    r.kind = d.at("kind").get<std::string>();
    r.startTime = d.at("startTime").get<std::string>();
    r.endTime = d.at("endTime").get<std::string>();
    const json& options = d.at("commandLine");
    r.quiet = options.at("quiet").get<bool>();
    r.beep = options.at("beep").get<bool>();
    r.noReboot = options.at("noReboot").get<bool>();
    if (!options.at("image").is_null()) {
        const json& image = options["image"];
        const auto name = NameFromResult({image.at("name").get<std::string>(),
                                          Optional<bool>(image, "nameEscaped").value_or(false)});
        if (!name) throw json::other_error::create(501, "an escaped name of another form", &d);
        r.imageName = *name;
        r.imageSha256 = Optional<std::string>(image, "sha256");
        r.imageBytes = Optional<std::uint64_t>(image, "bytes");
    }
    r.host64Bit = d.at("host").at("is64Bit").get<bool>();
    r.exitCode = d.at("outcome").at("exitCode").get<std::int32_t>();
    r.exitMeaning = d["outcome"].at("meaning").get<std::string>();
    r.declined = d["outcome"].at("declined").get<bool>();
    r.malformedImage = d["outcome"].at("malformedImage").get<bool>();
    r.lock = Optional<std::string>(d["outcome"], "lock");
    // The kinds that stand for a fact of their own; the others follow from the members again.
    const std::string kind = Optional<std::string>(d["outcome"], "kind").value_or("");
    if (kind == "usageError") r.end = RunEnd::kUsageError;
    if (kind == "alreadyRunning") r.end = RunEnd::kLockRefused;
    if (kind == "noLibrary") r.end = RunEnd::kNoLibrary;
    if (kind == "noCard") r.end = RunEnd::kNoCard;
    if (kind == "interrupted") r.end = RunEnd::kInterrupted;
    r.unanswered = kind == "unanswered";
    const json& restart = d.at("restart");
    r.restartRequested = restart.at("requested").get<bool>();
    r.restartReason = Optional<std::string>(restart, "reason").value_or("");
    r.restartPending = restart.at("pending").get<bool>();
    r.runOnce = Optional<std::string>(restart, "runOnce");
    r.resumed = d.at("cycle").at("resumedAfterRestart").get<bool>();
    const auto repaired = d["cycle"].find("repairedCycle");
    if (repaired != d["cycle"].end() && !repaired->is_null()) {
        r.repairedCycle = tagCycleName{repaired->at("runId").get<std::string>(),
                                       repaired->at("startTime").get<std::string>()};
    }
    const auto pending = d["cycle"].find("pending");
    if (pending != d["cycle"].end() && pending->is_object()) {
        r.pendingPhase = pending->at("phase").get<std::string>();
        r.pendingNext = pending->at("next").get<std::string>();
    }
    for (const json& s : d["cycle"].at("runs")) {
        r.segments.push_back(
            {s.at("startTime").get<std::string>(), s.at("endTime").get<std::string>(),
             s.at("exitCode").get<std::int32_t>(), s.at("restartRequested").get<bool>()});
    }
    for (const json& c : d.at("cards")) {
        tagCardResult card;
        card.bus = c.at("bus").get<std::uint32_t>();
        card.device = c.at("device").get<std::uint32_t>();
        card.function = c.at("function").get<std::uint32_t>();
        card.versionBefore = c.at("versionBefore").get<std::string>();
        card.versionAfter = Optional<std::string>(c, "versionAfter");
        card.result = Optional<std::int32_t>(c, "result");
        if (!c.at("failure").is_null()) card.failure = FailureFromJson(c["failure"]);
        card.milliseconds = Optional<std::uint32_t>(c, "milliseconds");
        card.verification = Optional<std::string>(c, "verification");
        r.cards.push_back(card);
    }
    return r;
}

namespace {

std::string PlayerCodeMeaning(std::int32_t code) {
    switch (code) {
        case 2:
            return "TDO mismatch";
        case 3:
            return "TDO mismatch after all retries";
        case 4:
            return "illegal command or truncated image";
        case 5:
            return "illegal TAP state";
        case 6:
            return "shift too long";
        case 7:
            return "register window not mapped";
        case 9:
            return "FPGA version unreadable or erased after programming";
        default:
            return "error code " + std::to_string(code);
    }
}

// A card whose version device never answered played without error but proves nothing after it.
std::string SuccessMeaning(const tagRunResult& r) {
    int notVerified = 0;
    for (const tagCardResult& card : r.cards)
        if (card.verification && *card.verification == kNotVerified) ++notVerified;
    if (notVerified == 0) return "success: every card was programmed and verified";
    return "every card was programmed without error; " + std::to_string(notVerified) +
           (notVerified == 1 ? " card is" : " cards are") +
           " not verified: its FPGA version could be read neither before nor after";
}

}  // namespace

std::string ExitCodeMeaning(const tagRunResult& r) {
    const std::int32_t code = r.exitCode;
    if (r.malformedImage)
        return "the image is malformed (" + PlayerCodeMeaning(code) + "): nothing was programmed";
    for (const tagCardResult& card : r.cards) {
        if (code != 0 && card.result && *card.result == code)
            return "a card failed: " + PlayerCodeMeaning(code);
    }
    switch (code) {
        case 0:
            if (r.declined) return "declined at a prompt: nothing was programmed";
            if (r.restartRequested && r.restartReason == "disable")
                return "the machine restarts to disable the display driver; the update resumes at "
                       "the next logon";
            if (r.kind == "inventory") return "listing only";
            if (r.imageBytes && *r.imageBytes == 0)
                return "nothing was programmed: the image file is empty (0 bytes), so the cards "
                       "were only listed";
            if (std::none_of(r.cards.begin(), r.cards.end(),
                             [](const tagCardResult& card) { return card.result.has_value(); }))
                // The resume entry's start of a cycle whose update was over before it.
                return "nothing was programmed by this run: the update of the cycle it found was "
                       "already complete";
            if (r.restartRequested)
                return SuccessMeaning(r) +
                       "; the machine restarts to bring the display driver back, the suite's "
                       "settings are imported at the next logon";
            return SuccessMeaning(r);
        case 1:
            switch (r.end) {
                case RunEnd::kInterrupted:
                    return "interrupted (Ctrl+C or the console window was closed): the run "
                           "stopped and put the machine back";
                case RunEnd::kNoLibrary:
                    return "the driver-access library or its driver could not be had: no card "
                           "was listed or programmed";
                case RunEnd::kNoCard:
                    return "no K740 card was found: nothing was programmed";
                default:
                    return r.kind == "inventory" ? "listing only: no image file was named"
                                                 : "no driver-access library or no card";
            }
        case 2:
            return "the image file cannot be opened";
        case 3:
            return "disabling the display driver needs a restart (--noreboot, or the restart was "
                   "refused)";
        case 4:
            return "the display driver came back and needs a restart (--noreboot, or the restart "
                   "was refused)";
        case 8:
            return "the run stopped on a failure of its own";
        case 10:
            if (r.enableFailed)
                return "the display driver could not be enabled again: the next start tries again";
            return "the display driver could not be taken off safely: nothing was programmed";
        case 11:
            if (r.lock && *r.lock == "busy")
                return "another run was in progress: nothing was listed, programmed or changed";
            return "the run lock was squatted or unavailable: nothing was listed, programmed or "
                   "changed";
        case 12:
            return "an option error (see the console): nothing was done";
        case 13:
            return "nobody answered the prompt (its input ended): nothing was programmed; -q runs "
                   "without prompts";
        default:
            return "error code " + std::to_string(code);
    }
}

std::string UtcTimestamp(std::int64_t seconds) {
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

std::string UtcTimestampNow() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return UtcTimestamp(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}
std::string OutcomeKind(const tagRunResult& result) {
    tagOutcomeFacts facts;
    facts.exitCode = result.exitCode;
    facts.declined = result.declined;
    facts.restartRequested = result.restartRequested;
    // A listing, or an empty image: nothing was played.
    facts.playedNothing =
        result.kind == "inventory" || (result.imageBytes && *result.imageBytes == 0);
    facts.end = result.end;
    facts.restartPending = result.restartPending;
    return OutcomeKind(facts);
}
