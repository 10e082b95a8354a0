#include "framework/StringBatch.h"

#include <cstdlib>
#include <cstring>

using framework_internal::CStringBlock;
using framework_internal::CStringData;
using framework_internal::ReleaseStringBlock;

namespace {

// Room for hundreds of typical pieces; small enough that one kept piece
// does not pin much memory.
const size_t kBatchBlockSize = 16 * 1024;
// Longer pieces get a block of their own: they would waste the rest of a
// shared block, and their copy costs more than the allocation anyway.
const int kBatchMaxPiece = 256;

} // namespace

CStringBatch::~CStringBatch()
{
    if (m_pBlock != nullptr)
        ReleaseStringBlock(m_pBlock);
}

CString CStringBatch::Make(const char* pch, int nLength)
{
    if (nLength <= 1 || pch == nullptr)
        return CString(pch, nLength);   // a shared text, no room taken
    if (nLength > kBatchMaxPiece)
        return CString(pch, nLength);
    const size_t nAlign = alignof(CStringData);
    size_t nSize = (sizeof(CStringData) + static_cast<size_t>(nLength) + 1 + nAlign - 1) & ~(nAlign - 1);
    if (m_pBlock == nullptr || static_cast<size_t>(m_pEnd - m_pNext) < nSize)
    {
        void* p = std::malloc(kBatchBlockSize);
        if (p == nullptr)
            AfxThrowMemoryException();
        // The batch holds one count on its current block until it moves on,
        // so the block cannot be freed while pieces are still carved from it.
        if (m_pBlock != nullptr)
            ReleaseStringBlock(m_pBlock);
        m_pBlock = static_cast<CStringBlock*>(p);
        m_pBlock->nLive = 1;
        size_t nHeader = (sizeof(CStringBlock) + nAlign - 1) & ~(nAlign - 1);
        m_pNext = static_cast<char*>(p) + nHeader;
        m_pEnd = static_cast<char*>(p) + kBatchBlockSize;
    }
    CStringData* pData = reinterpret_cast<CStringData*>(m_pNext);
    m_pNext += nSize;
    pData->nRefs = 1;
    pData->nDataLength = nLength;
    pData->nAllocLength = static_cast<int>(nSize - sizeof(CStringData) - 1);
    pData->pBlock = m_pBlock;
    std::memcpy(pData->chars(), pch, static_cast<size_t>(nLength));
    pData->chars()[nLength] = '\0';
    // Pieces may be released on other threads while this one carves on.
    InterlockedIncrement(&m_pBlock->nLive);
    CString str;
    str.Attach(pData);
    return str;
}
