#include "errors/msix_exception.h"

#include <array>
#include <string_view>

namespace halvern {
namespace {

constexpr std::int32_t kFirstCode = 2000;

constexpr std::array<std::u16string_view, 21> kCodeNames = {
    u"URLEncodeFailure",
    u"PackageStageFailure",
    u"PackageProvisionFailure",
    u"PackageDeprovisionFailure",
    u"PackageAddFailure",
    u"PackageRemoveFailure",
    u"KernelLocatingFailure",
    u"KernelFunctionCallFailure",
    u"PackageCompatibilityFailure",
    u"ProcessorCompatibilityFailure",
    u"OperatingSystemCompatibilityFailure",
    u"FailureInInformingOmahaOfSuccess",
    u"MSIXFileNotFound",
    u"NoMSIXFileFlag",
    u"InvalidHalvernPackagingType",
    u"TH32CSError",
    u"ApplicationActivationFailure",
    u"FailedToMigrate",
    u"FailedToUnregisterFromOmaha",
    u"FindPackagesFailure",
    u"FindUsersFailure",
};

}  // namespace

MSIXException::MSIXException(std::u16string message_text, MSIXErrorCode error_code, std::int32_t error)
    : message(std::move(message_text)), code(error_code), system_error(error) {}

std::u16string ErrorCodeName(MSIXErrorCode code) {
    // Widen before subtracting so that no int32 value can overflow.
    const std::int64_t index = static_cast<std::int64_t>(code) - kFirstCode;
    if (index < 0 || index >= static_cast<std::int64_t>(kCodeNames.size())) {
        return u"UnknownError";
    }
    return std::u16string(kCodeNames[static_cast<std::size_t>(index)]);
}

}  // namespace halvern
