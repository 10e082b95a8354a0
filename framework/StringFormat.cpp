// CString's printf-like formatting, apart from the rest of the class so
// that a program that never formats (the module) links no formatter.
#include "framework/String.h"

#include <cstdio>

void CString::FormatV(const char* pszFormat, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int nNeeded = std::vsnprintf(nullptr, 0, pszFormat, measure);
    va_end(measure);
    if (nNeeded <= 0)
    {
        Empty();
        return;
    }
    CString result;
    char* p = result.GetBuffer(nNeeded);
    std::vsnprintf(p, static_cast<size_t>(nNeeded) + 1, pszFormat, args);
    result.ReleaseBuffer(nNeeded);
    *this = static_cast<CString&&>(result);
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::AppendFormat(const char* pszFormat, ...)
{
    CString piece;
    va_list args;
    va_start(args, pszFormat);
    piece.FormatV(pszFormat, args);
    va_end(args);
    *this += piece;
}
