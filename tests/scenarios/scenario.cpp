#include "scenario.h"

#include <cstdlib>
#include <functional>
#include <map>

namespace halvern::scenarios {
namespace {

std::u16string Decode(std::string_view utf8) {
    std::u16string text;
    for (std::size_t index = 0; index < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[index]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int n = 1; n <= extra && index + n < utf8.size(); ++n) {
            point = (point << 6) | (static_cast<unsigned char>(utf8[index + n]) & 0x3F);
        }
        index += extra + 1;
        if (point >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(point));
        }
    }
    return text;
}

std::pair<std::string_view, std::string_view> SplitFirst(std::string_view text, char separator = ' ') {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

std::vector<std::string_view> Split(std::string_view text, char separator, std::size_t max_parts = 0) {
    std::vector<std::string_view> parts;
    while (max_parts == 0 || parts.size() + 1 < max_parts) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos) {
            break;
        }
        parts.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    parts.push_back(text);
    return parts;
}

// A field between " | " separators: one blank on each side belongs to the separator.
std::string_view Trimmed(std::string_view text) {
    text.remove_prefix(text.starts_with(' ') ? 1 : 0);
    text.remove_suffix(text.ends_with(' ') ? 1 : 0);
    return text;
}

bool Number(std::string_view text, long long& value) {
    const std::string digits(text);
    if (digits.empty()) {
        return false;
    }
    char* end = nullptr;
    const bool negative = digits[0] == '-';
    value = static_cast<long long>(std::strtoull(digits.c_str() + (negative ? 1 : 0), &end, 0));
    value = negative ? -value : value;
    return *end == '\0';
}

// "{N*5}" is five N: texts as long as a command line or a key name can hold stay readable.
std::string Repeated(std::string_view text) {
    std::string expanded;
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{')) {
        const std::size_t close = text.find('}', open);
        const std::size_t star = text.find('*', open);
        long long count = 0;
        if (close == std::string_view::npos || star > close || star == open + 1 ||
            !Number(text.substr(star + 1, close - star - 1), count)) {
            expanded += text.substr(0, open + 1);
            text.remove_prefix(open + 1);
            continue;
        }
        expanded += text.substr(0, open);
        for (long long n = 0; n < count; ++n) {
            expanded += text.substr(open + 1, star - open - 1);
        }
        text.remove_prefix(close + 1);
    }
    return expanded + std::string(text);
}

class Parser {
  public:
    explicit Parser(std::vector<Scenario>& scenarios) : scenarios_(scenarios) {}

