#pragma once
// The thread's restricted error information as the test scripts it; records each request.

#include "platform/restricted_error_api.h"

namespace halvern::testing {

class FakeRestrictedError final : public RestrictedErrorApi {
  public:
    std::int32_t GetRestrictedErrorInfo(RestrictedErrorDetails& out) override {
        ++requests;
        if (status == 0) {
            out = details;
        }
        return status;
    }

    std::int32_t status = 1;  // S_FALSE: none
    RestrictedErrorDetails details;
    int requests = 0;
};

}  // namespace halvern::testing
