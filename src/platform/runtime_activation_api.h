#pragma once
// Seam for activating Windows Runtime classes (RoGetActivationFactory, CoIncrementMTAUsage).

#include <cstdint>
#include <string>

#include "platform/abi/guid.h"

namespace halvern {

class RuntimeActivationApi {
  public:
    virtual ~RuntimeActivationApi() = default;
    // The class's activation factory, queried for the interface id; the status as the system gave it.
    virtual std::int32_t RoGetActivationFactory(const std::u16string& activatable_class_id,
                                                const abi::guid& iid, void** factory) = 0;
    // Keeps the multithreaded apartment alive for the rest of the process (the cookie is never
    // given back).
    virtual std::int32_t CoIncrementMTAUsage() = 0;
};

}  // namespace halvern
