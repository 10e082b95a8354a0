#include "framework/Handle.h"

#include <gtest/gtest.h>

TEST(HandleHolder, PutReleasesFirstAndCloseKeepsTheLastError)
{
    CHandle hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(hEvent);
    const HANDLE hFirst = hEvent.Get();
    HANDLE* pSlot = hEvent.Put();
    EXPECT_EQ(nullptr, *pSlot);
    DWORD dwFlags = 0;
    EXPECT_FALSE(GetHandleInformation(hFirst, &dwFlags)) << "Put released the first event";
    *pSlot = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(hEvent);

    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DWORD(ERROR_SUCCESS), hEvent.Close());
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    // A failed release reports its own error and still keeps the thread's.
    CHandle hBogus(reinterpret_cast<HANDLE>(0x1230));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), hBogus.Close());
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(hBogus);

    // A file holder reads CreateFileA's failure value as none.
    CFileHandle hFile(CreateFileA("C:\\no such folder\\no such file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(hFile);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CFileHandle().Get());
}
