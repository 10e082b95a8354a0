#include "framework/String.h"

#include "framework/CodePage.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

int Clamp(int nValue, int nLow, int nHigh) noexcept
{
    return nValue < nLow ? nLow : (nValue > nHigh ? nHigh : nValue);
}

int SafeLength(const char* psz) noexcept
{
    if (psz == nullptr)
        return 0;
    size_t n = std::strlen(psz);
    return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

} // namespace

// ---------------------------------------------------------------------------
// Storage

namespace {

// Every text of zero or one byte is one of these blocks, shared by all
// strings on all threads, so that making one allocates nothing: a
// separator, a path character or a letter passed as a literal costs no
// heap block. Their count of -1 marks them shared for good: copies and
// releases never change it (so they never race on it), no release frees
// them, and every change to a string copies its text first. Being
// constant, they lie in read-only memory, where a write would fault rather
// than change the text of every other string.
struct CSharedText
{
    framework_internal::CStringData header;
    char chars[2];
};

template <class Bytes>
struct CSharedTexts;

// The empty text first, then the text of each byte value.
template <size_t... nBytes>
struct CSharedTexts<std::index_sequence<nBytes...>>
{
    static const CSharedText s_texts[1 + sizeof...(nBytes)];
};

template <size_t... nBytes>
const CSharedText CSharedTexts<std::index_sequence<nBytes...>>::s_texts[] = {
    {{-1, 0, 0, nullptr}, {0, 0}},
    {{-1, 1, 1, nullptr}, {static_cast<char>(nBytes), 0}}...,
};

// Reached through a volatile pointer so the compiler does not take the
// guarded free in Release for a free of these static blocks.
const CSharedText* volatile s_pSharedTexts = CSharedTexts<std::make_index_sequence<256>>::s_texts;

} // namespace

CString::CStringData* CString::Nil() noexcept
{
    return const_cast<CStringData*>(&s_pSharedTexts[0].header);
}

CString::CStringData* CString::Shared(const char* pch, int nLength) noexcept
{
    const int nIndex = nLength == 0 ? 0 : 1 + static_cast<unsigned char>(pch[0]);
    return const_cast<CStringData*>(&s_pSharedTexts[nIndex].header);
}

CString::CStringData* CString::Allocate(int nLength)
{
    if (nLength < 0 || static_cast<size_t>(nLength) > static_cast<size_t>(INT_MAX) - sizeof(CStringData) - 1)
        AfxThrowMemoryException();
    void* p = std::malloc(sizeof(CStringData) + static_cast<size_t>(nLength) + 1);
    if (p == nullptr)
        AfxThrowMemoryException();
    CStringData* pData = static_cast<CStringData*>(p);
    pData->nRefs = 1;
    pData->nDataLength = 0;
    pData->nAllocLength = nLength;
    pData->pBlock = nullptr;
    pData->chars()[0] = '\0';
    return pData;
}

void CString::Release(CStringData* pData) noexcept
{
    if (pData->nRefs < 0)
        return;
    if (InterlockedDecrement(&pData->nRefs) != 0)
        return;
    if (pData->pBlock == nullptr)
        std::free(pData);
    else
        framework_internal::ReleaseStringBlock(pData->pBlock);
}

void framework_internal::ReleaseStringBlock(CStringBlock* pBlock) noexcept
{
    if (InterlockedDecrement(&pBlock->nLive) == 0)
        std::free(pBlock);
}

void CString::Attach(CStringData* pData) noexcept
{
    m_pszData = pData->chars();
}

void CString::Reallocate(int nAlloc, const char* pch, int nLength)
{
    CStringData* pOld = Data();
    CStringData* pNew = Allocate(nAlloc);
    std::memcpy(pNew->chars(), pch, static_cast<size_t>(nLength));
    pNew->nDataLength = nLength;
    pNew->chars()[nLength] = '\0';
    Attach(pNew);
    Release(pOld);
}

void CString::SetLength(int nLength) noexcept
{
    CStringData* pData = Data();
    if (pData->nRefs < 0)
        return;   // a shared text is never written
    pData->nDataLength = nLength;
    pData->chars()[nLength] = '\0';
}

