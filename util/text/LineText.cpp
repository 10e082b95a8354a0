#include "util/text/LineText.h"

#include "framework/StringBatch.h"

#include <climits>
#include <cstring>

CString ReadLine(const char* pszText, int& nLength)
{
    nLength = -1;
    if (pszText == nullptr)
        return CString();
    const char* pEnd = std::strstr(pszText, "\r\n");
    if (pEnd == nullptr)
        return CString();
    // A 32-bit process cannot hold a line of INT_MAX bytes and its text.
    size_t nBytes = static_cast<size_t>(pEnd - pszText);
    nLength = nBytes > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(nBytes);
    return CString(pszText, nLength);
}

void SplitString(CString strText, CString strDelimiter, CStringArray& list)
{
    if (strText.IsEmpty())
        return;
    if (strDelimiter.IsEmpty())
    {
        list.Add(strText);
        return;
    }
    // Walk indexes through the one text; cutting off the rest after every
    // piece would copy the text once per delimiter.
    const int nDelimiter = strDelimiter.GetLength();
    CStringBatch batch;   // a heap block per piece would dominate the cost
    int nFrom = 0;
    for (;;)
    {
        int nHit = strText.Find(strDelimiter, nFrom);
        if (nHit < 0)
        {
            // Also the empty last piece of a text that ends in the delimiter.
            list.Add(nFrom == 0 ? strText : batch.Make(strText.GetString() + nFrom, strText.GetLength() - nFrom));
            return;
        }
        list.Add(batch.Make(strText.GetString() + nFrom, nHit - nFrom));
        nFrom = nHit + nDelimiter;
    }
}
