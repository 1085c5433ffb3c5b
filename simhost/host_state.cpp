// Power, processes, sessions, events and restarts of the simulated host, on top of its state file.
#include "simhost/host_state.h"

#include "text/text_encoding.h"

namespace sim::host {

using nlohmann::json;

namespace {

constexpr const char* kBalancedScheme = "381b4222-f694-41f0-9685-ff5bb260df2e";
constexpr std::uint32_t kDefaultMinProcessorState = 5;
constexpr std::uint32_t kFirstPid = 1000;

// Reads a member of a JSON object with a default, tolerating a member of the wrong type.
template <typename T>
T Get(const json& object, const char* name, T fallback) {
    if (!object.is_object()) return fallback;
    auto found = object.find(name);
    if (found == object.end()) return fallback;
    try {
        return found->get<T>();
    } catch (const json::exception&) {
        return fallback;
    }
}

const json& Member(const json& object, const char* name) {
    static const json empty;
    if (!object.is_object()) return empty;
    auto found = object.find(name);
    return found == object.end() ? empty : *found;
}

std::string ActiveSchemeOf(const json& document) {
    return Get<std::string>(Member(document, "power"), "activeScheme", kBalancedScheme);
}

std::uint32_t StoredMinState(const json& document, const std::string& scheme) {
    return Get<std::uint32_t>(Member(Member(document, "power"), "acMinProcessorState"),
                              scheme.c_str(), kDefaultMinProcessorState);
}

}  // namespace

bool PowerAvailable() { return Get<bool>(Member(Load(), "power"), "available", true); }

void SetPowerAvailable(bool available) {
    Update([&](json& d) { d["power"]["available"] = available; });
}

std::string ActiveScheme() { return ActiveSchemeOf(Load()); }

std::uint32_t AcMinProcessorState(const std::string& scheme) {
    return StoredMinState(Load(), scheme);
}

std::uint32_t AcMinProcessorState() {
    json document = Load();
    return StoredMinState(document, ActiveSchemeOf(document));
}

void SetAcMinProcessorState(const std::string& scheme, std::uint32_t percent) {
    Update([&](json& d) { d["power"]["acMinProcessorState"][scheme] = percent; });
}

void SetAcMinProcessorState(std::uint32_t percent) {
    Update([&](json& d) { d["power"]["acMinProcessorState"][ActiveSchemeOf(d)] = percent; });
}

void ApplyScheme(const std::string& scheme) {
    Update([&](json& d) {
        json& power = d["power"];
        power["activeScheme"] = scheme;
        power["appliedMinProcessorState"] = StoredMinState(d, scheme);
        power["applyCount"] = Get<std::uint32_t>(power, "applyCount", 0) + 1;
    });
}

std::optional<std::uint32_t> AppliedMinProcessorState() {
    json document = Load();
    const json& power = Member(document, "power");
    if (!power.is_object() || !power.contains("appliedMinProcessorState")) return std::nullopt;
    return Get<std::uint32_t>(power, "appliedMinProcessorState", 0);
}

std::uint32_t ApplyCount() { return Get<std::uint32_t>(Member(Load(), "power"), "applyCount", 0); }

void SetExecutionState(std::uint32_t flags) {
    Update([&](json& d) { d["executionState"] = flags; });
}

std::uint32_t ExecutionState() { return Get<std::uint32_t>(Load(), "executionState", 0); }

void SetPriorityClass(std::uint32_t priorityClass) {
    Update([&](json& d) { d["priorityClass"] = priorityClass; });
}

std::uint32_t PriorityClass() { return Get<std::uint32_t>(Load(), "priorityClass", 0); }

std::uint32_t AddProcess(const std::wstring& name, std::uint32_t session, bool unkillable) {
    std::uint32_t pid = 0;
    Update([&](json& d) {
        pid = Get<std::uint32_t>(d, "nextPid", kFirstPid);
        d["nextPid"] = pid + 4;
        d["processes"].push_back({{"pid", pid},
                                  {"name", WideToUtf8(name)},
                                  {"session", session},
                                  {"unkillable", unkillable}});
    });
    return pid;
}

std::vector<Process> Processes() {
    std::vector<Process> result;
    json document = Load();
    const json& list = Member(document, "processes");
    if (!list.is_array()) return result;
    for (const json& entry : list) {
        Process process;
        process.pid = Get<std::uint32_t>(entry, "pid", 0);
        process.name = Utf8ToWide(Get<std::string>(entry, "name", ""));
        process.session = Get<std::uint32_t>(entry, "session", 0);
        process.unkillable = Get<bool>(entry, "unkillable", false);
        result.push_back(process);
    }
    return result;
}

bool TerminateProcess(std::uint32_t pid) {
    bool terminated = false;
    Update([&](json& d) {
        d["terminateAttempts"] = Get<std::uint32_t>(d, "terminateAttempts", 0) + 1;
        json& list = d["processes"];
        if (!list.is_array()) return;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (Get<std::uint32_t>(*it, "pid", 0) != pid) continue;
            if (Get<bool>(*it, "unkillable", false)) return;
            list.erase(it);
            terminated = true;
            return;
        }
    });
    return terminated;
}

