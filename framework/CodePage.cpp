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
