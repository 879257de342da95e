#pragma once
// GetRestrictedErrorInfo (combase) and IRestrictedErrorInfo::GetErrorDetails.

#include "platform/restricted_error_api.h"

namespace halvern {

class Win32RestrictedError final : public RestrictedErrorApi {
  public:
    std::int32_t GetRestrictedErrorInfo(RestrictedErrorDetails& details) override;
};

}  // namespace halvern
