// The stack protector's guard value and its failure handler, for GCC and
// clang (-fstack-protector-strong); Visual Studio's /GS brings its own.
//
// The toolchain's protector library seeds its guard from a cryptographic
// provider, which loads rsaenh.dll, crypt32.dll and bcrypt.dll into every
// process that loads a binary built with it: DLLs that are not KnownDLLs,
// so the program's folder is searched for them first, and their loading
// costs a setup program several times what the whole module costs. The
// guard only has to be unknown to code that cannot read this process's
// memory, so it is seeded as Microsoft's C runtime seeds its security
// cookie: from the time, the process and thread ids, the tick and
// performance counters, and addresses that ASLR moves. Nothing is loaded.
//
// The guard lives in the framework library, which every program and DLL
// built on Kestrum links, so none of them needs the toolchain's library.
#if defined(__GNUC__) && !defined(_MSC_VER)

#include <windows.h>

#include <cstdint>

#if defined(__has_attribute)
#if __has_attribute(__no_stack_protector__)
#define KESTRUM_NO_STACK_PROTECTOR __attribute__((__no_stack_protector__))
#endif
#endif
#ifndef KESTRUM_NO_STACK_PROTECTOR
#define KESTRUM_NO_STACK_PROTECTOR
#endif

extern "C" {

// What protected functions compare their canary with. Until the seeding
// below runs it holds a fixed value, as the C runtime's cookie does.
std::uintptr_t __stack_chk_guard = static_cast<std::uintptr_t>(0x2B992DDFA232ULL);

// Called by a protected function whose canary was overwritten: the stack
// can no longer be trusted, so the process ends at once, with the status
// Windows reports for a failed security check, and nothing else runs.
[[noreturn]] void __stack_chk_fail(void)
{
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

} // extern "C"

namespace {

std::uintptr_t Mix(std::uintptr_t seed, unsigned long long value)
{
    // Folds 64 bits into the seed and spreads them (splitmix64's finaliser).
    unsigned long long x = seed ^ value;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return static_cast<std::uintptr_t>(x ^ (sizeof(std::uintptr_t) < sizeof(x) ? x >> 32 : 0));
}

// Kept out of line: the seeding below must not hold a canary of its own
// across the change of the guard, and this function, which takes the
// addresses of its locals, would.
__attribute__((__noinline__)) std::uintptr_t NewGuard()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    std::uintptr_t seed = 0;
    seed = Mix(seed, (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    seed = Mix(seed, (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) | GetCurrentThreadId());
    seed = Mix(seed, GetTickCount64());
    seed = Mix(seed, static_cast<unsigned long long>(counter.QuadPart));
    seed = Mix(seed, reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)));
    seed = Mix(seed, reinterpret_cast<std::uintptr_t>(&__stack_chk_guard));
    return seed != 0 && seed != __stack_chk_guard ? seed : seed + 0x5A17;
}

// Before every other constructor, so that few protected functions run with
// the fixed value; none can be active here, since constructors are called
// one after another by the runtime's start-up code, which is unprotected.
__attribute__((__constructor__(101))) KESTRUM_NO_STACK_PROTECTOR void SeedStackGuard()
{
    __stack_chk_guard = NewGuard();
}

} // namespace

#endif
