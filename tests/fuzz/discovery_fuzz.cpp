// Discovery over arbitrary registry contents with any registry call failing: it never fails, never
// leaks a key, and gives records in enumeration order, each from a subkey that was there.
#include "fakes/fake_platform.h"
#include "fuzz_input.h"
#include "registry/installation_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using halvern::fuzzing::Check;
    halvern::fuzzing::FuzzInput input(data, size);
    halvern::testing::FakePlatform machine;
    const auto machine_wide = (input.Byte() & 1) != 0 ? halvern::Scope::Machine : halvern::Scope::User;
    const std::u16string clients = machine_wide == halvern::Scope::Machine
                                       ? u"HKLM\\Software\\Wow6432Node\\HalvernUpdate\\Update\\Clients"
                                       : u"HKCU\\Software\\HalvernUpdate\\Update\\Clients";
    machine.CreateKey(clients);
    for (int index = input.Byte() % 6; index > 0; --index) {
        std::u16string app_id = input.Token(u"{}ABC-0123abc", 12);
        if (app_id.empty() || app_id.find_first_of(std::u16string_view(u"\\\0", 2)) != std::u16string::npos) {
            app_id = u"app" + std::u16string(1, static_cast<char16_t>(u'0' + index));
        }
        machine.CreateKey(clients + u"\\" + app_id);
        for (const char16_t* name : {u"name", u"pv", u"PackageFamilyName"}) {
            if (const std::uint8_t kind = input.Byte() % 4; kind == 1) {
                machine.SetString(clients + u"\\" + app_id, name, input.Text(20));
            } else if (kind > 1) {
                halvern::testing::FakeValue value{static_cast<std::uint32_t>(input.Byte() % 12), {}};
                for (std::size_t byte = input.Byte() % 9; byte > 0; --byte) {
                    value.bytes.push_back(input.Byte());
                }
                machine.SetValue(clients + u"\\" + app_id, name, value);
            }
        }
    }
    static const char* const kCalls[] = {"RegOpenKeyExA", "RegOpenKeyExW", "RegQueryInfoKeyW",
                                         "RegEnumKeyExW", "RegGetValueW"};
    const char* call = kCalls[input.Byte() % 5];
    const int nth = input.Byte() % 12;
    if (const std::uint8_t status = input.Byte() % 8; status != 0) {
        machine.Fail(call, status == 7 ? 259 : status == 6 ? 234 : status, nth);
    }
    std::vector<std::u16string> enumerable;
    for (const auto& [path, key] : machine.keys) {
        if (path.starts_with(halvern::testing::KeyOf(clients + u"\\"))) {
            enumerable.push_back(key.name);
        }
    }

    const auto records = halvern::DiscoverInstallations(machine, machine_wide);

    Check(machine.open_keys() == 0, "every key opened is closed");
    std::size_t next = 0;
    for (const auto& record : records) {
        while (next < enumerable.size() && enumerable[next] != record.app_id) {
            ++next;
        }
        Check(next++ < enumerable.size(), "records follow enumeration order");
    }
    return 0;
}
