#include "registry/updater_unregistration.h"

#include "common/system_error_text.h"
#include "errors/msix_exception.h"
#include "registry/registry_keys.h"
#include "registry/updater_keys.h"

namespace halvern {
namespace {

[[noreturn]] void ThrowUnregistrationFailure(SystemMessagesApi& messages, LStatus status) {
    throw MSIXException(SystemErrorText(messages, static_cast<std::uint32_t>(status)),
                        MSIXErrorCode::FailedToUnregisterFromOmaha, status);
}

// RegDeleteKeyW takes a path: an empty name would delete the Clients key itself, a backslash would
// reach below a registration, and text after a NUL would be cut off. An app id from enumeration is
// never any of these.
bool IsSingleKeyName(const std::u16string& app_id) {
    return !app_id.empty() && app_id.find_first_of(std::u16string_view(u"\\\0", 2)) == std::u16string::npos;
}

}  // namespace

void UnregisterFromUpdater(RegistryApi& registry, SystemMessagesApi& messages, Scope machine_wide,
                           const std::u16string& app_id) {
    if (!IsSingleKeyName(app_id)) {
        ThrowUnregistrationFailure(messages, kErrorInvalidParameter);
    }
    OpenedKey clients = OpenKeyForReadingA(registry, machine_wide, kClientsKeyPath);
    if (clients.status != kErrorSuccess) {
        ThrowUnregistrationFailure(messages, clients.status);
    }
    const LStatus status = registry.RegDeleteKeyW(clients.key.get(), app_id.c_str());
    clients.key.reset();
    if (status != kErrorSuccess) {
        ThrowUnregistrationFailure(messages, status);
    }
}

}  // namespace halvern
