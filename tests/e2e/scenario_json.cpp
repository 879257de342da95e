// scenario_json TABLE: the scenarios marked for Wine, as tests/scenarios' reader reads them, as one
// JSON array of arrays in the order of Json::Of(Scenario), for the end-to-end runner, which is not C++.
// Built for the host when the Windows preset is configured.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "scenarios/scenario.h"

using namespace halvern::scenarios;

struct Json {
    static std::string Of(bool value) { return value ? "true" : "false"; }
    static std::string Of(std::uint32_t value) { return std::to_string(value); }
    static std::string Of(const std::optional<std::u16string>& text) { return text ? Of(*text) : "null"; }
    // A UTF-16 text escapes each unit beyond ASCII, lone surrogates too; a UTF-8 one keeps its bytes.
    template <typename Char>
    static std::string Of(const std::basic_string<Char>& text) {
        std::string json = "\"";
        for (const Char c : text) {
            const auto unit = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", unit);
            const bool plain = unit >= 0x20 && c != '"' && c != '\\' && (sizeof(Char) == 1 || unit < 0x7F);
            json += plain ? std::string(1, static_cast<char>(c)) : std::string(escaped);
        }
        return json + "\"";
    }
    template <typename Item>
    static std::string Of(const std::vector<Item>& items) {
        std::string json = "[";
        for (const Item& item : items) {
            json += (json.size() > 1 ? ", " : "") + Of(item);
        }
        return json + "]";
    }
    template <typename... Items>
    static std::string Array(const Items&... items) {
        std::string json = "[";
        ((json += (json.size() > 1 ? ", " : "") + Of(items)), ...);
        return json + "]";
    }
    static std::string Of(const std::pair<std::string, std::u16string>& key) {
        return Array(key.first, key.second);
    }
    static std::string Of(const Registration& r) { return Array(r.hive, r.app_id, r.has_subkey, r.values); }
    static std::string Of(const RegistryValue& v) { return Array(v.name, v.type, v.text, v.number); }
    static std::string Of(const ExpectedEvent& e) {
        return Array(e.event_type, e.app_name, e.package_family_name, e.version, e.error_code,
                     e.error_message);
    }
    static std::string Of(const Scenario& s) {
        return Array(s.name, s.text, s.machine_wide, s.arguments, s.sink_status, s.machine_uid, s.user_uid,
                     s.registrations, s.lines, s.events, s.calls, s.deleted);
    }
};

int main(int argc, char** argv) {
    std::ifstream file(argc == 2 ? argv[1] : "", std::ios::binary);
    std::vector<Scenario> scenarios;
    std::string problem = "usage: scenario_json TABLE";
    if (!file || !ParseScenarios(std::string(std::istreambuf_iterator<char>(file), {}), scenarios, problem)) {
        std::cerr << problem << '\n';
        return 1;
    }
    std::erase_if(scenarios, [](const Scenario& s) { return !s.wine; });
    std::cout << Json::Of(scenarios) << '\n';
    return 0;
}
