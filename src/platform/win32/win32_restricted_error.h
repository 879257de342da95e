#pragma once
// GetRestrictedErrorInfo (combase) and IRestrictedErrorInfo::GetErrorDetails, whose texts are freed with
// SysFreeString (oleaut32); both DLLs loaded from System32 by the first call.

#include "platform/restricted_error_api.h"
#include "platform/win32/system_library.h"

namespace halvern {

class Win32RestrictedError final : public RestrictedErrorApi {
  public:
    std::int32_t GetRestrictedErrorInfo(RestrictedErrorDetails& details) override;

  private:
    SystemLibrary combase_{L"combase.dll"};
    SystemLibrary oleaut32_{L"oleaut32.dll"};
};

}  // namespace halvern
