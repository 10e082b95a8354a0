#include "util/path/MappedFile.h"

#include <emmintrin.h>

#include <cstdint>
#include <utility>

namespace {

// The checksum's window onto the file. Each window costs a map and an unmap
// (about 0.2 ms under Wine), so it is as large as is still easy to place in
// a 32-bit address space; where no room that large is left, GetFileChecksum
// halves it.
const DWORD kChecksumWindow = 64 * 1024 * 1024;

// Opens the file as both the mapped file and the checksum read it: read
// access, others may only read.
CFileHandle OpenForMapping(const CString& strPath)
{
    return CFileHandle(CreateFileA(strPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

HANDLE CreateReadOnlyMapping(HANDLE hFile)
{
    // A maximum size of zero makes the mapping as large as the file.
    return CreateFileMappingA(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
}

} // namespace

CMappedFile::CMappedFile() noexcept : m_dwSize(0)
{
}

const BYTE* CMappedFile::Open(CString strPath)
{
    if (m_pView)
        return nullptr;
    m_strPath = strPath;

    // The handles are acquired into locals and handed to their fields only
    // once the view exists, so a failure releases what was had (view, then
    // mapping, then file) and leaves no handle in a field. The size read
    // stays, as GetSize documents.
    CFileHandle hFile(OpenForMapping(m_strPath));
    if (!hFile)
        return nullptr;

    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(hFile.Get(), &info))
        return nullptr;
    m_dwSize = info.nFileSizeLow;

    CHandle hMapping(CreateReadOnlyMapping(hFile.Get()));
    if (!hMapping)
        return nullptr;

    // A length of zero maps the whole file.
    CMappedView pView(static_cast<const BYTE*>(MapViewOfFile(hMapping.Get(), FILE_MAP_READ, 0, 0, 0)));
    if (!pView)
        return nullptr;

    m_hFile = std::move(hFile);
    m_hMapping = std::move(hMapping);
    m_pView = std::move(pView);
    return m_pView.Get();
}

void CMappedFile::Close() noexcept
{
    m_strPath.Empty();
    m_dwSize = 0;
    m_pView.Close();
    m_hMapping.Close();
    m_hFile.Close();
}

BYTE XorBytes(const BYTE* pData, size_t nCount) noexcept
{
    BYTE bResult = 0;
    while (nCount > 0 && (reinterpret_cast<std::uintptr_t>(pData) & 15) != 0)
    {
        bResult ^= *pData++;
        --nCount;
    }

    // Four independent chains keep the loads flowing at memory speed.
    __m128i x0 = _mm_setzero_si128();
    __m128i x1 = _mm_setzero_si128();
    __m128i x2 = _mm_setzero_si128();
    __m128i x3 = _mm_setzero_si128();
    for (; nCount >= 64; pData += 64, nCount -= 64)
    {
        x0 = _mm_xor_si128(x0, _mm_load_si128(reinterpret_cast<const __m128i*>(pData)));
        x1 = _mm_xor_si128(x1, _mm_load_si128(reinterpret_cast<const __m128i*>(pData + 16)));
        x2 = _mm_xor_si128(x2, _mm_load_si128(reinterpret_cast<const __m128i*>(pData + 32)));
        x3 = _mm_xor_si128(x3, _mm_load_si128(reinterpret_cast<const __m128i*>(pData + 48)));
    }
    for (; nCount >= 16; pData += 16, nCount -= 16)
        x0 = _mm_xor_si128(x0, _mm_load_si128(reinterpret_cast<const __m128i*>(pData)));

    // Fold the 16 lanes into the lowest one.
    __m128i x = _mm_xor_si128(_mm_xor_si128(x0, x1), _mm_xor_si128(x2, x3));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 8));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 4));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 2));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 1));
    bResult ^= static_cast<BYTE>(_mm_cvtsi128_si32(x));

    while (nCount > 0)
    {
        bResult ^= *pData++;
        --nCount;
    }
    return bResult;
}

BYTE GetFileChecksum(CString strPath, DWORD* pdwError, PFN_READ_PROGRESS pfnProgress, void* pContext)
{
    // Every way out says why, from the platform's own last error, taken
    // before any holder closes.
    DWORD dwUnused = 0;
    DWORD& dwError = pdwError != nullptr ? *pdwError : dwUnused;
    dwError = ERROR_SUCCESS;
    auto fail = [&dwError]() -> BYTE {
        dwError = GetLastError();
        return 0;
    };

    // The file is read through a sliding window rather than one whole-file
    // view, so neither a size beyond 32 bits nor the room left in the address
    // space limits it.
    CFileHandle hFile(OpenForMapping(strPath));
    if (!hFile)
        return fail();
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(hFile.Get(), &info))
        return fail();
    ULONGLONG qwSize = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (qwSize == 0)
        return 0;
    CHandle hMapping(CreateReadOnlyMapping(hFile.Get()));
    if (!hMapping)
        return fail();

    // View offsets must fall on the allocation granularity.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const DWORD dwGranularity = si.dwAllocationGranularity != 0 ? si.dwAllocationGranularity : 65536;
    DWORD dwWindow = kChecksumWindow - kChecksumWindow % dwGranularity;
    if (dwWindow == 0)
        dwWindow = dwGranularity;

    BYTE bResult = 0;
    ULONGLONG qwOffset = 0;
    while (qwOffset < qwSize)
    {
        ULONGLONG qwLeft = qwSize - qwOffset;
        SIZE_T nLength = static_cast<SIZE_T>(qwLeft < dwWindow ? qwLeft : dwWindow);
        CMappedView pView(static_cast<const BYTE*>(MapViewOfFile(hMapping.Get(), FILE_MAP_READ,
                                                                 static_cast<DWORD>(qwOffset >> 32),
                                                                 static_cast<DWORD>(qwOffset), nLength)));
        if (!pView)
        {
            // No room for a window this large: try a smaller one, down to a
            // single granule.
            if (dwWindow <= dwGranularity)
                return fail();
            dwWindow /= 2;
            dwWindow -= dwWindow % dwGranularity;
            if (dwWindow < dwGranularity)
                dwWindow = dwGranularity;
            continue;
        }
        bResult ^= XorBytes(pView.Get(), nLength);
        qwOffset += nLength;
        if (pfnProgress != nullptr)
            pfnProgress(qwOffset, qwSize, pContext);
    }
    return bResult;
}
