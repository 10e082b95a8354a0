// The heap layout behind a CString, shared by the string class, its batches
// (StringBatch.h) and test helpers that lay out a string by hand. Not for
// library callers: a CString's characters are reached only through its
// members.
//
//   [CStringData][characters ... '\0']
//                ^ the CString's one pointer
#pragma once

#include <windows.h>

namespace framework_internal {

// A heap block shared by many short strings (see CStringBatch); it is freed
// when its last string is released.
struct CStringBlock
{
    volatile LONG nLive;
};

struct CStringData
{
    volatile LONG nRefs;    // -1: never freed or written, as the shared empty text
    int nDataLength;
    int nAllocLength;
    CStringBlock* pBlock;   // null: the string has a heap block of its own
    char* chars() noexcept { return reinterpret_cast<char*>(this + 1); }
};

// Drops one count on a shared block; the last one frees it.
void ReleaseStringBlock(CStringBlock* pBlock) noexcept;

} // namespace framework_internal
