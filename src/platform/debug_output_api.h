#pragma once
// Seam for the Windows debug output (OutputDebugStringW).

namespace halvern {

class DebugOutputApi {
  public:
    virtual ~DebugOutputApi() = default;
    // Receives one NUL-terminated UTF-16 string per call.
    virtual void OutputDebugStringW(const char16_t* text) = 0;
};

}  // namespace halvern
