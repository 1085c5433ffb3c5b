// Type checks of the simulated host's state document, member by member.
#include "simhost/host_state_schema.h"

#include <functional>

namespace sim::host {

using nlohmann::json;

namespace {

enum class Kind { Unsigned, Boolean, String, Object, Array };

const char* Expected(Kind kind) {
    switch (kind) {
        case Kind::Unsigned:
            return "expected an unsigned integer";
        case Kind::Boolean:
            return "expected true or false";
        case Kind::String:
            return "expected a string";
        case Kind::Object:
            return "expected an object";
        case Kind::Array:
            return "expected an array";
    }
    return "";
}

bool Is(const json& value, Kind kind) {
    switch (kind) {
        case Kind::Unsigned:
            return value.is_number_unsigned();
        case Kind::Boolean:
            return value.is_boolean();
        case Kind::String:
            return value.is_string();
        case Kind::Object:
            return value.is_object();
        case Kind::Array:
            return value.is_array();
    }
    return false;
}

class CSchemaCheck {
public:
    // Checks member `name` of `object`; drops it when it has another kind. True when it is present
    // and of the kind.
    bool Member(json& object, const std::string& where, const std::string& name, Kind kind) {
        auto found = object.find(name);
        if (found == object.end()) return false;
        if (Is(*found, kind)) return true;
        Fault(Join(where, name), kind);
        object.erase(found);
        return false;
    }

    // Checks every member of an object (or element of an array) with `check`, which drops nothing
    // itself but returns false for a value to be removed.
    void Each(json& container, const std::string& where,
              const std::function<bool(json&, const std::string&)>& check) {
        if (container.is_object()) {
            for (auto it = container.begin(); it != container.end();) {
                if (check(*it, Join(where, it.key()))) {
                    ++it;
                } else {
                    it = container.erase(it);
                }
            }
            return;
        }
        for (std::size_t i = 0; i < container.size();) {
            if (check(container[i], where + "[" + std::to_string(i) + "]")) {
                ++i;
            } else {
                container.erase(i);
            }
        }
    }

    // True when `value` has the kind; records the fault otherwise.
    bool Value(const json& value, const std::string& where, Kind kind) {
        if (Is(value, kind)) return true;
        Fault(where, kind);
        return false;
    }

    // An object whose members have the given kinds; false (and a fault) when it is no object.
    bool Record(json& value, const std::string& where,
                std::initializer_list<std::pair<const char*, Kind>> members) {
        if (!Value(value, where, Kind::Object)) return false;
        for (const auto& [name, kind] : members) Member(value, where, name, kind);
        return true;
    }

    const std::string& FirstFault() const { return first_; }

private:
    static std::string Join(const std::string& where, const std::string& name) {
        return where.empty() ? name : where + "." + name;
    }
    void Fault(const std::string& where, Kind kind) {
        if (first_.empty()) first_ = where + ": " + Expected(kind);
    }

    std::string first_;
};

void CheckPower(CSchemaCheck& check, json& document) {
    if (!check.Member(document, "", "power", Kind::Object)) return;
    json& power = document["power"];
    check.Member(power, "power", "available", Kind::Boolean);
    check.Member(power, "power", "activeScheme", Kind::String);
    check.Member(power, "power", "appliedMinProcessorState", Kind::Unsigned);
    check.Member(power, "power", "applyCount", Kind::Unsigned);
    if (check.Member(power, "power", "acMinProcessorState", Kind::Object)) {
        check.Each(
            power["acMinProcessorState"], "power.acMinProcessorState",
            [&](json& v, const std::string& w) { return check.Value(v, w, Kind::Unsigned); });
    }
}

void CheckLists(CSchemaCheck& check, json& document) {
    if (check.Member(document, "", "processes", Kind::Array)) {
        check.Each(document["processes"], "processes", [&](json& v, const std::string& w) {
            return check.Record(v, w,
                                {{"pid", Kind::Unsigned},
                                 {"name", Kind::String},
                                 {"session", Kind::Unsigned},
                                 {"unkillable", Kind::Boolean}});
        });
    }
    if (check.Member(document, "", "sessions", Kind::Array)) {
        check.Each(document["sessions"], "sessions", [&](json& v, const std::string& w) {
            return check.Value(v, w, Kind::Unsigned);
        });
    }
    if (check.Member(document, "", "events", Kind::Object)) {
        check.Each(document["events"], "events", [&](json& v, const std::string& w) {
            return check.Record(v, w, {{"signalled", Kind::Boolean}, {"setCount", Kind::Unsigned}});
        });
    }
    if (check.Member(document, "", "devices", Kind::Object)) {
        check.Each(document["devices"], "devices", [&](json& v, const std::string& w) {
            return check.Record(v, w,
                                {{"disabled", Kind::Boolean}, {"pendingDisabled", Kind::Boolean}});
        });
    }
    if (check.Member(document, "", "restarts", Kind::Array)) {
        check.Each(document["restarts"], "restarts", [&](json& v, const std::string& w) {
            return check.Record(v, w,
                                {{"timeout", Kind::Unsigned},
                                 {"force", Kind::Boolean},
                                 {"reboot", Kind::Boolean},
                                 {"privilege", Kind::Boolean},
                                 {"acMinProcessorState", Kind::Unsigned}});
        });
    }
}

void CheckRegistry(CSchemaCheck& check, json& document) {
    if (!check.Member(document, "", "registry", Kind::Object)) return;
    json& registry = document["registry"];
    for (const char* view : {"32", "64"}) {
        if (!check.Member(registry, "registry", view, Kind::Object)) continue;
        check.Each(
            registry[view], std::string("registry.") + view,
            [&](json& key, const std::string& keyWhere) {
                if (!check.Value(key, keyWhere, Kind::Object)) return false;
                check.Each(key, keyWhere, [&](json& v, const std::string& w) {
                    return check.Record(v, w, {{"type", Kind::Unsigned}, {"data", Kind::String}});
                });
                return true;
            });
    }
}

}  // namespace

std::string DropMistypedMembers(json& document) {
    CSchemaCheck check;
    if (!document.is_object()) return "the document: expected an object";
    CheckPower(check, document);
    for (const char* name : {"executionState", "priorityClass", "nextPid", "terminateAttempts"}) {
        check.Member(document, "", name, Kind::Unsigned);
    }
    check.Member(document, "", "sessionEnumerationFails", Kind::Boolean);
    check.Member(document, "", "restartRefused", Kind::Boolean);
    check.Member(document, "", "bootSession", Kind::Unsigned);
    CheckLists(check, document);
    CheckRegistry(check, document);
    return check.FirstFault();
}

}  // namespace sim::host
