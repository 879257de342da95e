#pragma once
// The tool's own exception: a plain value with no base class, so a std::exception handler never
// catches it by accident.

#include <cstdint>
#include <string>

namespace halvern {

enum class MSIXErrorCode : std::int32_t {
    URLEncodeFailure = 2000,
    PackageStageFailure = 2001,
    PackageProvisionFailure = 2002,
    PackageDeprovisionFailure = 2003,
    PackageAddFailure = 2004,
    PackageRemoveFailure = 2005,
    KernelLocatingFailure = 2006,
    KernelFunctionCallFailure = 2007,
    PackageCompatibilityFailure = 2008,
    ProcessorCompatibilityFailure = 2009,
    OperatingSystemCompatibilityFailure = 2010,
    FailureInInformingOmahaOfSuccess = 2011,
    MSIXFileNotFound = 2012,
    NoMSIXFileFlag = 2013,
    InvalidHalvernPackagingType = 2014,
    TH32CSError = 2015,
    ApplicationActivationFailure = 2016,
    FailedToMigrate = 2017,
    FailedToUnregisterFromOmaha = 2018,
    FindPackagesFailure = 2019,
    FindUsersFailure = 2020,
};

struct MSIXException {
    MSIXException(std::u16string message, MSIXErrorCode code, std::int32_t system_error);

    std::u16string message;
    MSIXErrorCode code;
    std::int32_t system_error;
};

// The name text sent in telemetry; "UnknownError" for any value outside 2000 to 2020.
std::u16string ErrorCodeName(MSIXErrorCode code);

}  // namespace halvern