void CString::PrepareWrite(int nLength)
{
    CStringData* pOld = Data();
    if (pOld->nRefs == 1 && nLength <= pOld->nAllocLength)
        return;
    int nAlloc = nLength;
    if (pOld->nRefs == 1 || nLength > pOld->nAllocLength)
    {
        // Geometric growth keeps a run of appends linear overall.
        int nGrown = pOld->nAllocLength < INT_MAX / 2 ? pOld->nAllocLength + pOld->nAllocLength / 2 : INT_MAX - 64;
        if (nGrown > nAlloc && nLength > pOld->nAllocLength)
            nAlloc = nGrown;
    }
    Reallocate(nAlloc, m_pszData, pOld->nDataLength < nLength ? pOld->nDataLength : nLength);
}

void CString::Assign(const char* pch, int nLength)
{
    CStringData* pOld = Data();
    if (nLength <= 1)
    {
        // pch may lie in the current block: take the shared text first.
        Attach(Shared(pch, nLength < 0 ? 0 : nLength));
        Release(pOld);
        return;
    }
    const bool bInside = pch >= m_pszData && pch <= m_pszData + pOld->nDataLength;
    if (pOld->nRefs == 1 && nLength <= pOld->nAllocLength && !bInside)
    {
        std::memcpy(m_pszData, pch, static_cast<size_t>(nLength));
        SetLength(nLength);
        return;
    }
    Reallocate(nLength, pch, nLength);
}

// ---------------------------------------------------------------------------
// Construction and assignment

CString::CString() noexcept : m_pszData(Nil()->chars()) {}

CString::CString(const CString& other) noexcept : m_pszData(other.m_pszData)
{
    CStringData* pData = Data();
    if (pData->nRefs >= 0)
        InterlockedIncrement(&pData->nRefs);
}

CString::CString(CString&& other) noexcept : m_pszData(other.m_pszData)
{
    other.m_pszData = Nil()->chars();
}

CString::CString(const char* psz) : m_pszData(Nil()->chars())
{
    Assign(psz, SafeLength(psz));
}

CString::CString(const char* pch, int nLength) : m_pszData(Nil()->chars())
{
    if (pch != nullptr)
        Assign(pch, nLength);
}

CString::CString(char ch, int nRepeat) : m_pszData(Nil()->chars())
{
    if (nRepeat == 1)
        Assign(&ch, 1);
    else if (nRepeat > 1)
    {
        PrepareWrite(nRepeat);
        std::memset(m_pszData, static_cast<unsigned char>(ch), static_cast<size_t>(nRepeat));
        SetLength(nRepeat);
    }
}

CString::~CString()
{
    Release(Data());
}

CString& CString::operator=(const CString& other) noexcept
{
    if (m_pszData != other.m_pszData)
    {
        CStringData* pOld = Data();
        m_pszData = other.m_pszData;
        CStringData* pNew = Data();
        if (pNew->nRefs >= 0)
            InterlockedIncrement(&pNew->nRefs);
        Release(pOld);
    }
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other)
    {
        Release(Data());
        m_pszData = other.m_pszData;
        other.m_pszData = Nil()->chars();
    }
    return *this;
}

CString& CString::operator=(const char* psz)
{
    Assign(psz, SafeLength(psz));
    return *this;
}

CString& CString::operator=(char ch)
{
    Assign(&ch, 1);
    return *this;
}

void CString::Empty() noexcept
{
    Release(Data());
    m_pszData = Nil()->chars();
}

// ---------------------------------------------------------------------------
// Access

char CString::GetAt(int nIndex) const
{
    if (nIndex < 0 || nIndex > GetLength())
        AfxThrowInvalidArgException();
    return m_pszData[nIndex];
}

void CString::SetAt(int nIndex, char ch)
{
    if (nIndex < 0 || nIndex >= GetLength())
        AfxThrowInvalidArgException();
    PrepareWrite(GetLength());
    m_pszData[nIndex] = ch;
}

// ---------------------------------------------------------------------------
// Concatenation

