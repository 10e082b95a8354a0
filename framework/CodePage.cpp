#include "framework/CodePage.h"

#include <cstring>

namespace {

// Maps one single-byte character through a wide case conversion and back.
// Characters whose counterpart is not a single byte of the same code page
// (or that the code page cannot round-trip) keep their value.
unsigned char MapSingleByte(UINT nCodePage, unsigned char ch, bool bUpper)
{
    char in = static_cast<char>(ch);
    WCHAR wc = 0;
    if (MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, &in, 1, &wc, 1) != 1)
        return ch;
    if (bUpper)
        CharUpperBuffW(&wc, 1);
    else
        CharLowerBuffW(&wc, 1);
    char out[4] = {};
    BOOL bUsedDefault = FALSE;
    // Code pages 65000 and 65001 reject the default-character argument.
    BOOL* pUsedDefault = (nCodePage == CP_UTF7 || nCodePage == CP_UTF8) ? nullptr : &bUsedDefault;
    int n = WideCharToMultiByte(nCodePage, 0, &wc, 1, out, sizeof(out), nullptr, pUsedDefault);
    if (n != 1 || bUsedDefault)
        return ch;
    return static_cast<unsigned char>(out[0]);
}

CCodePageInfo BuildCodePageInfo(UINT nCodePage)
{
    CCodePageInfo info;
    info.nCodePage = nCodePage;
    info.bDoubleByte = false;
    std::memset(info.bLead, 0, sizeof(info.bLead));
    for (int i = 0; i < 256; ++i)
    {
        info.upper[i] = static_cast<unsigned char>((i >= 'a' && i <= 'z') ? i - 32 : i);
        info.lower[i] = static_cast<unsigned char>((i >= 'A' && i <= 'Z') ? i + 32 : i);
    }

    CPINFO cpi;
    if (!GetCPInfo(nCodePage, &cpi))
        return info;

    for (int r = 0; r + 1 < MAX_LEADBYTES && (cpi.LeadByte[r] | cpi.LeadByte[r + 1]); r += 2)
    {
        for (int b = cpi.LeadByte[r]; b <= cpi.LeadByte[r + 1]; ++b)
        {
            info.bLead[b] = true;
            info.bDoubleByte = true;
        }
    }
    // Bytes above 0x7F that are single characters follow the code page's own
    // case table; ASCII keeps the fixed mapping above.
    for (int i = 0x80; i < 256; ++i)
    {
        if (info.bLead[i])
            continue;
        info.upper[i] = MapSingleByte(nCodePage, static_cast<unsigned char>(i), true);
        info.lower[i] = MapSingleByte(nCodePage, static_cast<unsigned char>(i), false);
    }
    return info;
}

} // namespace

const CCodePageInfo& AfxGetCodePageInfo()
{
    static const CCodePageInfo info = BuildCodePageInfo(GetACP());
    return info;
}

namespace {

int ConvertedBytes(UINT nCodePage, const wchar_t* pch, int nUnits)
{
    if (nUnits <= 0)
        return 0;
    return WideCharToMultiByte(nCodePage, 0, pch, nUnits, nullptr, 0, nullptr, nullptr);
}

} // namespace

int AfxToCodePage(const wchar_t* pch, int nUnits, UINT nCodePage, char* pDest, int nRoom, bool& bComplete)
{
    bComplete = nUnits <= 0;
    if (nUnits <= 0 || nRoom <= 0)
        return 0;
    int nWritten = WideCharToMultiByte(nCodePage, 0, pch, nUnits, pDest, nRoom, nullptr, nullptr);
    if (nWritten > 0)
    {
        bComplete = true;
        return nWritten;
    }
    // Too long, or not convertible at all. Longer prefixes never convert to
    // fewer bytes, so search for the longest prefix that fits: nLow fits,
    // nHigh does not.
    int nLow = 0;
    int nHigh = nUnits;
    while (nHigh - nLow > 1)
    {
        int nMid = nLow + (nHigh - nLow) / 2;
        int nBytes = ConvertedBytes(nCodePage, pch, nMid);
        if (nBytes > 0 && nBytes <= nRoom)
            nLow = nMid;
        else
            nHigh = nMid;
    }
    // A surrogate pair is one character.
    if (nLow > 0 && IS_HIGH_SURROGATE(pch[nLow - 1]) && IS_LOW_SURROGATE(pch[nLow]))
        --nLow;
    if (nLow == 0)
        return 0;
    nWritten = WideCharToMultiByte(nCodePage, 0, pch, nLow, pDest, nRoom, nullptr, nullptr);
    return nWritten > 0 ? nWritten : 0;
}

CString AfxToCodePage(const wchar_t* pch, int nUnits, UINT nCodePage, int nMaxBytes)
{
    CString strText;
    const int nBytes = ConvertedBytes(nCodePage, pch, nUnits);
    const int nRoom = nBytes < nMaxBytes ? nBytes : nMaxBytes;
    if (nRoom <= 0)
        return strText;
    bool bComplete = false;
    strText.ReleaseBuffer(AfxToCodePage(pch, nUnits, nCodePage, strText.GetBuffer(nRoom), nRoom, bComplete));
    return strText;
}

bool AfxToCodePageExactly(const wchar_t* pch, int nUnits, CString& strText)
{
    if (nUnits <= 0)
    {
        strText.Empty();
        return true;
    }
    // The UTF-8 code page has every character, and takes neither flag nor
    // default-used argument.
    const bool bUtf8 = GetACP() == CP_UTF8;
    const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL bDefaultUsed = FALSE;
    const int nBytes =
        WideCharToMultiByte(CP_ACP, dwFlags, pch, nUnits, nullptr, 0, nullptr, bUtf8 ? nullptr : &bDefaultUsed);
    if (nBytes <= 0 || bDefaultUsed)
        return false;
    CString strExact;
    WideCharToMultiByte(CP_ACP, dwFlags, pch, nUnits, strExact.GetBuffer(nBytes), nBytes, nullptr, nullptr);
    strExact.ReleaseBuffer(nBytes);
    strText = strExact;
    return true;
}

int AfxFromCodePage(const char* pch, int nBytes, wchar_t* pDest, int nRoom, UINT nCodePage)
{
    if (pch == nullptr || nBytes <= 0)
        return 0;
    // Strictly first, so that valid text is never altered; text with stray
    // bytes then goes through the platform's lenient conversion.
    int nUnits = MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, pch, nBytes, pDest, nRoom);
    if (nUnits == 0 && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        nUnits = MultiByteToWideChar(nCodePage, 0, pch, nBytes, pDest, nRoom);
    return nUnits > 0 ? nUnits : 0;
}