std::uint32_t TerminateAttempts() { return Get<std::uint32_t>(Load(), "terminateAttempts", 0); }

void SetSessions(const std::vector<std::uint32_t>& sessions) {
    Update([&](json& d) { d["sessions"] = sessions; });
}

void SetSessionEnumerationFails(bool fails) {
    Update([&](json& d) { d["sessionEnumerationFails"] = fails; });
}

std::optional<std::vector<std::uint32_t>> Sessions() {
    json document = Load();
    if (Get<bool>(document, "sessionEnumerationFails", false)) return std::nullopt;
    return Get<std::vector<std::uint32_t>>(document, "sessions", {0, 1});
}

void CreateNamedEvent(const std::wstring& name) {
    Update([&](json& d) {
        json& event = d["events"][WideToUtf8(name)];
        if (!event.is_object()) event = {{"signalled", false}, {"setCount", 0}};
    });
}

bool SetNamedEvent(const std::wstring& name) {
    bool exists = false;
    Update([&](json& d) {
        // Looked up, never created: a machine without events keeps none.
        auto members = d.find("events");
        if (members == d.end() || !members->is_object()) return;
        json& events = *members;
        auto found = events.find(WideToUtf8(name));
        if (found == events.end()) return;
        exists = true;
        (*found)["signalled"] = true;
        (*found)["setCount"] = Get<std::uint32_t>(*found, "setCount", 0) + 1;
    });
    return exists;
}

std::optional<bool> NamedEventSignalled(const std::wstring& name) {
    json document = Load();
    const json& event = Member(Member(document, "events"), WideToUtf8(name).c_str());
    if (!event.is_object()) return std::nullopt;
    return Get<bool>(event, "signalled", false);
}

std::uint32_t NamedEventSetCount(const std::wstring& name) {
    return Get<std::uint32_t>(Member(Member(Load(), "events"), WideToUtf8(name).c_str()),
                              "setCount", 0);
}

void ResetNamedEvents() {
    Update([&](json& d) {
        auto members = d.find("events");
        if (members == d.end() || !members->is_object()) return;
        for (auto& event : members->items())
            if (event.value().is_object()) event.value()["signalled"] = false;
    });
}

void SetRestartRefused(bool refused) {
    Update([&](json& d) { d["restartRefused"] = refused; });
}

std::uint64_t BootSession() { return Get<std::uint64_t>(Load(), "bootSession", 0); }

void CountBoot() {
    Update([&](json& d) {
        const auto member = d.find("bootSession");
        const std::uint64_t boot =
            member != d.end() && member->is_number_unsigned() ? member->get<std::uint64_t>() : 0;
        d["bootSession"] = boot + 1;
    });
}

bool RestartRefused() { return Get<bool>(Load(), "restartRefused", false); }

void RecordRestart(const RestartRequest& request) {
    Update([&](json& d) {
        d["restarts"].push_back({{"timeout", request.timeoutSeconds},
                                 {"force", request.forceAppsClosed},
                                 {"reboot", request.reboot},
                                 {"privilege", request.privilegeEnabled},
                                 {"acMinProcessorState", request.acMinProcessorState}});
    });
}

std::vector<RestartRequest> Restarts() {
    std::vector<RestartRequest> result;
    json document = Load();
    const json& list = Member(document, "restarts");
    if (!list.is_array()) return result;
    for (const json& entry : list) {
        RestartRequest request;
        request.timeoutSeconds = Get<std::uint32_t>(entry, "timeout", 0);
        request.forceAppsClosed = Get<bool>(entry, "force", false);
        request.reboot = Get<bool>(entry, "reboot", false);
        request.privilegeEnabled = Get<bool>(entry, "privilege", false);
        request.acMinProcessorState = Get<std::uint32_t>(entry, "acMinProcessorState", 0);
        result.push_back(request);
    }
    return result;
}

}  // namespace sim::host
