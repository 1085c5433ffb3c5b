// The simulated registry: keys and values in the host's state file, names compared without case.
#include "simhost/host_registry.h"

#include "simhost/host_store.h"
#include "text/text_encoding.h"

namespace sim::host {

using nlohmann::json;

namespace {

const char* ViewName(RegistryView view) { return view == RegistryView::k32 ? "32" : "64"; }

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string KeyName(const std::wstring& key) {
    std::string name = WideToUtf8(key);
    while (!name.empty() && name.back() == '\\') name.pop_back();
    while (!name.empty() && name.front() == '\\') name.erase(name.begin());
    return name;
}

// The member of an object whose name matches without regard to ASCII case, or end().
json::iterator FindNoCase(json& object, const std::string& name) {
    if (!object.is_object()) return object.end();
    std::string wanted = Lower(name);
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (Lower(it.key()) == wanted) return it;
    }
    return object.end();
}

json& Keys(json& document, RegistryView view) {
    json& keys = document["registry"][ViewName(view)];
    if (!keys.is_object()) keys = json::object();
    return keys;
}

// The key's object, created when asked for.
json* FindKey(json& document, RegistryView view, const std::wstring& key, bool create) {
    json& keys = Keys(document, view);
    std::string name = KeyName(key);
    auto found = FindNoCase(keys, name);
    if (found != keys.end()) return &*found;
    if (!create) return nullptr;
    keys[name] = json::object();
    return &keys[name];
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::vector<std::uint8_t> Unhex(const std::string& text) {
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
        return 0;
    };
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1])));
    }
    return bytes;
}

bool IsBelow(const std::string& candidate, const std::string& key) {
    return candidate.size() > key.size() && candidate[key.size()] == '\\' &&
           Lower(candidate.substr(0, key.size())) == Lower(key);
}

}  // namespace

bool RegistryKeyExists(RegistryView view, const std::wstring& key) {
    json document = Load();
    json& keys = Keys(document, view);
    std::string name = KeyName(key);
    if (FindNoCase(keys, name) != keys.end()) return true;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (IsBelow(it.key(), name)) return true;
    }
    return false;
}

void RegistryCreateKey(RegistryView view, const std::wstring& key) {
    Update([&](json& d) { FindKey(d, view, key, true); });
}

bool RegistryDeleteKey(RegistryView view, const std::wstring& key) {
    bool deleted = false;
    Update([&](json& d) {
        json& keys = Keys(d, view);
        std::string name = KeyName(key);
        auto found = FindNoCase(keys, name);
        if (found == keys.end()) return;
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (IsBelow(it.key(), name)) return;
        }
        keys.erase(found);
        deleted = true;
    });
    return deleted;
}

void RegistrySetValue(RegistryView view, const std::wstring& key, const std::wstring& name,
                      const RegistryValue& value) {
    Update([&](json& d) {
        json& values = *FindKey(d, view, key, true);
        auto found = FindNoCase(values, WideToUtf8(name));
        if (found != values.end()) values.erase(found);
        values[WideToUtf8(name)] = {{"type", value.type}, {"data", Hex(value.data)}};
    });
}

std::optional<RegistryValue> RegistryGetValue(RegistryView view, const std::wstring& key,
                                              const std::wstring& name) {
    json document = Load();
    json* values = FindKey(document, view, key, false);
    if (!values) return std::nullopt;
    auto found = FindNoCase(*values, WideToUtf8(name));
    if (found == values->end() || !found->is_object()) return std::nullopt;
    RegistryValue value;
    value.type = found->value("type", 0u);
    value.data = Unhex(found->value("data", std::string()));
    return value;
}

bool RegistryDeleteValue(RegistryView view, const std::wstring& key, const std::wstring& name) {
    bool deleted = false;
    Update([&](json& d) {
        json* values = FindKey(d, view, key, false);
        if (!values) return;
        auto found = FindNoCase(*values, WideToUtf8(name));
        if (found == values->end()) return;
        values->erase(found);
        deleted = true;
    });
    return deleted;
}

std::vector<std::wstring> RegistryValueNames(RegistryView view, const std::wstring& key) {
    std::vector<std::wstring> names;
    json document = Load();
    json* found = FindKey(document, view, key, false);
    if (!found || !found->is_object()) return names;
    for (auto it = found->begin(); it != found->end(); ++it) names.push_back(Utf8ToWide(it.key()));
    return names;
}

void RegistrySetString(RegistryView view, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text) {
    RegistrySetValue(view, key, name, {kRegSz, Utf16LeBytes(text)});
}

std::optional<std::wstring> RegistryGetString(RegistryView view, const std::wstring& key,
                                              const std::wstring& name) {
    auto value = RegistryGetValue(view, key, name);
    if (!value) return std::nullopt;
    return FromUtf16LeBytes(value->data);
}

void RegistrySetDword(RegistryView view, const std::wstring& key, const std::wstring& name,
                      std::uint32_t value) {
    std::vector<std::uint8_t> bytes;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    RegistrySetValue(view, key, name, {kRegDword, bytes});
}

std::optional<std::uint32_t> RegistryGetDword(RegistryView view, const std::wstring& key,
                                              const std::wstring& name) {
    auto value = RegistryGetValue(view, key, name);
    if (!value || value->data.size() < 4) return std::nullopt;
    std::uint32_t result = 0;
    for (int i = 3; i >= 0; --i) result = result << 8 | value->data[static_cast<std::size_t>(i)];
    return result;
}

std::vector<std::uint8_t> Utf16LeBytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        auto cp = static_cast<std::uint32_t>(c);
        auto put = [&](std::uint32_t unit) {
            bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return bytes;
}

std::wstring FromUtf16LeBytes(const std::vector<std::uint8_t>& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = bytes[i] | static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            std::uint32_t low = bytes[i + 2] | static_cast<std::uint32_t>(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

}  // namespace sim::host
