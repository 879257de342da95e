#include "platform/win32/win32_registry.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace halvern {

LStatus Win32Registry::RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) {
    return ::RegDeleteKeyW(reinterpret_cast<HKEY>(key), sub_key == nullptr ? nullptr : AsWide(sub_key));
}

}  // namespace halvern
