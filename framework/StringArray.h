// CStringArray: the framework's growable array of text strings.
//
// Library operations that fill a list only ever Add to its end; what the
// caller put there before stays in place.
//
//   CStringArray arr;
//   arr.Add("a");      // returns 0
//   arr.Add("b");      // returns 1; arr[1] == "b", arr.GetSize() == 2
//   arr[2];            // raises CInvalidArgException
#pragma once

#include "framework/String.h"

#include <vector>

class CStringArray
{
public:
    int GetSize() const noexcept { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const noexcept { return m_items.empty(); }

    // Index outside 0 .. size - 1 raises CInvalidArgException.
    const CString& GetAt(int nIndex) const;
    CString& ElementAt(int nIndex);
    const CString& operator[](int nIndex) const { return GetAt(nIndex); }
    CString& operator[](int nIndex) { return ElementAt(nIndex); }
    void SetAt(int nIndex, const CString& str) { ElementAt(nIndex) = str; }

    // Appends and returns the new element's index. Exhausted memory raises
    // CMemoryException.
    int Add(const CString& str);
    int Add(CString&& str);
    void RemoveAll() noexcept { m_items.clear(); }

private:
    std::vector<CString> m_items;
};