    bool Line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == '#') {
            return true;
        }
        const auto [key, rest] = SplitFirst(line);
        if (key == "scenario") {
            scenarios_.emplace_back().name = rest;
            return true;
        }
        if (scenarios_.empty()) {
            scenarios_.emplace_back();
        }
        Scenario& scenario = scenarios_.back();
        if (key == "like") {
            // Everything an earlier scenario says, as if written here.
            const auto earlier = lines_.find(std::string(rest));
            if (earlier == lines_.end() || rest == scenario.name) {
                return false;
            }
            for (const std::string& copied : std::vector<std::string>(earlier->second)) {
                if (!Line(copied)) {
                    return false;
                }
            }
            return true;
        }
        lines_[scenario.name].emplace_back(line);
        if (key == ">") {
            for (const std::string_view expected : Split(line.substr(1), '|')) {
                scenario.lines.push_back(Unescaped(Trimmed(expected)));
            }
            return true;
        }
        const auto handler = Handlers().find(std::string(key));
        return handler != Handlers().end() && handler->second(scenario, rest);
    }

  private:
    using Handler = std::function<bool(Scenario&, std::string_view)>;

    static Package* Current(Scenario& scenario) {
        return scenario.packages.empty() ? nullptr : &scenario.packages.back();
    }

    // A key of the package that the last "package" line started.
    static Handler PackageText(std::u16string Package::*field) {
        return [field](Scenario& scenario, std::string_view rest) {
            Package* package = Current(scenario);
            return package != nullptr && (package->*field = Unescaped(rest), true);
        };
    }

    static bool AddPackage(Scenario& scenario, std::string_view rest) {
        // Name_Version_Architecture_ResourceId_PublisherId; the family is Name_PublisherId.
        Package& package = scenario.packages.emplace_back();
        package.full_name = Unescaped(rest);
        package.name = package.full_name.substr(0, package.full_name.find(u'_'));
        const std::size_t last = package.full_name.rfind(u'_');
        package.family_name =
            package.name + (last == std::u16string::npos ? u"" : package.full_name.substr(last));
        return !rest.empty();
    }

    static bool Version(Scenario& scenario, std::string_view rest) {
        Package* package = Current(scenario);
        const auto parts = Split(rest, '.');
        if (package == nullptr || parts.size() != 4) {
            return false;
        }
        for (std::size_t index = 0; index < 4; ++index) {
            long long value = 0;
            if (!Number(parts[index], value) || value < 0 || value > 0xFFFF) {
                return false;
            }
            package->version[index] = static_cast<std::uint16_t>(value);
        }
        return true;
    }

    static bool User(Scenario& scenario, std::string_view rest) {
        Package* package = Current(scenario);
        const auto [sid, state] = SplitFirst(rest);
        long long value = 0;
        return package != nullptr && !sid.empty() && Number(state, value) &&
               (package->users.push_back({Unescaped(sid), static_cast<std::int32_t>(value)}), true);
    }

    static bool NoInterface(Scenario& scenario, std::string_view rest) {
        Package* package = Current(scenario);
        if (rest == "IPackageManager2" || rest == "IPackageManager8") {
            (rest == "IPackageManager2" ? scenario.has_manager2 : scenario.has_manager8) = false;
        } else if (package != nullptr && (rest == "IPackage2" || rest == "IPackage8")) {
            (rest == "IPackage2" ? package->has_package2 : package->has_package8) = false;
        } else {
            return false;
        }
        return true;
    }

    static Handler Outcome(std::vector<Deployment> Scenario::*outcomes) {
        return [outcomes](Scenario& scenario, std::string_view rest) {
            const auto [target, after] = SplitFirst(rest);
            const auto [code, text] = SplitFirst(after);
            long long value = 0;
            return !target.empty() && Number(code, value) &&
                   ((scenario.*outcomes)
                        .push_back({Unescaped(target), static_cast<std::int32_t>(value), Unescaped(text)}),
                    true);
        };
    }

    // "fail <call> <status>|bad_alloc [<n>]" and "null <call> [<n>]".
    static bool Fail(Scenario& scenario, std::string_view rest, bool null_object) {
        const auto parts = Split(rest, ' ');
        Failure failure{std::string(parts[0])};
        long long value = 0;
        std::size_t next = 1;
        if (null_object) {
            failure.kind = FailureKind::NullObject;
        } else if (parts.size() > 1 && parts[1] == "bad_alloc") {
            failure.kind = FailureKind::BadAlloc;
            next = 2;
        } else if (parts.size() > 1 && Number(parts[1], value)) {
            failure.status = static_cast<std::int32_t>(value);
            next = 2;
        } else {
            return false;
        }
        if (parts.size() > next + 1 || (parts.size() == next + 1 && !Number(parts[next], value))) {
            return false;
        }
        failure.nth = parts.size() == next + 1 ? static_cast<int>(value) : 0;
        return !failure.call.empty() && (scenario.failures.push_back(std::move(failure)), true);
    }

    static Registration* Find(Scenario& scenario, std::string_view hive, std::string_view app_id) {
        for (Registration& registration : scenario.registrations) {
            if (registration.hive == hive && registration.app_id == Unescaped(app_id)) {
                return &registration;
            }
        }
        return nullptr;
    }

    static bool IsHive(std::string_view hive) { return hive == "HKLM" || hive == "HKCU" || hive == "HKLM64"; }

    // "registration <hive> <app id> [<name>|<pv>|<PackageFamilyName>]", "~" for a value left out.
    static bool Register(Scenario& scenario, std::string_view rest) {
        const auto [hive, after] = SplitFirst(rest);
        const auto [app_id, values] = SplitFirst(after);
        if (!IsHive(hive) || app_id.empty()) {
            return false;
        }
        Registration& registration = scenario.registrations.emplace_back();
        registration.hive = hive;
        registration.app_id = Unescaped(app_id);
        const auto parts = Split(values, '|');
        if (values.empty()) {
            return true;
        }
        static const char16_t* const kNames[] = {u"name", u"pv", u"PackageFamilyName"};
        for (std::size_t index = 0; index < parts.size() && index < 3; ++index) {
            if (parts[index] != "~") {
                registration.values.push_back({kNames[index], 1, Unescaped(parts[index]), 0});
            }
        }
        return parts.size() == 3;
    }

    // "value <hive> <app id> <name> sz <text>" or "... dword <n>".
    static bool Value(Scenario& scenario, std::string_view rest) {
        const auto parts = Split(rest, ' ', 5);
        long long number = 0;
        Registration* registration = parts.size() == 5 ? Find(scenario, parts[0], parts[1]) : nullptr;
        if (registration == nullptr ||
            (parts[3] != "sz" && !(parts[3] == "dword" && Number(parts[4], number)))) {
            return false;
        }
        registration->values.push_back({Unescaped(parts[2]), parts[3] == "sz" ? 1u : 4u, Unescaped(parts[4]),
                                        static_cast<std::uint32_t>(number)});
        return true;
    }

    static bool Subkey(Scenario& scenario, std::string_view rest) {
        const auto [hive, app_id] = SplitFirst(rest);
        Registration* registration = Find(scenario, hive, app_id);
        return registration != nullptr && (registration->has_subkey = true);
    }

    static bool Uid(Scenario& scenario, std::string_view rest) {
        const auto [hive, uid] = SplitFirst(rest);
        auto& field = hive == "HKLM" ? scenario.machine_uid : scenario.user_uid;
        field = uid == "~" ? std::nullopt : std::optional(Unescaped(uid));
        return hive == "HKLM" || hive == "HKCU";
    }

    // "event <type> <app>|<family>|<version>[|<error code>|<error message>]"; an empty code is none.
    static bool Event(Scenario& scenario, std::string_view rest) {
        const auto [type, fields] = SplitFirst(rest);
        const auto parts = Split(fields, '|', 5);
        if (parts.size() != 3 && parts.size() != 5) {
            return false;
        }
        ExpectedEvent& event = scenario.events.emplace_back();
        event.event_type = Unescaped(type);
        event.app_name = Unescaped(parts[0]);
        event.package_family_name = Unescaped(parts[1]);
        event.version = Unescaped(parts[2]);
        if (parts.size() == 5) {
            if (!parts[3].empty()) {
                event.error_code = Unescaped(parts[3]);
            }
            event.error_message = Unescaped(parts[4]);
        }
        return true;
    }

    static const std::map<std::string, Handler>& Handlers() {
        static const std::map<std::string, Handler> handlers = {
            {"wine",
             [](Scenario& s, std::string_view rest) {
                 s.wine = true;
                 s.native = rest != "only";
                 return rest.empty() || rest == "only";
             }},
            {"machine",
             [](Scenario& s, std::string_view rest) {
                 s.machine_wide = true;
                 s.arguments = {u"/InstallType:MACHINE"};
                 return rest.empty();
             }},
            {"args",
             [](Scenario& s, std::string_view rest) {
                 s.arguments.clear();
                 for (const std::string_view token : Split(rest, ' ')) {
                     s.arguments.push_back(Unescaped(token));
                 }
                 return true;
             }},
            {"sink",
             [](Scenario& s, std::string_view rest) {
                 long long status = 0;
                 return Number(rest, status) && (s.sink_status = static_cast<std::uint32_t>(status), true);
             }},
            {"uid", Uid},
            {"registration", Register},
            {"value", Value},
            {"subkey", Subkey},
            {"package", AddPackage},
            {"family", PackageText(&Package::family_name)},
            {"name", PackageText(&Package::name)},
            {"display", PackageText(&Package::display_name)},
            {"path", PackageText(&Package::installed_path)},
            {"external", PackageText(&Package::external_path)},
            {"version", Version},
            {"current_user",
             [](Scenario& s, std::string_view rest) {
                 Package* package = Current(s);
                 return package != nullptr && rest.empty() && (package->current_user = true);
             }},
            {"user", User},
            {"no_interface", NoInterface},
            {"remove", Outcome(&Scenario::removals)},
            {"deprovision", Outcome(&Scenario::deprovisionings)},
            {"fail", [](Scenario& s, std::string_view rest) { return Fail(s, rest, false); }},
            {"null", [](Scenario& s, std::string_view rest) { return Fail(s, rest, true); }},
            {"completion",
             [](Scenario& s, std::string_view rest) {
                 return (rest == "now" || rest == "later") && (s.complete_later = rest == "later", true);
             }},
            {"agile",
             [](Scenario& s, std::string_view rest) {
                 return (rest == "0" || rest == "1") && (s.agile_factory = rest == "1", true);
             }},
            {"log", [](Scenario& s, std::string_view rest) { return (s.log_path = Unescaped(rest), true); }},
            {"state",
             [](Scenario& s, std::string_view rest) { return (s.state_path = Unescaped(rest), true); }},
            {"event", Event},
            {"calls",
             [](Scenario& s, std::string_view rest) {
                 for (std::string_view call : Split(rest, ';')) {
                     while (!call.empty() && call.front() == ' ') {
                         call.remove_prefix(1);
                     }
                     s.calls.push_back(Unescaped(call));
                 }
                 return true;
             }},
            {"deleted",
             [](Scenario& s, std::string_view rest) {
                 const auto [hive, app_id] = SplitFirst(rest);
                 return IsHive(hive) && (s.deleted.emplace_back(hive, Unescaped(app_id)), true);
             }},
        };
        return handlers;
    }

    std::vector<Scenario>& scenarios_;
    std::map<std::string, std::vector<std::string>> lines_;  // each scenario's own lines, for "like"
};

}  // namespace

