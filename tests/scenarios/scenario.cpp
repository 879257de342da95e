#include "scenario.h"

#include <cstdlib>

namespace halvern::scenarios {
namespace {

using Parts = std::vector<std::string_view>;

// At each separator; the last part keeps the rest when there are at most `limit` parts.
Parts Split(std::string_view text, char separator, std::size_t limit = 0) {
    Parts parts;
    for (std::size_t at = text.find(separator); at != text.npos && parts.size() + 1 != limit;
         at = text.find(separator)) {
        parts.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    parts.push_back(text);
    return parts;
}

bool Number(std::string_view text, long long& value) {
    const std::string digits(text);
    char* end = nullptr;
    const bool negative = digits.starts_with('-');
    value = static_cast<long long>(std::strtoull(digits.c_str() + (negative ? 1 : 0), &end, 0));
    value = negative ? -value : value;
    return !digits.empty() && *end == '\0';
}

std::u16string Decode(std::string_view utf8) {
    std::u16string text;
    for (std::size_t index = 0; index < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[index++]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t point = lead & (0xFF >> (extra == 0 ? 1 : extra + 2));
        for (int n = 0; n < extra && index < utf8.size(); ++n) {
            point = (point << 6) | (utf8[index++] & 0x3F);
        }
        if (point >= 0x10000) {
            text += {static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)),
                     static_cast<char16_t>(0xDC00 + (point & 0x3FF))};
        } else {
            text.push_back(static_cast<char16_t>(point));
        }
    }
    return text;
}

// "{N*5}" is five N: texts as long as a command line or a key name allows stay readable.
std::string Repeated(std::string_view text) {
    std::string expanded;
    for (std::size_t open = text.find('{'); open != text.npos; open = text.find('{')) {
        const std::size_t close = text.find('}', open);
        const std::size_t star = text.find('*', open);
        long long count = 0;
        const bool repeat = close != text.npos && star < close && star > open + 1 &&
                            Number(text.substr(star + 1, close - star - 1), count);
        expanded += text.substr(0, repeat ? open : open + 1);
        for (long long n = 0; repeat && n < count; ++n) {
            expanded += text.substr(open + 1, star - open - 1);
        }
        text.remove_prefix(repeat ? close + 1 : open + 1);
    }
    return expanded + std::string(text);
}

class Parser {
  public:
    explicit Parser(std::vector<Scenario>& scenarios) : scenarios_(scenarios) {}

    bool Line(std::string_view line) {
        line.remove_suffix(line.ends_with('\r') ? 1 : 0);
        const Parts words = Split(line, ' ', 2);
        const std::string_view key = words[0];
        const std::string_view rest = words.size() > 1 ? words[1] : std::string_view();
        if (line.empty() || line.starts_with('#')) {
            return true;
        }
        if (key == "scenario") {
            scenarios_.emplace_back().name = rest;
            return true;
        }
        if (scenarios_.empty()) {
            scenarios_.emplace_back();
        }
        Scenario& s = scenarios_.back();
        if (key == "like") {
            // Everything an earlier scenario says, as if written here.
            const auto earlier = std::ranges::find(scenarios_, rest, &Scenario::name);
            bool read = earlier != scenarios_.end() && rest != s.name;
            for (const std::string& copied : read ? std::vector(earlier->text) : std::vector<std::string>()) {
                read = read && Line(copied);
            }
            return read;
        }
        s.text.emplace_back(line);
        return Entry(s, key, rest);
    }

