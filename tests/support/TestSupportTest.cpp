// The helpers the other tests trust to see leaks and overruns, checked
// against leaks and a guard page made on purpose.
#include "tests/support/GuardedMemory.h"
#include "tests/support/LeakCheck.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace testing_support;

TEST(TestSupport, LeakCountersSeeLeaks)
{
    const size_t handles = CountOpenHandles();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
    EXPECT_EQ(handles + 2, CountOpenHandles());
    RegCloseKey(key);
    CloseHandle(event);
    EXPECT_EQ(handles, CountOpenHandles());

    const size_t memory = CommittedPrivateBytes();
    void* block = VirtualAlloc(nullptr, 4 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    EXPECT_GE(CommittedPrivateBytes(), memory + (4 << 20));
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(TestSupport, GuardedTextEndsAtInaccessiblePage)
{
    GuardedText text("abc");
    EXPECT_STREQ("abc", text.c_str());
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(sizeof(info), VirtualQuery(text.c_str() + 4, &info, sizeof(info)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_NOACCESS), info.Protect);
}
