#pragma once
// LoadLibraryExW from System32 only, for the DLLs the tool imports with delay loading (winhttp, ole32,
// oleaut32, combase). The delay-load helper raises a structured exception when it cannot load a DLL,
// which nothing in C++ can catch: so a binding loads its DLL here first and fails its own call instead.

#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace halvern {

class SystemLibrary {
  public:
    explicit SystemLibrary(const wchar_t* file_name) : file_name_(file_name) {}

    // ERROR_SUCCESS once the DLL is loaded, which it then stays for the life of this owner (the
    // delay-load helper finds it loaded). Otherwise the loader's error, ERROR_MOD_NOT_FOUND for a
    // missing DLL, and the next call tries again.
    DWORD Load();

  private:
    const wchar_t* file_name_;
    UniqueModule module_;
};

}  // namespace halvern