  private:
    static bool Entry(Scenario& s, std::string_view key, std::string_view rest) {
        const Parts parts = Split(rest, ' ');
        Package* package = s.packages.empty() ? nullptr : &s.packages.back();
        long long number = 0;
        if (key == ">") {
            // Lines separated by " | ": one blank on each side belongs to the separator.
            const std::string padded = " " + std::string(rest) + " ";
            for (const std::string_view text : Split(padded, '|')) {
                s.lines.push_back(Unescaped(text.substr(1, text.size() - 2)));
            }
        } else if (key == "wine" && (rest.empty() || rest == "only")) {
            s.wine = true;
            s.native = rest.empty();
        } else if (key == "machine" && rest.empty()) {
            s.machine_wide = true;
            s.arguments = {u"/InstallType:MACHINE"};
        } else if (key == "args") {
            s.arguments.clear();
            for (const std::string_view argument : parts) {
                s.arguments.push_back(Unescaped(argument));
            }
        } else if (key == "sink" && Number(rest, number)) {
            s.sink_status = static_cast<std::uint32_t>(number);
        } else if (key == "uid" && parts.size() == 2 && (parts[0] == "HKLM" || parts[0] == "HKCU")) {
            (parts[0] == "HKLM" ? s.machine_uid : s.user_uid) =
                parts[1] == "~" ? std::nullopt : std::optional(Unescaped(parts[1]));
        } else if (key == "registration" && parts.size() >= 2 && IsHive(parts[0])) {
            // "<hive> <app id> [<name>|<pv>|<PackageFamilyName>]", "~" for a value left out.
            Registration& registration = s.registrations.emplace_back(
                Registration{std::string(parts[0]), Unescaped(parts[1]), {}, false});
            const Parts values = Split(Split(rest, ' ', 3).back(), '|');
            static const char16_t* const kNames[] = {u"name", u"pv", u"PackageFamilyName"};
            for (std::size_t index = 0; parts.size() > 2 && index < values.size() && index < 3; ++index) {
                if (values[index] != "~") {
                    registration.values.push_back({kNames[index], 1, Unescaped(values[index]), 0});
                }
            }
            return parts.size() == 2 || values.size() == 3;
        } else if (key == "value" && parts.size() >= 5 && Find(s, parts[0], parts[1]) &&
                   (parts[3] == "sz" || (parts[3] == "dword" && Number(parts[4], number)))) {
            Find(s, parts[0], parts[1])
                ->values.push_back({Unescaped(parts[2]), parts[3] == "sz" ? 1u : 4u,
                                    Unescaped(Split(rest, ' ', 5).back()),
                                    static_cast<std::uint32_t>(number)});
        } else if (key == "subkey" && parts.size() == 2 && Find(s, parts[0], parts[1])) {
            Find(s, parts[0], parts[1])->has_subkey = true;
        } else if (key == "package" && !rest.empty()) {
            // Name_Version_Architecture_ResourceId_PublisherId; the family is Name_PublisherId.
            Package& added = s.packages.emplace_back();
            added.full_name = Unescaped(rest);
            added.name = added.full_name.substr(0, added.full_name.find(u'_'));
            const std::size_t last = added.full_name.rfind(u'_');
            added.family_name =
                added.name + (last == std::u16string::npos ? u"" : added.full_name.substr(last));
        } else if (package && (key == "name" || key == "display" || key == "path" || key == "external")) {
            (key == "name"      ? package->name
             : key == "display" ? package->display_name
             : key == "path"    ? package->installed_path
                                : package->external_path) = Unescaped(rest);
        } else if (package && key == "version" && Split(rest, '.').size() == 4) {
            for (std::size_t index = 0; index < 4; ++index) {
                if (!Number(Split(rest, '.')[index], number) || number < 0 || number > 0xFFFF) {
                    return false;
                }
                package->version[index] = static_cast<std::uint16_t>(number);
            }
        } else if (package && key == "current_user" && rest.empty()) {
            package->current_user = true;
        } else if (package && key == "user" && parts.size() == 2 && Number(parts[1], number)) {
            package->users.push_back({Unescaped(parts[0]), static_cast<std::int32_t>(number)});
        } else if (key == "no_interface" && (rest == "IPackageManager2" || rest == "IPackageManager8")) {
            (rest == "IPackageManager2" ? s.has_manager2 : s.has_manager8) = false;
        } else if (key == "no_interface" && package && (rest == "IPackage2" || rest == "IPackage8")) {
            (rest == "IPackage2" ? package->has_package2 : package->has_package8) = false;
        } else if ((key == "remove" || key == "deprovision") && parts.size() >= 2 &&
                   Number(parts[1], number)) {
            (key == "remove" ? s.removals : s.deprovisionings)
                .push_back({Unescaped(parts[0]), static_cast<std::int32_t>(number),
                            parts.size() > 2 ? Unescaped(Split(rest, ' ', 3).back()) : u""});
        } else if (key == "fail" || key == "null") {
            return Fail(s, key == "null", parts);
        } else if (key == "completion" && (rest == "now" || rest == "later")) {
            s.complete_later = rest == "later";
        } else if (key == "log" || key == "state") {
            (key == "log" ? s.log_path : s.state_path) = Unescaped(rest);
        } else if (key == "event" && parts.size() >= 2) {
            // "<type> <app>|<family>|<version>[|<error code>|<error message>]"; an empty code is none.
            const Parts fields = Split(Split(rest, ' ', 2).back(), '|', 5);
            if (fields.size() != 3 && fields.size() != 5) {
                return false;
            }
            const bool failed = fields.size() == 5;
            s.events.push_back(
                {Unescaped(parts[0]), Unescaped(fields[0]), Unescaped(fields[1]), Unescaped(fields[2]),
                 failed && !fields[3].empty() ? std::optional(Unescaped(fields[3])) : std::nullopt,
                 failed ? std::optional(Unescaped(fields[4])) : std::nullopt});
        } else if (key == "calls") {
            for (std::string_view call : Split(rest, ';')) {
                s.calls.push_back(Unescaped(call.substr(call.starts_with(' ') ? 1 : 0)));
            }
        } else if (key == "deleted" && parts.size() == 2 && IsHive(parts[0])) {
            s.deleted.emplace_back(parts[0], Unescaped(parts[1]));
        } else {
            return false;
        }
        return true;
    }