void CString::Append(const char* pch, int nLength)
{
    if (pch == nullptr || nLength <= 0)
        return;
    int nOld = GetLength();
    if (nOld == 0 && Data()->nRefs != 1)
    {
        // No block of its own to fill: the text is made as new, so one byte
        // is a shared text.
        Assign(pch, nLength);
        return;
    }
    if (nLength > INT_MAX - nOld)
        AfxThrowMemoryException();
    // The source may live in this very buffer; remember its offset.
    bool bInside = pch >= m_pszData && pch <= m_pszData + nOld;
    size_t nOffset = bInside ? static_cast<size_t>(pch - m_pszData) : 0;
    PrepareWrite(nOld + nLength);
    if (bInside)
        pch = m_pszData + nOffset;
    std::memmove(m_pszData + nOld, pch, static_cast<size_t>(nLength));
    SetLength(nOld + nLength);
}

CString& CString::operator+=(const CString& str)
{
    if (IsEmpty())
        return *this = str;
    Append(str.m_pszData, str.GetLength());
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    Append(psz, SafeLength(psz));
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    CString s;
    s.Preallocate(a.GetLength() + b.GetLength());
    s.Append(a, a.GetLength());
    s.Append(b, b.GetLength());
    return s;
}

CString operator+(const CString& a, const char* b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const char* a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const CString& a, char b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(char a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}

// ---------------------------------------------------------------------------
// Comparison

namespace {

bool SameBytes(const CString& a, const char* pch, int nLength) noexcept
{
    return a.GetLength() == nLength && std::memcmp(a.GetString(), pch, static_cast<size_t>(nLength)) == 0;
}

} // namespace

bool operator==(const CString& a, const CString& b) noexcept { return SameBytes(a, b.GetString(), b.GetLength()); }
bool operator==(const CString& a, const char* b) noexcept { return SameBytes(a, b != nullptr ? b : "", SafeLength(b)); }
bool operator==(const char* a, const CString& b) noexcept { return b == a; }
bool operator!=(const CString& a, const CString& b) noexcept { return !(a == b); }
bool operator!=(const CString& a, const char* b) noexcept { return !(a == b); }
bool operator!=(const char* a, const CString& b) noexcept { return !(a == b); }

// ---------------------------------------------------------------------------
// Cuts

CString CString::Left(int nCount) const
{
    nCount = Clamp(nCount, 0, GetLength());
    if (nCount == GetLength())
        return *this;
    return CString(m_pszData, nCount);
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, INT_MAX);
}

CString CString::Mid(int nFirst, int nCount) const
{
    int nLength = GetLength();
    nFirst = Clamp(nFirst, 0, nLength);
    nCount = Clamp(nCount, 0, nLength - nFirst);
    if (nFirst == 0 && nCount == nLength)
        return *this;
    return CString(m_pszData + nFirst, nCount);
}

// ---------------------------------------------------------------------------
// Search

int CString::Find(char ch, int nStart) const noexcept
{
    int nLength = GetLength();
    if (nStart < 0)
        nStart = 0;
    if (nStart >= nLength)
        return -1;
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* p = m_pszData + nStart;
    const char* pEnd = m_pszData + nLength;
    if (!cp.bDoubleByte)
    {
        const void* pHit = std::memchr(p, static_cast<unsigned char>(ch), static_cast<size_t>(pEnd - p));
        return pHit ? static_cast<int>(static_cast<const char*>(pHit) - m_pszData) : -1;
    }
    // A lead byte can never be the character searched for: it is half of one.
    while (p < pEnd)
    {
        int nChar = AfxCharLength(cp, p);
        if (nChar == 1 && *p == ch)
            return static_cast<int>(p - m_pszData);
        p += nChar;
    }
    return -1;
}

int CString::Find(const char* pszSub, int nStart) const noexcept
{
    int nLength = GetLength();
    if (pszSub == nullptr)
        return -1;
    if (nStart < 0)
        nStart = 0;
    if (nStart > nLength)
        return -1;
    size_t nSub = std::strlen(pszSub);
    if (nSub == 0)
        return nStart;
    const char* p = m_pszData + nStart;
    const char* pEnd = m_pszData + nLength;
    if (static_cast<size_t>(pEnd - p) < nSub)
        return -1;
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* pLast = pEnd - nSub;   // last position where a match fits
    if (!cp.bDoubleByte)
    {
        while (p <= pLast)
        {
            const void* pHit =
                std::memchr(p, static_cast<unsigned char>(pszSub[0]), static_cast<size_t>(pLast - p) + 1);
            if (pHit == nullptr)
                return -1;
            p = static_cast<const char*>(pHit);
            if (std::memcmp(p, pszSub, nSub) == 0)
                return static_cast<int>(p - m_pszData);
            ++p;
        }
        return -1;
    }
    // A match starts and ends on character boundaries: it never takes half
    // of a double-byte character at either end.
    while (p <= pLast)
    {
        if (*p == pszSub[0] && std::memcmp(p, pszSub, nSub) == 0)
        {
            const char* q = p;
            while (q < p + nSub)
                q += AfxCharLength(cp, q);
            if (q == p + nSub)
                return static_cast<int>(p - m_pszData);
        }
        p += AfxCharLength(cp, p);
    }
    return -1;
}

