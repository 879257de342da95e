// Discovery over arbitrary registry contents, with calls failing and the tree changing under it:
// it never fails, never leaks a key, reads only the selected hive and keeps enumeration order.
#include "fakes/fake_registry.h"
#include "fuzz_input.h"
#include "registry/installation_discovery.h"

namespace {

using halvern::fuzzing::Check;
using halvern::testing::FakeRegistry;
using halvern::testing::FakeRegistryValue;
using halvern::testing::RegistryCall;
using halvern::testing::RegistryFunction;

constexpr std::u16string_view kClients = u"Software\\HalvernUpdate\\Update\\Clients";

void PlantClients(FakeRegistry& registry, halvern::fuzzing::FuzzInput& input,
                  halvern::RegistryKeyHandle hive) {
    registry.CreateKey(hive, kClients);
    const int count = input.Byte() % 6;
    for (int index = 0; index < count; ++index) {
        std::u16string app_id = input.Token(u"{}ABC-0123abc", 12);
        if (app_id.empty() || app_id.find_first_of(std::u16string_view(u"\\\0", 2)) != std::u16string::npos) {
            app_id = u"app" + std::u16string(1, static_cast<char16_t>(u'0' + index));
        }
        const std::u16string path = std::u16string(kClients) + u"\\" + app_id;
        registry.CreateKey(hive, path);
        for (const char16_t* name : {u"name", u"pv", u"PackageFamilyName"}) {
            switch (input.Byte() % 4) {
                case 0:
                    break;
                case 1:
                    registry.SetString(hive, path, name, input.Text(20));
                    break;
                case 2:
                    registry.SetDword(hive, path, name, input.Byte());
                    break;
                default: {
                    FakeRegistryValue value;
                    value.type = input.Byte() % 12;
                    const std::size_t bytes = input.Byte() % 9;
                    for (std::size_t byte = 0; byte < bytes; ++byte) {
                        value.bytes.push_back(input.Byte());
                    }
                    registry.SetValue(hive, path, name, value);
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvern::fuzzing::FuzzInput input(data, size);
    FakeRegistry registry;
    const bool machine_wide = (input.Byte() & 1) != 0;
    const halvern::RegistryKeyHandle hive =
        machine_wide ? halvern::kHkeyLocalMachine : halvern::kHkeyCurrentUser;
    PlantClients(registry, input, hive);

    // Any call may fail with a status picked by the input, and the tree may lose a registration.
    const std::size_t failing_call = input.Byte() % 24;
    const halvern::LStatus status =
        static_cast<halvern::LStatus>(input.Byte() % 8 == 0 ? 259 : input.Byte() % 6);
    const std::size_t vanishing_call = input.Byte() % 24;
    std::size_t served = 0;
    registry.before_call = [&](FakeRegistry& tree, const RegistryCall&) {
        if (served++ == vanishing_call) {
            const auto names = tree.SubkeyNames(hive, kClients);
            if (!names.empty()) {
                tree.DeleteTree(hive, std::u16string(kClients) + u"\\" + names.front());
            }
        }
    };
    std::size_t seen = 0;
    if (status != 0) {
        // A failed close would leave the key open whatever the caller does; closes are not injected.
        registry.FailWhen(
            [&](const RegistryCall& call) {
                return call.function != RegistryFunction::RegCloseKey && seen++ == failing_call;
            },
            status);
    }
    const std::vector<std::u16string> enumerable = registry.SubkeyNames(hive, kClients);

    const auto records = halvern::DiscoverInstallations(registry, machine_wide);

    Check(registry.OpenHandleCount() == 0, "every key opened is closed");
    for (const RegistryCall& call : registry.calls) {
        Check(call.function == RegistryFunction::RegCloseKey || call.hive == hive || call.hive == 0,
              "only the selected hive is touched");
    }
    // Records come in enumeration order, each from a subkey that existed when the run began.
    std::size_t next = 0;
    for (const auto& record : records) {
        while (next < enumerable.size() && enumerable[next] != record.app_id) {
            ++next;
        }
        Check(next < enumerable.size(), "records follow enumeration order");
        ++next;
    }
    return 0;
}
