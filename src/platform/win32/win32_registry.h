#pragma once
// The registry calls of advapi32, deletion included, passed through unchanged. Deletion has a file of its
// own, so a program that only reads links no call that deletes.

#include "platform/win32/win32_registry_reader.h"

namespace halvern {

class Win32Registry final : public RegistryApi, public Win32RegistryReader {
  public:
    LStatus RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) override;
};

}  // namespace halvern