int CString::ReverseFind(char ch) const noexcept
{
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    int nLength = GetLength();
    if (!cp.bDoubleByte)
    {
        for (int i = nLength - 1; i >= 0; --i)
            if (m_pszData[i] == ch)
                return i;
        return -1;
    }
    int nFound = -1;
    for (int i = 0; i < nLength;)
    {
        int nChar = AfxCharLength(cp, m_pszData + i);
        if (nChar == 1 && m_pszData[i] == ch)
            nFound = i;
        i += nChar;
    }
    return nFound;
}

// ---------------------------------------------------------------------------
// Editing

CString& CString::Truncate(int nNewLength)
{
    nNewLength = Clamp(nNewLength, 0, GetLength());
    if (nNewLength < GetLength())
    {
        PrepareWrite(GetLength());
        SetLength(nNewLength);
    }
    return *this;
}

namespace {

// Changes the case of the whole characters of a writable text in place.
// Single bytes follow the code page's table; a double-byte character goes
// through the platform's wide mapping and is kept when it maps back to two
// bytes.
void MapCase(char* p, int nLength, bool bUpper)
{
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const unsigned char* table = bUpper ? cp.upper : cp.lower;
    for (int i = 0; i < nLength;)
    {
        if (cp.bDoubleByte && AfxIsLeadByte(cp, p[i]) && i + 1 < nLength)
        {
            WCHAR wc = 0;
            if (MultiByteToWideChar(cp.nCodePage, MB_ERR_INVALID_CHARS, p + i, 2, &wc, 1) == 1)
            {
                WCHAR wcMapped = wc;
                if (bUpper)
                    CharUpperBuffW(&wcMapped, 1);
                else
                    CharLowerBuffW(&wcMapped, 1);
                char out[4];
                BOOL bDefault = FALSE;
                if (wcMapped != wc &&
                    WideCharToMultiByte(cp.nCodePage, 0, &wcMapped, 1, out, sizeof(out), nullptr, &bDefault) == 2 &&
                    !bDefault)
                {
                    p[i] = out[0];
                    p[i + 1] = out[1];
                }
            }
            i += 2;
            continue;
        }
        p[i] = static_cast<char>(table[static_cast<unsigned char>(p[i])]);
        ++i;
    }
}

} // namespace

CString& CString::MakeUpper()
{
    if (!IsEmpty())
    {
        PrepareWrite(GetLength());
        MapCase(m_pszData, GetLength(), true);
    }
    return *this;
}

CString& CString::MakeLower()
{
    if (!IsEmpty())
    {
        PrepareWrite(GetLength());
        MapCase(m_pszData, GetLength(), false);
    }
    return *this;
}

// ---------------------------------------------------------------------------
// Buffer access

char* CString::GetBuffer(int nMinLength)
{
    if (nMinLength < 0)
        nMinLength = 0;
    int nLength = GetLength();
    PrepareWrite(nMinLength > nLength ? nMinLength : nLength);
    // Even a request for 0 bytes gets a private block the caller may write.
    if (Data()->nRefs < 0)
        Reallocate(0, m_pszData, 0);
    return m_pszData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    CStringData* pData = Data();
    if (pData->nRefs < 0)
        return;
    if (nNewLength < 0)
    {
        size_t n = strnlen(m_pszData, static_cast<size_t>(pData->nAllocLength));
        nNewLength = static_cast<int>(n);
    }
    if (nNewLength > pData->nAllocLength)
        nNewLength = pData->nAllocLength;
    SetLength(nNewLength);
}

void CString::Preallocate(int nLength)
{
    if (nLength > Data()->nAllocLength)
        Reallocate(nLength, m_pszData, GetLength());
}
