#pragma once
// OutputDebugStringW.

#include "platform/debug_output_api.h"

namespace halvern {

class Win32DebugOutput final : public DebugOutputApi {
  public:
    void OutputDebugStringW(const char16_t* text) override;
};

}  // namespace halvern
