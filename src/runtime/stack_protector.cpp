// The stack protector's runtime, linked into every Windows binary of the build (cmake/Release.cmake): the
// guard value that -fstack-protector-strong's checks compare, and the routine a failed check calls.
// Not GCC's libssp: it seeds its guard at start-up through CryptAcquireContext, which loads rsaenh, crypt32
// and bcrypt before wWinMain restricts the DLL search to System32, and makes every run pay for them.

#define _CRT_RAND_S
#include <cstdint>
#include <cstdlib>

extern "C" {

// The value every protected frame holds and checks on return; this one serves only until it is seeded.
std::uintptr_t __stack_chk_guard = 0x2B992DDFA232;

// The frame's guard was overwritten, so the stack is not to be trusted: end the process at once, with an
// illegal-instruction trap (0xC000001D), without unwinding or running anything the overrun may have set.
[[noreturn]] void __stack_chk_fail() {
    __builtin_trap();
}

}  // extern "C"

namespace {

// Before main, from the C runtime's constructors. rand_s is msvcrt's RtlGenRandom: it loads no DLL. Not
// protected itself: it changes the value its own check would compare against.
__attribute__((constructor, no_stack_protector)) void SeedStackGuard() {
    unsigned int high = 0;
    unsigned int low = 0;
    if (rand_s(&high) == 0 && rand_s(&low) == 0) {
        __stack_chk_guard = (std::uintptr_t{high} << 32) | low;
    }
}

}  // namespace