    // "fail <call> <status>|bad_alloc [<n>]" and "null <call> [<n>]".
    static bool Fail(Scenario& s, bool null_object, const Parts& parts) {
        Failure failure{std::string(parts[0]), null_object ? FailureKind::NullObject : FailureKind::Status};
        long long number = 0;
        const std::size_t next = null_object ? 1 : 2;
        if (!null_object && (parts.size() < 2 || !(parts[1] == "bad_alloc" || Number(parts[1], number)))) {
            return false;
        }
        failure.kind = !null_object && parts[1] == "bad_alloc" ? FailureKind::BadAlloc : failure.kind;
        failure.status = static_cast<std::int32_t>(number);
        const bool counted = parts.size() == next + 1 && Number(parts[next], number);
        failure.nth = counted ? static_cast<int>(number) : 0;
        s.failures.push_back(std::move(failure));
        return !parts[0].empty() && (counted || parts.size() == next);
    }

    static bool IsHive(std::string_view hive) { return hive == "HKLM" || hive == "HKCU" || hive == "HKLM64"; }

    static Registration* Find(Scenario& s, std::string_view hive, std::string_view app_id) {
        for (Registration& registration : s.registrations) {
            if (registration.hive == hive && registration.app_id == Unescaped(app_id)) {
                return &registration;
            }
        }
        return nullptr;
    }

    std::vector<Scenario>& scenarios_;
};

}  // namespace

bool ParseScenarios(std::string_view utf8, std::vector<Scenario>& scenarios, std::string& problem) {
    Parser parser(scenarios);
    std::size_t number = 0;
    for (const std::string_view line : Split(utf8, '\n')) {
        if (++number; !parser.Line(line)) {
            problem = "line " + std::to_string(number) + ": cannot read \"" + std::string(line) + "\"";
            return false;
        }
    }
    return true;
}

std::u16string Unescaped(std::string_view raw) {
    const std::string utf8 = Repeated(raw);
    static constexpr std::string_view kEscapes = "0nrt\\";
    static constexpr char16_t kUnits[] = {u'\0', u'\n', u'\r', u'\t', u'\\'};
    std::u16string text;
    std::size_t plain = 0;  // where the text not yet decoded starts
    for (std::size_t index = utf8.find('\\'); index != utf8.npos && index + 1 < utf8.size();
         index = utf8.find('\\', index + 1)) {
        long long unit = 0;
        const std::size_t which = kEscapes.find(utf8[index + 1]);
        const bool hex = utf8[index + 1] == 'u' && index + 6 <= utf8.size() &&
                         Number("0x" + utf8.substr(index + 2, 4), unit);
        if (which == kEscapes.npos && !hex) {
            continue;  // any other backslash is itself, so Windows paths need no escaping
        }
        text += Decode(std::string_view(utf8).substr(plain, index - plain));
        text.push_back(hex ? static_cast<char16_t>(unit) : kUnits[which]);
        index += hex ? 5 : 1;
        plain = index + 1;
    }
    return text + Decode(std::string_view(utf8).substr(std::min(plain, utf8.size())));
}

std::string Utf8(const std::u16string& text) {
    std::string utf8;
    for (std::size_t index = 0; index < text.size(); ++index) {
        char32_t point = text[index];
        if (point >= 0xD800 && point < 0xDC00 && index + 1 < text.size() &&
            (text[index + 1] & 0xFC00) == 0xDC00) {
            point = 0x10000 + ((point - 0xD800) << 10) + (text[++index] - 0xDC00);
        }
        const int extra = point < 0x80 ? 0 : point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
        utf8.push_back(
            static_cast<char>(extra == 0 ? point : ((0xF0 << (3 - extra)) & 0xFF) | (point >> (6 * extra))));
        for (int n = extra - 1; n >= 0; --n) {
            utf8.push_back(static_cast<char>(0x80 | ((point >> (6 * n)) & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace halvern::scenarios
