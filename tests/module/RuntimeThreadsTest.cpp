// The pthread functions the module defines for its static runtime
// (module/RuntimeThreads.cpp), under contention.
#include "tests/support/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace testing_support;

// Threads contend on one lock and wait on one condition through the pthread
// functions the module defines (in the throwing DLL, built like it).
TEST(RuntimeThreads, ThreadsContendOnALockAndWaitOnACondition)
{
    HMODULE hThrowing = LoadLibraryA((ExeDir() + "throwing_module.dll").c_str());
    ASSERT_TRUE(hThrowing != nullptr);
    auto pfnTakeTurns = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(hThrowing, "TakeTurns")));
    ASSERT_TRUE(pfnTakeTurns != nullptr);
    ASSERT_EQ(8 * 200, pfnTakeTurns());   // left loaded under threads that never ended
    FreeLibrary(hThrowing);
}