const Deployment* Scenario::Removal(const std::u16string& full_name) const {
    for (const Deployment& outcome : removals) {
        if (outcome.target == full_name) {
            return &outcome;
        }
    }
    return nullptr;
}

const Deployment* Scenario::Deprovisioning(const std::u16string& family_name) const {
    for (const Deployment& outcome : deprovisionings) {
        if (outcome.target == family_name) {
            return &outcome;
        }
    }
    return nullptr;
}

bool ParseScenarios(std::string_view utf8, std::vector<Scenario>& scenarios, std::string& problem) {
    Parser parser(scenarios);
    std::size_t number = 0;
    for (const std::string_view line : Split(utf8, '\n')) {
        ++number;
        if (!parser.Line(line)) {
            problem = "line " + std::to_string(number) + ": cannot read \"" + std::string(line) + "\"";
            return false;
        }
    }
    return true;
}

std::u16string Unescaped(std::string_view raw) {
    const std::string expanded = Repeated(raw);
    const std::string_view utf8 = expanded;
    static constexpr std::string_view kEscapes = "0nrt\\";
    static constexpr char16_t kUnits[] = {u'\0', u'\n', u'\r', u'\t', u'\\'};
    std::u16string text;
    std::size_t plain = 0;  // where the text not yet decoded starts
    for (std::size_t index = 0; index + 1 < utf8.size(); ++index) {
        if (utf8[index] != '\\') {
            continue;
        }
        long long unit = 0;
        std::size_t length = 2;
        const std::size_t which = kEscapes.find(utf8[index + 1]);
        if (which != std::string_view::npos) {
            unit = kUnits[which];
        } else if (utf8[index + 1] == 'u' && index + 6 <= utf8.size() &&
                   Number("0x" + std::string(utf8.substr(index + 2, 4)), unit)) {
            length = 6;
        } else {
            continue;  // any other backslash is itself, so Windows paths need no escaping
        }
        text += Decode(utf8.substr(plain, index - plain));
        text.push_back(static_cast<char16_t>(unit));
        index += length - 1;
        plain = index + 1;
    }
    return text + Decode(utf8.substr(plain));
}

std::string Utf8(const std::u16string& text) {
    std::string utf8;
    for (std::size_t index = 0; index < text.size(); ++index) {
        char32_t point = text[index];
        if (point >= 0xD800 && point < 0xDC00 && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
            text[index + 1] < 0xE000) {
            point = 0x10000 + ((point - 0xD800) << 10) + (text[++index] - 0xDC00);
        }
        if (point < 0x80) {
            utf8.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            utf8 += {static_cast<char>(0xC0 | (point >> 6)), static_cast<char>(0x80 | (point & 0x3F))};
        } else if (point < 0x10000) {
            utf8 += {static_cast<char>(0xE0 | (point >> 12)), static_cast<char>(0x80 | ((point >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (point & 0x3F))};
        } else {
            utf8 +=
                {static_cast<char>(0xF0 | (point >> 18)), static_cast<char>(0x80 | ((point >> 12) & 0x3F)),
                 static_cast<char>(0x80 | ((point >> 6) & 0x3F)), static_cast<char>(0x80 | (point & 0x3F))};
        }
    }
    return utf8;
}

}  // namespace halvern::scenarios
