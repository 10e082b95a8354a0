// StringBatch: many short strings made out of a few shared heap blocks, for
// operations that cut a long text into many pieces, where a heap block per
// piece would cost more than the cut itself. The strings a batch makes are
// ordinary strings: they are copied, written and released like any other,
// from any thread. A block is freed when its last string is released, so a
// piece that is kept holds at most one block (16 KiB) alive. One batch
// belongs to one thread.
//
//   CStringBatch batch;
//   CString strPiece = batch.Make("alpha,beta", 5);   // "alpha"
#pragma once

#include "framework/String.h"
#include "framework/StringData.h"

class CStringBatch
{
public:
    CStringBatch() noexcept = default;
    ~CStringBatch();
    CStringBatch(const CStringBatch&) = delete;
    CStringBatch& operator=(const CStringBatch&) = delete;

    // The nLength bytes at pch as a string; nLength <= 0 gives the empty text.
    // Exhausted memory raises CMemoryException.
    CString Make(const char* pch, int nLength);

private:
    framework_internal::CStringBlock* m_pBlock = nullptr;   // the block being filled
    char* m_pNext = nullptr;
    char* m_pEnd = nullptr;
};
