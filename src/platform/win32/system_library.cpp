#include "platform/win32/system_library.h"

namespace halvern {

DWORD SystemLibrary::Load() {
    if (!module_) {
        // Never the exe's own folder: run as SYSTEM from a folder users can write to, a DLL planted
        // next to the exe would run as SYSTEM.
        module_.reset(::LoadLibraryExW(file_name_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!module_) {
            const DWORD error = ::GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_MOD_NOT_FOUND;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace halvern
