#pragma once
// Win32 takes counts and lengths as DWORD*; the seams hold them as std::uint32_t, the same 32 bits.

#include <windows.h>

#include <cstdint>

static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "the Win32 binding needs a 32-bit DWORD");

namespace halvern {

inline DWORD* AsDword(std::uint32_t* value) {
    return reinterpret_cast<DWORD*>(value);
}

}  // namespace halvern
