// The stack protector, by what it does: a function built with the
// project's flags that overruns a local buffer ends the process with
// STATUS_STACK_BUFFER_OVERRUN before it returns.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

// Copies nBytes into an eight-byte local: more write over the canary
// behind it. memcpy, whose length the compiler cannot know, since a loop
// may be cut to the buffer's size as an overrun is undefined.
__attribute__((__noinline__)) int CopyIntoEightBytes(const char* pchText, size_t nBytes)
{
    char achBuffer[8];
    std::memcpy(achBuffer, pchText, nBytes);
    return static_cast<volatile char*>(achBuffer)[0];
}

} // namespace

TEST(StackGuard, AnOverrunLocalBufferEndsTheProcess)
{
    const std::string strText(64, 'x');
    volatile size_t nFits = 8, nOverruns = strText.size();
    EXPECT_EQ('x', CopyIntoEightBytes(strText.c_str(), nFits));
    EXPECT_EXIT(CopyIntoEightBytes(strText.c_str(), nOverruns),
                testing::ExitedWithCode(static_cast<int>(STATUS_STACK_BUFFER_OVERRUN)), "");
}

TEST(StackGuard, IsSeededAtStartUp)
{
    // The value it holds until the start-up code seeds it.
    EXPECT_NE(static_cast<std::uintptr_t>(0x2B992DDFA232ULL), __stack_chk_guard);
}
