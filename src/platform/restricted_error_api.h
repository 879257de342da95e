#pragma once
// Seam for the thread's restricted error information (GetRestrictedErrorInfo, then GetErrorDetails
// on the object it returns; the BSTRs are freed with SysFreeString).

#include <cstdint>
#include <optional>
#include <string>

namespace halvern {

// What GetErrorDetails reported; a description is absent when it came back as a null BSTR.
struct RestrictedErrorDetails {
    std::optional<std::u16string> description;
    std::int32_t error = 0;
    std::optional<std::u16string> restricted_description;
};

class RestrictedErrorApi {
  public:
    virtual ~RestrictedErrorApi() = default;
    // S_OK with the details; S_FALSE when the thread holds no restricted error; another status
    // when either call fails. Taking the information clears it from the thread.
    virtual std::int32_t GetRestrictedErrorInfo(RestrictedErrorDetails& details) = 0;
};

}  // namespace halvern
