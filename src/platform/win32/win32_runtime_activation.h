#pragma once
// RoGetActivationFactory (combase; the class name passed as a string reference) and CoIncrementMTAUsage
// (ole32), each DLL loaded from System32 by its first call.

#include "platform/runtime_activation_api.h"
#include "platform/win32/system_library.h"

namespace halvern {

class Win32RuntimeActivation final : public RuntimeActivationApi {
  public:
    std::int32_t RoGetActivationFactory(const std::u16string& activatable_class_id, const abi::guid& iid,
                                        void** factory) override;
    std::int32_t CoIncrementMTAUsage() override;

  private:
    // combase stays loaded while this lives: the bridge's runtime strings, used only after an
    // activation, rely on it.
    SystemLibrary combase_{L"combase.dll"};
    SystemLibrary ole32_{L"ole32.dll"};
};

}  // namespace halvern
