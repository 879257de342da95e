#pragma once
// Owners for the Win32 handles the bindings hold. Closing keeps GetLastError, so a cleanup on an
// error path never overwrites the number about to be logged.

#include <windows.h>

#include "platform/unique_handle.h"

namespace halvern {

class PreservedLastError {
  public:
    PreservedLastError() : error_(::GetLastError()) {}
    ~PreservedLastError() { ::SetLastError(error_); }
    PreservedLastError(const PreservedLastError&) = delete;
    PreservedLastError& operator=(const PreservedLastError&) = delete;

  private:
    DWORD error_;
};

struct KernelHandleTraits {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type handle) const noexcept {
        PreservedLastError keep;
        ::CloseHandle(handle);
    }
};

template <typename T>
struct LocalMemoryTraits {
    using handle_type = T*;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type memory) const noexcept {
        PreservedLastError keep;
        ::LocalFree(memory);
    }
};

struct ModuleTraits {
    using handle_type = HMODULE;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type module) const noexcept {
        PreservedLastError keep;
        ::FreeLibrary(module);
    }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
template <typename T>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<T>>;

}  // namespace halvern
