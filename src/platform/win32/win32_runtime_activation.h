#pragma once
// RoGetActivationFactory (the class name passed as a string reference) and CoIncrementMTAUsage.

#include "platform/runtime_activation_api.h"

namespace halvern {

class Win32RuntimeActivation final : public RuntimeActivationApi {
  public:
    std::int32_t RoGetActivationFactory(const std::u16string& activatable_class_id, const abi::guid& iid,
                                        void** factory) override;
    std::int32_t CoIncrementMTAUsage() override;
};

}  // namespace halvern
